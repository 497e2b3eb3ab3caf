// Draws the pictures of the control bar into a resource folder:
//   png/<id>.png  button strips: five frames stacked top to bottom (normal, hover, pressed,
//                 disabled, focused), a symbol on a transparent background; and the opaque
//                 backgrounds of the panels.
//   bmp/<id>.bmp  slider channels and thumbs, 24-bit, pure white is the transparent colour.
// Usage: kestrune_draw_artwork OUTPUT_DIR    (e.g. kestrune_draw_artwork res)

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kFrameCount = 5;

// Symbol colours of the five frames.
struct FrameColours {
    QColor normal;
    QColor hover;
    QColor pressed;
    QColor disabled;
    QColor focused;
};

const FrameColours kButtonColours{QColor(255, 255, 255), QColor(0, 229, 255), QColor(0, 151, 178),
                                  QColor(128, 128, 128), QColor(255, 255, 255)};

// A switch that is on keeps its colour in every frame; hovering lightens it, and even
// disabled it keeps a trace of cyan so "on" can still be told from "off".
const FrameColours kSwitchedOnColours{QColor(0, 229, 255), QColor(150, 245, 255),
                                      QColor(0, 151, 178), QColor(92, 134, 142),
                                      QColor(0, 229, 255)};

// Draws one symbol in one colour into a frame. The area is the frame less the pixel the
// pressed frame moves right and down, with its origin at the frame's top left.
using Symbol = std::function<void(QPainter&, const QSizeF& area, const QColor&)>;

