#include "CustomMovieView.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QMovie>
#include <QStyleHints>
#include <algorithm>

CustomMovieView::CustomMovieView(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
}

CustomMovieView::~CustomMovieView() = default;

void CustomMovieView::setMovie(QMovie* movie) {
    if (QMovie* old = this->movie()) {
        disconnect(old, nullptr, this, nullptr);
    }
    if (movie) {
        // Kept frames let the view jump to the last one; the reader alone
        // can only go forward or back to the start.
        movie->setCacheMode(QMovie::CacheAll);
    }
    QLabel::setMovie(movie);
    if (movie) {
        connect(movie, &QMovie::frameChanged, this, &CustomMovieView::frameShown);
    }
}

QMovie* CustomMovieView::movie() const {
    return QLabel::movie();
}

void CustomMovieView::gotoEnd() {
    showFrame([](const QMovie& m) { return m.frameCount() - 1; });
}

void CustomMovieView::gotoBeginning() {
    showFrame([](const QMovie&) { return 0; });
}

void CustomMovieView::start() {
    if (QMovie* m = movie()) {
        if (m->state() == QMovie::Paused) {
            m->setPaused(false); // the frame shown stays for its own time
        } else if (m->state() == QMovie::NotRunning) {
            m->start();
        }
    }
}

void CustomMovieView::showFrame(const std::function<int(const QMovie&)>& frame) {
    QMovie* m = movie();
    if (!m) {
        return;
    }
    // Held paused rather than stopped: a stopped movie starts again with the
    // frame after the one it shows.
    if (m->state() == QMovie::NotRunning) {
        m->start();
    }
    m->setPaused(true);
    m->jumpToFrame(frame(*m));
}

void CustomMovieView::frameShown(int frame) {
    QMovie* m = movie();
    if (m && m->state() == QMovie::Running && frame >= m->frameCount() - 1) {
        // Once through; a looping file would otherwise never rest.
        m->setPaused(true);
    }
}

void CustomMovieView::setDoubleClickInterval(std::optional<int> milliseconds) {
    fDoubleClickInterval = milliseconds;
}

int CustomMovieView::doubleClickInterval() const {
    return fDoubleClickInterval.value_or(QGuiApplication::styleHints()->mouseDoubleClickInterval());
}

void CustomMovieView::mousePressEvent(QMouseEvent* event) {
    pressed(event);
}

void CustomMovieView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

void CustomMovieView::mouseDoubleClickEvent(QMouseEvent* event) {
    // Qt's own double-click, at Qt's interval: only a press to this view.
    pressed(event);
}

void CustomMovieView::pressed(QMouseEvent* event) {
    // No click but the double-click does anything here.
    event->accept();
    if (event->button() != Qt::LeftButton) {
        fClickCount = 0; // another button ends the series
        return;
    }
    const quint64 time = event->timestamp();
    const QPointF at = event->position();
    const bool sameSeries =
        fClickCount > 0 && time >= fLastPressTime &&
        time - fLastPressTime < static_cast<quint64>(std::max(doubleClickInterval(), 0)) &&
        (at - fLastPressAt).manhattanLength() <=
            QGuiApplication::styleHints()->mouseDoubleClickDistance();
    fClickCount = sameSeries ? fClickCount + 1 : 1;
    fLastPressTime = time;
    fLastPressAt = at;
    if (fClickCount == 2) {
        gotoBeginning();
        start();
    }
}
