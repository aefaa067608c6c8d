// Draws the pane's pictures: the "doubleclick" animation's frames and the hand
// and mouse pictures of the buttons page. Run by make-art, which assembles
// the frames into the animation; the results are committed.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <cmath>
#include <cstdio>

namespace {

const QColor kInk(40, 44, 52);
const QColor kShell(236, 238, 242);
const QColor kAccent(224, 120, 32);
const QColor kPaper(250, 250, 248);

// A closed or opening box with a star rising out of it; `t` runs 0..1 over
// the animation and the last frame is the box at rest again.
QImage animationFrame(double t) {
    QImage image(100, 100, QImage::Format_RGB32);
    image.fill(kPaper);
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

// A right hand seen from above, fingers up; the left hand is its mirror.
QImage hand(bool left) {
    QImage image(160, 200, QImage::Format_RGB32);
    image.fill(kPaper);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    if (left) {
        p.setTransform(QTransform(-1, 0, 0, 1, image.width(), 0));
    }
    p.setPen(QPen(kInk, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(246, 214, 186));
    // Palm.
    QPainterPath palm;
    palm.addRoundedRect(QRectF(40, 80, 80, 90), 26, 26);
    // Fingers (index to little), then the thumb on the left of a right hand.
    const struct {
        double x, top, w;
    } fingers[] = {{44, 26, 18}, {64, 14, 18}, {84, 20, 18}, {104, 36, 16}};
    for (const auto& f : fingers) {
        QPainterPath finger;
        finger.addRoundedRect(QRectF(f.x, f.top, f.w, 100 - f.top), f.w / 2, f.w / 2);
        palm = palm.united(finger);
    }
    QPainterPath thumb;
    thumb.addRoundedRect(QRectF(-34, -10, 68, 20), 10, 10);
    thumb = QTransform().translate(34, 118).rotate(-40).map(thumb);
    palm = palm.united(thumb);
    p.drawPath(palm);
    // Knuckle lines.
    p.setPen(QPen(kInk.lighter(170), 1.5));
    for (const auto& f : fingers) {
        p.drawLine(QPointF(f.x + 4, f.top + 28), QPointF(f.x + f.w - 4, f.top + 28));
    }
    return image;
}

// The mouse from above with its seven buttons numbered; for the left hand the
// shell is mirrored and the numbers follow the hand.
QImage mouse(bool left) {
    QImage image(160, 200, QImage::Format_RGB32);
    image.fill(kPaper);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const auto mirrorX = [left, &image](double x) { return left ? image.width() - x : x; };

    p.setPen(QPen(kInk, 2.5));
    p.setBrush(kShell);
    QPainterPath shell;
    shell.addRoundedRect(QRectF(30, 12, 100, 176), 48, 56);
    p.drawPath(shell);
    p.drawLine(QPointF(80, 14), QPointF(80, 84));
    p.drawLine(QPointF(32, 84), QPointF(128, 84));
    // Wheel.
    p.setBrush(kInk);
    p.drawRoundedRect(QRectF(74, 36, 12, 28), 6, 6);
    // Side buttons on the thumb's side.
    p.setBrush(kAccent);
    for (double y : {100.0, 124.0}) {
        p.drawRoundedRect(QRectF(left ? image.width() - 26 - 12 : 26, y, 12, 18), 4, 4);
    }
    // Two buttons behind the wheel.
    p.drawRoundedRect(QRectF(72, 92, 16, 12), 4, 4);
    p.drawRoundedRect(QRectF(72, 110, 16, 12), 4, 4);

    QFont font("DejaVu Sans", 10, QFont::Bold);
    p.setFont(font);
    p.setPen(kInk);
    const auto number = [&p](double x, double y, int n) {
        p.drawText(QRectF(x - 10, y - 10, 20, 20), Qt::AlignCenter, QString::number(n));
    };
    // Button 1 is the primary button under the index finger.
    number(mirrorX(55), 50, 1);
    number(mirrorX(105), 50, 2);
    number(80, 74, 3);
    number(mirrorX(14), 109, 4);
    number(mirrorX(14), 133, 5);
    p.setPen(kPaper);
    number(80, 98, 6);
    number(80, 116, 7);
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
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_art FRAMES_DIR PICTURES_DIR\n");
        return 2;
    }
    const QDir frames(QString::fromLocal8Bit(argv[1]));
    const QDir pictures(QString::fromLocal8Bit(argv[2]));
    bool ok = true;
    constexpr int kFrames = 24;
    for (int i = 0; i < kFrames; ++i) {
        ok &= save(animationFrame(double(i) / (kFrames - 1)),
                   frames.filePath(QStringLiteral("frame%1.png").arg(i, 2, 10, QLatin1Char('0'))),
                   "PNG");
    }
    ok &= save(hand(false), pictures.filePath("righthand.jpg"), "JPG");
    ok &= save(hand(true), pictures.filePath("lefthand.jpg"), "JPG");
    ok &= save(mouse(false), pictures.filePath("rightmouse.jpg"), "JPG");
    ok &= save(mouse(true), pictures.filePath("leftmouse.jpg"), "JPG");
    return ok ? 0 : 1;
}
