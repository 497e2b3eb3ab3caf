// Draws the application icon, res/kestrune.png (128 x 128, transparent corners):
// a dark disc with a cyan rotation arrow around a white play triangle. The drawing is vector
// work on a 128-unit square, so any size can be drawn (the package's icon theme sizes).
// Usage: kestrune_draw_icon OUTPUT.png [SIZE]    (SIZE in pixels, 16 to 1024; 128 by default)

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    const int size = argc == 3 ? std::atoi(argv[2]) : 128;
    if (argc < 2 || argc > 3 || size < 16 || size > 1024) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [SIZE]\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 128.0, size / 128.0);

    QRadialGradient disc(QPointF(52, 44), 80);
    disc.setColorAt(0, QColor(48, 56, 72));
    disc.setColorAt(1, QColor(14, 16, 24));
    p.setPen(QPen(QColor(90, 100, 120), 3));
    p.setBrush(disc);
    p.drawEllipse(QRectF(5, 5, 118, 118));

    // Rotation arrow: an open ring with an arrow head at its end.
    const QColor cyan(0, 210, 255);
    p.setPen(QPen(cyan, 9, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QRectF ring(24, 24, 80, 80);
    p.drawArc(ring, 120 * 16, 280 * 16);
    QPainterPath head;
    head.moveTo(38, 20);
    head.lineTo(60, 26);
    head.lineTo(42, 42);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(cyan);
    p.drawPath(head);

    QPainterPath play;
    play.moveTo(54, 46);
    play.lineTo(84, 64);
    play.lineTo(54, 82);
    play.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(play);
    p.end();

    return image.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
