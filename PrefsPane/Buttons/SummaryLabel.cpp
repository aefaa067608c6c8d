#include "SummaryLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <algorithm>

namespace {

// Wide enough for "Ctrl+Alt+Delete" and the start of a macro, narrow enough
// that the page fits a small window.
constexpr int kPreferredChars = 24;
constexpr int kMinimumChars = 8;
// Enough for a German click type or a short macro; a long macro is cut after.
constexpr int kMaxLines = 3;

} // namespace

SummaryLabel::SummaryLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
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
    const int width = std::min(metrics.horizontalAdvance(fullText_), preferred) + 2 * margin();
    return {width, std::max(heightForWidth(width), metrics.height())};
}

QSize SummaryLabel::minimumSizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.averageCharWidth() * kMinimumChars, metrics.height()};
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
    const QFontMetrics metrics(font());
    // Wrapping breaks at spaces and leaves the ends of lines short; a word's
    // width of slack per line keeps the ellipsis on the last line.
    const int line = contentsRect().width();
    const int room = std::max(line, (line - 4 * metrics.averageCharWidth()) * kMaxLines);
    const QString shown = metrics.elidedText(fullText_, Qt::ElideRight, room);
    if (shown != text()) {
        setText(shown);
    }
}
