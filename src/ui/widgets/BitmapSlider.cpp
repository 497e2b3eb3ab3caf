#include "widgets/BitmapSlider.h"

#include <QFocusEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "widgets/Resources.h"

namespace {

// The picture as it is painted: with `transparent`, every pixel of the key colour becomes fully
// transparent. The key is `colour` (0x00BBGGRR) or, for kColourFromPixel, the picture's pixel
// (pixelX, pixelY); a pixel outside the picture keys out nothing.
QPixmap KeyedPixmap(const QImage& image, bool transparent, uint32_t colour, int pixelX,
                    int pixelY) {
    if (!transparent) return QPixmap::fromImage(image);
    QImage keyed = image.convertToFormat(QImage::Format_ARGB32);
    QRgb key = 0;
    if (colour == CBitmapSlider::kColourFromPixel) {
        if (!image.valid(pixelX, pixelY)) return QPixmap::fromImage(keyed);
        key = image.pixel(pixelX, pixelY) & RGB_MASK;
    } else {
        key = ColorRefToRgb(colour);
    }
    for (int y = 0; y < keyed.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(keyed.scanLine(y));
        for (int x = 0; x < keyed.width(); ++x) {
            if ((line[x] & RGB_MASK) == key) line[x] = 0;
        }
    }
    return QPixmap::fromImage(keyed);
}

// The keys the slider moves with. Modifiers are not looked at (keypad keys come with one).
bool IsSliderKey(int key) {
    switch (key) {
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Left:
        case Qt::Key_Up:
        case Qt::Key_Right:
        case Qt::Key_Down:
            return true;
        default:
            return false;
    }
}

int SaturatedSum(int a, int64_t b) {
    return static_cast<int>(std::clamp<int64_t>(a + b, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

// Where the video is still to come the heat keeps its hues at about half the light: mixed
// with a near-black shade.
constexpr double kUnplayedShare = 0.55;
constexpr QRgb kUnplayedShade = qRgb(24, 24, 24);
// Direction ticks under the channel: one pixel below its outline, two pixels tall.
constexpr int kTickOffset = 3;
constexpr int kTickHeight = 2;
constexpr QRgb kPlayedTick = qRgba(255, 255, 255, 235);
constexpr QRgb kUnplayedTick = qRgba(255, 255, 255, 130);

// The inside of the channel picture, where the heat goes: its opaque extent along the middle
// column and the middle row, less a one-pixel outline when there is room for one. Empty for a
// picture with nothing opaque in its middle column.
QRect ChannelBody(const QPixmap& picture) {
    const QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    int top = -1;
    int bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        if (qAlpha(image.pixel(image.width() / 2, y)) == 0) continue;
        if (top < 0) top = y;
        bottom = y;
    }
    if (top < 0) return {};
    const int middle = (top + bottom) / 2;
    int left = -1;
    int right = -1;
    for (int x = 0; x < image.width(); ++x) {
        if (qAlpha(image.pixel(x, middle)) == 0) continue;
        if (left < 0) left = x;
        right = x;
    }
    const QRect extent(QPoint(left, top), QPoint(right, bottom));
    return extent.width() > 2 && extent.height() > 2 ? extent.adjusted(1, 1, -1, -1) : extent;
}

// Where the heat columns go, in the slider's pixels: the body they fill, and the span of the
// thumb's travel they are spread over (the body's columns beyond it take the end columns).
struct HeatLayout {
    QRect body;
    double stripLeft = 0;
    double stripWidth = 0;
    qreal pixelRatio = 1;
};

// `art` (one of the channel's pictures) with the heat painted into its body at the layout's
// pixel ratio: at full strength for the played part, dimmed for the rest.
QPixmap HeatPicture(const QPixmap& art, const std::vector<HeatColumn>& heat,
                    const HeatLayout& layout, bool played) {
    const qreal ratio = layout.pixelRatio;
    const auto device = [ratio](double logical) {
        return static_cast<int>(std::lround(logical * ratio));
    };
    QImage image(device(art.width()), device(art.height()), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.drawPixmap(image.rect(), art);
    }
    const QRect& body = layout.body;
    const int top = std::max(0, device(body.top()));
    const int bottom = std::min(image.height(), device(body.bottom() + 1));
    const int tickTop = std::max(0, device(body.bottom() + kTickOffset));
    const int tickBottom =
        std::min(image.height(), device(body.bottom() + kTickOffset + kTickHeight));
    const int right = std::min(image.width(), device(body.right() + 1));
    const double last = static_cast<double>(heat.size()) - 1;
    for (int x = std::max(0, device(body.left())); x < right; ++x) {
        const double share = ((x + 0.5) / ratio - layout.stripLeft) / layout.stripWidth;
        const double index =
            std::clamp(std::floor(share * static_cast<double>(heat.size())), 0.0, last);
        const HeatColumn& column = heat[static_cast<size_t>(index)];
        const QRgb colour = HeatColour(column.speed);
        const QRgb shown = played ? colour : MixColours(colour, kUnplayedShade, kUnplayedShare);
        for (int y = top; y < bottom; ++y) reinterpret_cast<QRgb*>(image.scanLine(y))[x] = shown;
        if (!column.mark) continue;
        const QRgb tick = played ? kPlayedTick : kUnplayedTick;
        for (int y = tickTop; y < tickBottom; ++y)
            reinterpret_cast<QRgb*>(image.scanLine(y))[x] = tick;
    }
    image.setDevicePixelRatio(ratio);
    return QPixmap::fromImage(image);
}

}  // namespace

CBitmapSlider::CBitmapSlider(int controlId, QWidget* parent)
    : QWidget(parent), controlId_(controlId) {
    // Only the pictures are painted; the bar shows through everywhere else.
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    setFocusPolicy(Qt::StrongFocus);
}

QString CBitmapSlider::BitmapPath(int id) {
    if (id == 0) return {};
    EnsureResources();
    return QStringLiteral("%1/%2.bmp").arg(QLatin1String(kBitmapRoot)).arg(id);
}

bool CBitmapSlider::LoadChannelBitmaps(int id, int activeId, bool transparent, uint32_t colour,
                                       int pixelX, int pixelY) {
    return LoadChannelFiles(BitmapPath(id), BitmapPath(activeId), transparent, colour, pixelX,
                            pixelY);
}

bool CBitmapSlider::LoadThumbBitmaps(int id, int activeId, bool transparent, uint32_t colour,
                                     int pixelX, int pixelY) {
    return LoadThumbFiles(BitmapPath(id), BitmapPath(activeId), transparent, colour, pixelX,
                          pixelY);
}

bool CBitmapSlider::LoadPart(Part& part, const QString& path, const QString& activePath,
                             bool transparent, uint32_t colour, int pixelX, int pixelY) {
    if (path.isEmpty()) {
        part.loaded = false;
        part.normal = QPixmap();
        part.active = QPixmap();
        return true;
    }
    const QImage image(path);
    if (image.isNull()) {
        part.normal = QPixmap();
        return false;
    }
    part.normal = KeyedPixmap(image, transparent, colour, pixelX, pixelY);
    part.active = QPixmap();
    const bool hasActive = !activePath.isEmpty();
    if (hasActive) {
        const QImage activeImage(activePath);
        if (activeImage.isNull()) {
            part.normal = QPixmap();
            return false;
        }
        part.active = KeyedPixmap(activeImage, transparent, colour, pixelX, pixelY);
    }
    part.hasActive = hasActive;
    part.width = image.width();
    part.height = image.height();
    part.transparent = transparent;
    part.loaded = true;
    return true;
}

bool CBitmapSlider::LoadChannelFiles(const QString& path, const QString& activePath,
                                     bool transparent, uint32_t colour, int pixelX, int pixelY) {
    const bool ok = LoadPart(channel_, path, activePath, transparent, colour, pixelX, pixelY);
    if (ok && channel_.loaded) setFixedSize(channel_.width, channel_.height);
    NoteHeatWidth();
    update();
    return ok;
}

bool CBitmapSlider::LoadThumbFiles(const QString& path, const QString& activePath, bool transparent,
                                   uint32_t colour, int pixelX, int pixelY) {
    const bool ok = LoadPart(thumb_, path, activePath, transparent, colour, pixelX, pixelY);
    if (ok && thumb_.loaded && !channel_.loaded) {
        // With no channel, the thumb travels across the slider's own width.
        channel_.width = width();
        channel_.height = height();
    }
    NoteHeatWidth();
    update();
    return ok;
}

SliderGeometry CBitmapSlider::Geometry() const {
    return {.channelWidth = channel_.width,
            .thumbWidth = thumb_.width,
            .rangeMin = rangeMin_,
            .rangeMax = rangeMax_,
            .marginLeft = marginLeft_,
            .marginRight = marginRight_};
}

void CBitmapSlider::SetRange(int min, int max, bool redraw) {
    SetRangeMin(min, false);
    SetRangeMax(max, redraw);
}

void CBitmapSlider::SetRangeMin(int min, bool redraw) {
    rangeMin_ = min;
    if (redraw) update();
}

void CBitmapSlider::SetRangeMax(int max, bool redraw) {
    rangeMax_ = max;
    if (redraw) update();
}

void CBitmapSlider::SetPosition(int position) {
    if (dragging_) return;
    MoveThumb(position);
}

void CBitmapSlider::MoveThumb(int position) {
    position_ = ClampPosition(position, rangeMin_, rangeMax_);
    update();
}

int CBitmapSlider::SetPageSize(int size) { return std::exchange(pageSize_, size); }

void CBitmapSlider::SetMargins(int left, int top, int right, int bottom) {
    marginLeft_ = left;
    marginTop_ = top;
    marginRight_ = right;
    marginBottom_ = bottom;
    NoteHeatWidth();
    update();
}

void CBitmapSlider::SetMarginLeft(int margin) {
    SetMargins(margin, marginTop_, marginRight_, marginBottom_);
}

void CBitmapSlider::SetMarginTop(int margin) {
    SetMargins(marginLeft_, margin, marginRight_, marginBottom_);
}

void CBitmapSlider::SetMarginRight(int margin) {
    SetMargins(marginLeft_, marginTop_, margin, marginBottom_);
}

void CBitmapSlider::SetMarginBottom(int margin) {
    SetMargins(marginLeft_, marginTop_, marginRight_, margin);
}

void CBitmapSlider::SetHeat(std::vector<HeatColumn> heat) {
    heat_ = std::move(heat);
    heatStale_ = true;
    if (heat_.empty()) {
        heatNormal_ = QPixmap();
        heatActive_ = QPixmap();
    }
    update();
}

int CBitmapSlider::HeatWidth() const {
    return std::max(0, channel_.width - marginLeft_ - marginRight_ - thumb_.width);
}

void CBitmapSlider::NoteHeatWidth() {
    const int width = HeatWidth();
    if (width == heatWidth_) return;
    heatWidth_ = width;
    emit HeatWidthChanged(width);
}

void CBitmapSlider::UpdateHeatPictures() {
    const HeatKey key{.channelWidth = channel_.width,
                      .channelHeight = channel_.height,
                      .thumbWidth = thumb_.width,
                      .marginLeft = marginLeft_,
                      .marginRight = marginRight_,
                      .pixelRatio = devicePixelRatioF(),
                      .normal = channel_.normal.cacheKey(),
                      .active = channel_.active.cacheKey()};
    if (!heatStale_ && key == heatKey_) return;
    heatKey_ = key;
    heatStale_ = false;
    ++heatBuilds_;
    // With no travel (a thumb as wide as the channel) the heat spreads over the body.
    const QRect body = ChannelBody(channel_.normal);
    const int travel = HeatWidth();
    const HeatLayout layout{
        .body = body,
        .stripLeft = travel > 0 ? marginLeft_ + thumb_.width / 2.0 : body.left(),
        .stripWidth = static_cast<double>(travel > 0 ? travel : std::max(1, body.width())),
        .pixelRatio = key.pixelRatio};
    heatNormal_ = HeatPicture(channel_.normal, heat_, layout, false);
    heatActive_ =
        HeatPicture(channel_.hasActive ? channel_.active : channel_.normal, heat_, layout, true);
}

void CBitmapSlider::SetFocusRectEnabled(bool enabled, bool redraw) {
    focusRectEnabled_ = enabled;
    if (redraw) update();
}

void CBitmapSlider::Enable(bool enabled) {
    enabled_ = enabled;
    if (!enabled) EndDrag();
    update();
}

// A drag that loses its release (the slider disabled or hidden under the pointer) must not
// keep the thumb from following the positions set from outside.
void CBitmapSlider::EndDrag() {
    if (!dragging_) return;
    dragging_ = false;
    if (mouseGrabber() == this) releaseMouse();
    update();
}

void CBitmapSlider::DragTo(int x) {
    const SliderGeometry g = Geometry();
    const int centre = ClampDragPixel(g, x);
    if (centre == ThumbCentre(g, position_)) return;
    MoveThumb(PositionAtPixel(g, centre));
    emit Moving(position_);
}

void CBitmapSlider::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !enabled_) {
        QWidget::mousePressEvent(e);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    dragging_ = true;
    DragTo(static_cast<int>(std::floor(e->position().x())));
    update();
}

void CBitmapSlider::mouseMoveEvent(QMouseEvent* e) {
    if (!dragging_ || !enabled_) {
        QWidget::mouseMoveEvent(e);
        return;
    }
    DragTo(static_cast<int>(std::floor(e->position().x())));
}

void CBitmapSlider::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !enabled_) {
        QWidget::mouseReleaseEvent(e);
        return;
    }
    dragging_ = false;
    update();
    emit Moved(position_);
}

