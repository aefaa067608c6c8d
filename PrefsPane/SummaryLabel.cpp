#include "SummaryLabel.h"

#include <QEvent>
#include <QFontMetrics>

namespace {

// Wide enough for "Ctrl+Alt+Delete" and the start of a macro, narrow enough
// that the page fits a small window.
constexpr int kPreferredChars = 24;
constexpr int kMinimumChars = 8;

} // namespace

SummaryLabel::SummaryLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void SummaryLabel::setFullText(const QString& text) {
    fullText_ = text;
    setToolTip(text);
    // Read out whole, not as shortened on the screen.
    setAccessibleName(text);
    elide();
    updateGeometry();
}

QSize SummaryLabel::sizeHint() const {
    const QFontMetrics metrics(font());
    const int preferred = metrics.averageCharWidth() * kPreferredChars;
    return {std::min(metrics.horizontalAdvance(fullText_), preferred) + 2 * margin(),
            QLabel::sizeHint().height()};
}

QSize SummaryLabel::minimumSizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.averageCharWidth() * kMinimumChars, QLabel::minimumSizeHint().height()};
}

void SummaryLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void SummaryLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        elide();
    }
}

void SummaryLabel::elide() {
    const QString shown =
        QFontMetrics(font()).elidedText(fullText_, Qt::ElideRight, contentsRect().width());
    if (shown != text()) {
        setText(shown);
    }
}
