#include "CustomMovieView.h"

#include <QMouseEvent>
#include <QMovie>

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

void CustomMovieView::mousePressEvent(QMouseEvent* event) {
    // No click but the double-click does anything here.
    event->accept();
}

void CustomMovieView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

void CustomMovieView::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton) {
        return;
    }
    gotoBeginning();
    start();
}