bool CBitmapSlider::event(QEvent* e) {
    // Keep the moving keys from any shortcut of the windows above; Tab and Backtab still move
    // the focus.
    if (e->type() == QEvent::ShortcutOverride && enabled_ &&
        IsSliderKey(static_cast<QKeyEvent*>(e)->key())) {
        e->accept();
        return true;
    }
    return QWidget::event(e);
}

void CBitmapSlider::keyPressEvent(QKeyEvent* e) {
    if (!enabled_ || !IsSliderKey(e->key())) {
        QWidget::keyPressEvent(e);
        return;
    }
    int position = position_;
    switch (e->key()) {
        case Qt::Key_PageUp:
            position = SaturatedSum(position_, -int64_t{pageSize_});
            break;
        case Qt::Key_PageDown:
            position = SaturatedSum(position_, pageSize_);
            break;
        case Qt::Key_End:
            position = rangeMax_;
            break;
        case Qt::Key_Home:
            position = rangeMin_;
            break;
        case Qt::Key_Left:
        case Qt::Key_Up:
            position = SaturatedSum(position_, -1);
            break;
        default:  // Right, Down
            position = SaturatedSum(position_, 1);
            break;
    }
    MoveThumb(position);
    emit Moved(position_);
}

void CBitmapSlider::focusInEvent(QFocusEvent* e) {
    focused_ = true;
    update();
    QWidget::focusInEvent(e);
}