QPen StrokePen(const QColor& colour, double width) {
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void FillPath(QPainter& p, const QPainterPath& path, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(path);
}

void StrokePath(QPainter& p, const QPainterPath& path, const QColor& colour, double width) {
    p.setPen(StrokePen(colour, width));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

QPainterPath Triangle(QPointF a, QPointF b, QPointF c) {
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    path.lineTo(c);
    path.closeSubpath();
    return path;
}

// Right-pointing triangle whose bounding box is box; mirrored it points left.
QPainterPath Arrowhead(const QRectF& box, bool pointsLeft) {
    const double tip = pointsLeft ? box.left() : box.right();
    const double base = pointsLeft ? box.right() : box.left();
    return Triangle(QPointF(base, box.top()), QPointF(tip, box.center().y()),
                    QPointF(base, box.bottom()));
}

// Play: a right-pointing triangle, nudged right so that it looks centred.
void DrawPlay(QPainter& p, const QSizeF& area, const QColor& c) {
    const double height = std::round(area.height() * 0.7);
    const double width = std::min(area.width() - 4, std::round(height * 0.85));
    const double left = std::round((area.width() - width) / 2 + width * 0.08);
    const double top = std::round((area.height() - height) / 2);
    FillPath(p, Arrowhead(QRectF(left, top, width, height), false), c);
}

// Pause: two vertical bars on whole pixels.
void DrawPause(QPainter& p, const QSizeF& area, const QColor& c) {
    const double height = std::round(area.height() * 0.7);
    const double bar = std::round(area.width() * 0.27);
    const double gap = std::round(area.width() * 0.22);
    const double left = std::round((area.width() - 2 * bar - gap) / 2);
    const double top = std::round((area.height() - height) / 2);
    QPainterPath path;
    path.addRoundedRect(QRectF(left, top, bar, height), 0.6, 0.6);
    path.addRoundedRect(QRectF(left + bar + gap, top, bar, height), 0.6, 0.6);
    FillPath(p, path, c);
}

// Stop: a square on whole pixels.
void DrawStop(QPainter& p, const QSizeF& area, const QColor& c) {
    const double side = std::round(std::min(area.width(), area.height()) * 0.65);
    const QRectF square(std::round((area.width() - side) / 2),
                        std::round((area.height() - side) / 2), side, side);
    QPainterPath path;
    path.addRoundedRect(square, 1, 1);
    FillPath(p, path, c);
}

// Rewind and fast forward: two touching triangles.
void DrawSkip(QPainter& p, const QSizeF& area, const QColor& c, bool backwards) {
    const double height = std::round(area.height() * 0.6);
    const double each = std::floor((area.width() - 3) / 2);
    const double left = std::round((area.width() - 2 * each) / 2);
    const double top = std::round((area.height() - height) / 2);
    QPainterPath path;
    path.addPath(Arrowhead(QRectF(left, top, each, height), backwards));
    path.addPath(Arrowhead(QRectF(left + each, top, each, height), backwards));
    path.setFillRule(Qt::WindingFill);
    FillPath(p, path, c);
}

// Full screen and restore: an arrow in each corner, pointing out of the middle or into it.
// The heads are right-angled triangles whose legs lie on whole pixels.
void DrawCorners(QPainter& p, const QSizeF& area, const QColor& c, bool inwards) {
    const double margin = std::round(area.width() * 0.12);
    const double leg = std::round(area.width() * (inwards ? 0.26 : 0.3));
    const QPointF centre(area.width() / 2, area.height() / 2);
    const double gap = std::round(area.width() * 0.08);  // centre to an inward tip, per axis
    for (const QPointF dir : {QPointF(-1, -1), QPointF(1, -1), QPointF(1, 1), QPointF(-1, 1)}) {
        const QPointF outer(dir.x() < 0 ? margin : area.width() - margin,
                            dir.y() < 0 ? margin : area.height() - margin);
        const QPointF tip = inwards ? QPointF(std::round(centre.x() + dir.x() * gap),
                                              std::round(centre.y() + dir.y() * gap))
                                    : outer;
        // The legs run back from the tip, away from where the arrow points.
        const double back = inwards ? leg : -leg;
        const QPointF a = tip + QPointF(dir.x() * back, 0);
        const QPointF b = tip + QPointF(0, dir.y() * back);
        FillPath(p, Triangle(tip, a, b), c);
        // The shaft joins the middle of the head's long side to the other end.
        const QPointF from = (a + b) / 2;
        const QPointF to =
            inwards ? outer + dir * -0.6 : centre + dir * std::round(area.width() * 0.1);
        p.setPen(QPen(c, 2, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(from, to);
    }
}

// The speaker of the volume button, the same in the muted picture. Returns where its sound
// comes out (the middle of the cone's mouth).
QPointF DrawSpeaker(QPainter& p, const QSizeF& area, const QColor& c) {
    const double cy = area.height() / 2;
    const double left = std::round(area.width() * 0.17);
    const double box = std::round(area.height() * 0.27);  // height of the magnet box
    const double mouth = std::round(area.height() * 0.68);
    QPainterPath cone;
    cone.moveTo(left, cy - box / 2);
    cone.lineTo(left + 3.5, cy - box / 2);
    cone.lineTo(left + 8, cy - mouth / 2);
    cone.lineTo(left + 8, cy + mouth / 2);
    cone.lineTo(left + 3.5, cy + box / 2);
    cone.lineTo(left, cy + box / 2);
    cone.closeSubpath();
    p.setPen(StrokePen(c, 0.8));
    p.setBrush(c);
    p.drawPath(cone);
    return QPointF(left + 8, cy);
}

// Volume: the speaker and two sound waves.
void DrawVolume(QPainter& p, const QSizeF& area, const QColor& c) {
    const QPointF mouth = DrawSpeaker(p, area, c);
    const QPointF centre = mouth - QPointF(1.5, 0);
    QPainterPath waves;
    for (const double radius : {4.5, 8.0}) {
        const QRectF circle(centre - QPointF(radius, radius), QSizeF(2 * radius, 2 * radius));
        waves.arcMoveTo(circle, 45);
        waves.arcTo(circle, 45, -90);
    }
    StrokePath(p, waves, c, 1.6);
}

// Muted: the same speaker, an X where the waves were.
void DrawMuted(QPainter& p, const QSizeF& area, const QColor& c) {
    const QPointF mouth = DrawSpeaker(p, area, c);
    const QPointF centre = mouth + QPointF(5, 0);
    const double half = 3.2;
    QPainterPath cross;
    cross.moveTo(centre + QPointF(-half, -half));
    cross.lineTo(centre + QPointF(half, half));
    cross.moveTo(centre + QPointF(half, -half));
    cross.lineTo(centre + QPointF(-half, half));
    StrokePath(p, cross, c, 1.8);
}

// DVD drive: a disc with its centre hole and a glint on the playing surface.
void DrawDisc(QPainter& p, const QSizeF& area, const QColor& c) {
    const QPointF centre(area.width() / 2, area.height() / 2);
    const double radius = std::min(area.width(), area.height()) / 2 - 1.5;
    auto circle = [&](double r) { return QRectF(centre - QPointF(r, r), QSizeF(2 * r, 2 * r)); };
    QPainterPath rim;
    rim.addEllipse(circle(radius - 0.8));
    StrokePath(p, rim, c, 1.6);
    QPainterPath hub;
    hub.addEllipse(circle(radius * 0.36));
    hub.addEllipse(circle(radius * 0.15));
    hub.setFillRule(Qt::OddEvenFill);
    FillPath(p, hub, c);
    QPainterPath glint;
    const QRectF track = circle(radius * 0.66);
    for (const double start : {100.0, 280.0}) {
        glint.arcMoveTo(track, start);
        glint.arcTo(track, start, 60);
    }
    StrokePath(p, glint, c, 1.3);
}

// Repeat: a rounded loop in two halves, the top running right, the bottom running left,
// each ending in an arrowhead.
void DrawRepeat(QPainter& p, const QSizeF& area, const QColor& c) {
    const double stroke = 1.6;
    const double head = 3.0;  // half the height of an arrowhead
    const double left = 2.5;
    const double right = area.width() - 2.5;
    const double top = std::floor(area.height() / 2 - 4.5) + 0.5;
    const double bottom = top + 9;
    const double r = 3;
    QPainterPath loop;
    loop.moveTo(left, bottom - r - 1.5);
    loop.lineTo(left, top + r);
    loop.arcTo(QRectF(left, top, 2 * r, 2 * r), 180, -90);
    loop.lineTo(right - head - 3, top);
    loop.moveTo(right, top + r + 1.5);
    loop.lineTo(right, bottom - r);
    loop.arcTo(QRectF(right - 2 * r, bottom - 2 * r, 2 * r, 2 * r), 0, -90);
    loop.lineTo(left + head + 3, bottom);
    StrokePath(p, loop, c, stroke);

    QPainterPath heads;
    heads.addPath(Arrowhead(QRectF(right - head - 3.5, top - head, head + 1, 2 * head), false));
    heads.addPath(Arrowhead(QRectF(left + 2.5, bottom - head, head + 1, 2 * head), true));
    p.setPen(StrokePen(c, 0.6));
    p.setBrush(c);
    p.drawPath(heads);
}

// A sheet of paper with its top right corner folded over; returns the writing area.
QRectF DrawPage(QPainter& p, const QSizeF& area, const QColor& c, double width) {
    const double stroke = 1.5;
    const double height = std::round(area.height() * 0.82);
    const QRectF page(std::round((area.width() - width) / 2) + stroke / 2,
                      std::round((area.height() - height) / 2) + stroke / 2, width - stroke,
                      height - stroke);
    const double fold = std::round(width * 0.33);
    QPainterPath outline;
    outline.moveTo(page.right() - fold, page.top());
    outline.lineTo(page.left(), page.top());
    outline.lineTo(page.left(), page.bottom());
    outline.lineTo(page.right(), page.bottom());
    outline.lineTo(page.right(), page.top() + fold);
    outline.closeSubpath();
    outline.moveTo(page.right() - fold, page.top());
    outline.lineTo(page.right() - fold, page.top() + fold);
    outline.lineTo(page.right(), page.top() + fold);
    StrokePath(p, outline, c, stroke);
    return page.adjusted(stroke + 1, fold + 1, -stroke - 1, -stroke - 1);
}

// Open a video file: a page with a play triangle on it.
void DrawOpenVideo(QPainter& p, const QSizeF& area, const QColor& c) {
    const QRectF inside = DrawPage(p, area, c, std::round(area.width() * 0.78));
    const double height = std::min(inside.height(), 8.0);
    const double width = std::round(height * 0.85);
    const QRectF triangle(std::round(inside.center().x() - width / 2 + 0.5),
                          std::round(inside.center().y() - height / 2), width, height);
    FillPath(p, Arrowhead(triangle, false), c);
}

// Open a play file: a page of rows, each of two short values with a gap between them.
void DrawOpenPlayFile(QPainter& p, const QSizeF& area, const QColor& c) {
    const QRectF inside = DrawPage(p, area, c, std::round(area.width() * 0.78));
    const double left = std::round(inside.left());
    const double right = std::round(inside.right());
    const double split = std::round(left + (right - left) * 0.4);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    for (double y = std::round(inside.top()); y + 1 <= inside.bottom(); y += 3) {
        p.drawRect(QRectF(left, y, split - left, 1));
        p.drawRect(QRectF(split + 1, y, right - split - 1, 1));
    }
}

// A strip of five frames: normal, hover, pressed (moved a pixel right and down), disabled and
// focused.
QImage DrawStrip(int width, int height, const Symbol& symbol, const FrameColours& colours) {
    const int frameHeight = height / kFrameCount;
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor frameColours[kFrameCount] = {colours.normal, colours.hover, colours.pressed,
                                              colours.disabled, colours.focused};
    const QSizeF area(width - 1, frameHeight - 1);
    for (int frame = 0; frame < kFrameCount; ++frame) {
        p.save();
        p.setClipRect(QRect(0, frame * frameHeight, width, frameHeight));
        p.translate(0, frame * frameHeight);
        if (frame == 2) p.translate(1, 1);
        symbol(p, area, frameColours[frame]);
        p.restore();
    }
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

// An opaque panel background, shading from top to bottom.
QImage DrawBand(int width, int height, const QColor& top, const QColor& bottom) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient gradient(0, 0, 0, height);
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    p.fillRect(image.rect(), gradient);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

// Slider pictures are keyed on pure white, so their edges cannot fade into the background.
// A shape is the set of pixels its outline covers at least half; the outline alone decides
// it, so a normal and an active picture drawn from the same outline have the same white
// pixels. Inside, the pixels on the shape's border take the edge colour and the rest the
// fill, so the edge is one pixel wide all round, even in the tight curves.
struct SliderColours {
    QColor light;  // the lit part of the fill
    QColor fill;
    QColor edge;
};

const SliderColours kChannelNormal{QColor(96, 96, 96), QColor(80, 80, 80), QColor(112, 112, 112)};
const SliderColours kChannelActive{QColor(120, 226, 255), QColor(0, 200, 255), QColor(0, 140, 190)};
const SliderColours kThumbNormal{QColor(240, 240, 240), QColor(192, 192, 192),
                                 QColor(104, 104, 104)};
const SliderColours kThumbActive{QColor(200, 246, 255), QColor(0, 200, 255), QColor(0, 104, 150)};

const QRgb kKeyColour = qRgb(255, 255, 255);

QImage KeyedShape(const QSize& size, const QPainterPath& outline, const QBrush& fill,
                  const QColor& edge) {
    QImage coverage(size, QImage::Format_ARGB32);
    coverage.fill(Qt::transparent);
    QImage colour(size, QImage::Format_RGB32);
    {
        QPainter p(&coverage);
        p.setRenderHint(QPainter::Antialiasing);
        FillPath(p, outline, Qt::black);
        QPainter q(&colour);
        q.fillRect(colour.rect(), fill);
    }
    auto inside = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < size.width() && y < size.height() &&
               qAlpha(coverage.pixel(x, y)) >= 128;
    };
    QImage keyed(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            QRgb pixel = kKeyColour;
            if (inside(x, y)) {
                const bool border = !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) ||
                                    !inside(x, y + 1);
                pixel = border ? edge.rgb() : colour.pixel(x, y) | 0xff000000;
                // Never let the inside turn into the key colour.
                if (pixel == kKeyColour) pixel = qRgb(240, 240, 240);
            }
            keyed.setPixel(x, y, pixel);
        }
    }
    return keyed.convertToFormat(QImage::Format_RGB888);
}

// The channel: a groove six pixels high, rounded at both ends, one pixel in from each end,
// lit along its top.
QImage DrawChannel(const QSize& size, const SliderColours& colours) {
    const QRectF groove(1, std::round(size.height() / 2.0) - 3, size.width() - 2, 6);
    QPainterPath outline;
    outline.addRoundedRect(groove, 3, 3);
    QLinearGradient fill(groove.topLeft(), groove.bottomLeft());
    fill.setColorAt(0, colours.light);
    fill.setColorAt(0.45, colours.fill);
    fill.setColorAt(1, colours.fill);
    return KeyedShape(size, outline, fill, colours.edge);
}

// The thumb: a ball twelve pixels across, lit from the top left.
QImage DrawThumb(const QSize& size, const SliderColours& colours) {
    const double diameter = 12;
    const QRectF ball((size.width() - diameter) / 2, (size.height() - diameter) / 2, diameter,
                      diameter);
    QPainterPath outline;
    outline.addEllipse(ball);
    QRadialGradient fill(ball.center(), diameter / 2,
                         ball.center() - QPointF(diameter * 0.18, diameter * 0.22));
    fill.setColorAt(0, colours.light);
    fill.setColorAt(0.6, colours.fill);
    fill.setColorAt(1, colours.fill.darker(130));
    return KeyedShape(size, outline, fill, colours.edge);
}

bool Save(const QImage& image, const QString& path) {
    if (image.save(path)) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("png")) || !out.mkpath(QStringLiteral("bmp"))) {
        std::fprintf(stderr, "cannot create the folders in %s\n", argv[1]);
        return 1;
    }
    auto png = [&](int id) { return out.filePath(QStringLiteral("png/%1.png").arg(id)); };
    auto bmp = [&](int id) { return out.filePath(QStringLiteral("bmp/%1.bmp").arg(id)); };

    struct Strip {
        int id;
        int width;
        int height;
        Symbol symbol;
        const FrameColours& colours;
    };
    using namespace std::placeholders;
    const std::vector<Strip> strips{
        {136, 14, 85, DrawPlay, kButtonColours},
        {138, 13, 90, DrawPause, kButtonColours},
        {146, 19, 115, DrawOpenVideo, kButtonColours},
        {139, 24, 100, DrawVolume, kButtonColours},
        {148, 24, 100, DrawMuted, kButtonColours},
        {145, 26, 130, DrawDisc, kButtonColours},
        {137, 21, 95, DrawRepeat, kButtonColours},
        {147, 21, 95, DrawRepeat, kSwitchedOnColours},
        {140, 18, 90, std::bind(DrawCorners, _1, _2, _3, false), kButtonColours},
        {152, 18, 90, std::bind(DrawCorners, _1, _2, _3, true), kButtonColours},
        {141, 17, 90, std::bind(DrawSkip, _1, _2, _3, true), kButtonColours},
        {142, 17, 90, std::bind(DrawSkip, _1, _2, _3, false), kButtonColours},
        {144, 18, 115, DrawOpenPlayFile, kButtonColours},
        {163, 14, 70, DrawStop, kButtonColours},
    };

    bool ok = true;
    for (const Strip& strip : strips) {
        ok &=
            Save(DrawStrip(strip.width, strip.height, strip.symbol, strip.colours), png(strip.id));
    }
    ok &= Save(DrawBand(1000, 38, Qt::black, Qt::black), png(150));
    ok &= Save(DrawBand(1000, 70, QColor(32, 32, 32), Qt::black), png(149));
    ok &= Save(DrawBand(1000, 35, QColor(32, 32, 32), Qt::black), png(151));

    const QSize seek(280, 20);
    const QSize volume(64, 20);
    const QSize thumb(14, 20);
    ok &= Save(DrawChannel(seek, kChannelNormal), bmp(169));
    ok &= Save(DrawChannel(seek, kChannelActive), bmp(168));
    ok &= Save(DrawChannel(volume, kChannelNormal), bmp(165));
    ok &= Save(DrawChannel(volume, kChannelActive), bmp(164));
    ok &= Save(DrawThumb(thumb, kThumbNormal), bmp(167));
    ok &= Save(DrawThumb(thumb, kThumbActive), bmp(166));
    ok &= Save(DrawThumb(thumb, kThumbNormal), bmp(163));
    ok &= Save(DrawThumb(thumb, kThumbActive), bmp(162));
    return ok ? 0 : 1;
}
