// Draws the frames of the pane's "doubleclick" animation, for light themes
// and (with --dark) for dark ones. Run by make-art, which assembles them into
// the animations; the results are committed. The hand
// and mouse pictures are drawn by hand as scalable pictures (*.svg).
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <cmath>
#include <cstdio>

namespace {

struct Colours {
    QColor ink;
    QColor paper;
};
const Colours kLight{QColor(40, 44, 52), QColor(250, 250, 248)};
// The ink turns light and the paper dark, as a dark theme's windows are.
const Colours kDark{QColor(226, 229, 235), QColor(46, 48, 54)};
const QColor kAccent(224, 120, 32);

// A closed or opening box with a star rising out of it; `t` runs 0..1 over
// the animation and the last frame is the box at rest again.
QImage animationFrame(double t, const Colours& colours) {
    const QColor& kInk = colours.ink;
    QImage image(100, 100, QImage::Format_RGB32);
    image.fill(colours.paper);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Lid opens and closes; the star rises, spins and sinks back.
    const double open = std::sin(std::min(t, 1.0) * M_PI); // 0 -> 1 -> 0
    const double rise = std::sin(std::min(t * 1.1, 1.0) * M_PI);

    // Star.
    if (rise > 0.02) {
        QPainterPath star;
        const double r1 = 8 + 8 * rise, r0 = r1 * 0.45;
        for (int i = 0; i < 10; ++i) {
            const double a = -M_PI / 2 + i * M_PI / 5 + t * 2 * M_PI;
            const double r = i % 2 ? r0 : r1;
            const QPointF pt(50 + r * std::cos(a), 58 - 42 * rise + r * std::sin(a));
            i ? star.lineTo(pt) : star.moveTo(pt);
        }
        star.closeSubpath();
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(QColor(250, 200, 40));
        p.drawPath(star);
    }

    // Box body.
    p.setPen(QPen(kInk, 2));
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(22, 56, 56, 34), 3, 3);
    p.setPen(QPen(kInk.lighter(160), 1));
    p.drawLine(QPointF(50, 58), QPointF(50, 88));

    // Lid, hinged at its left edge.
    p.save();
    p.translate(20, 56);
    p.rotate(-100 * open);
    p.setPen(QPen(kInk, 2));
    p.setBrush(kAccent.darker(115));
    p.drawRoundedRect(QRectF(0, -8, 60, 8), 2, 2);
    p.restore();

    // Two clicks: small marks above the box at the start.
    if (t < 0.25) {
        p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap));
        const double s = 1 - t * 4;
        for (int k = -1; k <= 1; ++k) {
            const double a = -M_PI / 2 + k * 0.6;
            p.drawLine(QPointF(50 + 30 * std::cos(a), 40 + 30 * std::sin(a)),
                       QPointF(50 + (30 + 8 * s) * std::cos(a), 40 + (30 + 8 * s) * std::sin(a)));
        }
    }
    return image;
}

bool save(const QImage& image, const QString& path, const char* format) {
    if (!image.save(path, format, 92)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool dark = argc > 2 && QByteArray(argv[2]) == "--dark";
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_art FRAMES_DIR [--dark]\n");
        return 2;
    }
    const QDir frames(QString::fromLocal8Bit(argv[1]));
    bool ok = true;
    constexpr int kFrames = 24;
    for (int i = 0; i < kFrames; ++i) {
        ok &= save(animationFrame(double(i) / (kFrames - 1), dark ? kDark : kLight),
                   frames.filePath(QStringLiteral("frame%1.png").arg(i, 2, 10, QLatin1Char('0'))),
                   "PNG");
    }
    return ok ? 0 : 1;
}