void CBitmapSlider::focusOutEvent(QFocusEvent* e) {
    focused_ = false;
    update();
    QWidget::focusOutEvent(e);
}

void CBitmapSlider::hideEvent(QHideEvent* e) {
    EndDrag();
    QWidget::hideEvent(e);
}

void CBitmapSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const SliderGeometry g = Geometry();
    const int centre = ThumbCentre(g, position_);

    const bool heat = HasHeat() && channel_.loaded;
    if (heat) UpdateHeatPictures();
    const QPixmap& normal = heat ? heatNormal_ : channel_.normal;
    const QPixmap& active = heat ? heatActive_ : channel_.active;
    if ((channel_.hasActive || heat) && enabled_) {
        // Played part (left of the thumb's centre) from the active picture, the rest normal.
        // Source rectangles are in the pictures' own pixels.
        const int split = std::clamp(centre, 0, channel_.width);
        const qreal ratio = normal.devicePixelRatio();
        const auto source = [ratio](int x, int width, int height) {
            return QRectF(x * ratio, 0, width * ratio, height * ratio);
        };
        painter.drawPixmap(QRectF(split, 0, channel_.width - split, channel_.height), normal,
                           source(split, channel_.width - split, channel_.height));
        painter.drawPixmap(QRectF(0, 0, split, channel_.height), active,
                           source(0, split, channel_.height));
    } else {
        painter.drawPixmap(0, 0, normal);
    }

    if (thumb_.loaded && enabled_) {
        const QPixmap& picture = dragging_ && thumb_.hasActive ? thumb_.active : thumb_.normal;
        painter.drawPixmap(centre - thumb_.width / 2, marginTop_, picture);
    }

    if (focusRectEnabled_ && focused_ && enabled_) {
        // Dotted, in the bar's text colour so that it shows on the dark bar.
        painter.setPen(QPen(palette().color(foregroundRole()), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}
