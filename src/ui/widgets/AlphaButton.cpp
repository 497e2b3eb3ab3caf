#include "widgets/AlphaButton.h"

#include <QEnterEvent>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <bit>

#include "widgets/AlphaBlend.h"
#include "widgets/Resources.h"

// BlendOver works on B,G,R,A bytes, which is how QImage lays out its 32-bit formats here.
static_assert(std::endian::native == std::endian::little);

namespace {

enum Frame { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3, kFocused = 4 };

// The size in device pixels of `size` logical pixels at `dpr`.
QSize DeviceSize(QSize size, qreal dpr) { return (QSizeF(size) * dpr).toSize(); }

}  // namespace

int ChooseFrame(bool disabled, bool pressed, bool hovering, bool focused) {
    if (disabled) return kDisabled;
    if (pressed) return kPressed;
    if (hovering) return kHover;
    if (focused) return kFocused;
    return kNormal;
}

QString StripResourcePath(int id, const char* type) {
    EnsureResources();
    const QString suffix = QString::fromLatin1(type);
    return QStringLiteral(":/res/%1/%2.%1").arg(suffix).arg(id);
}

CAlphaButton::CAlphaButton(int controlId, QWidget* parent)
    : QAbstractButton(parent), controlId_(controlId) {}

bool CAlphaButton::LoadStripResource(int id, const char* type) {
    return LoadStrip(StripResourcePath(id, type), strip_);
}

bool CAlphaButton::LoadToggleStripResource(int id, const char* type) {
    return LoadStrip(StripResourcePath(id, type), toggleStrip_);
}

bool CAlphaButton::LoadStripFile(const QString& path) { return LoadStrip(path, strip_); }

bool CAlphaButton::LoadToggleStripFile(const QString& path) {
    return LoadStrip(path, toggleStrip_);
}

bool CAlphaButton::LoadStrip(const QString& path, QImage& strip) {
    const QImage image(path);
    if (image.isNull() || image.height() < kFrameCount) return false;
    // Straight alpha for the blend; images without alpha are drawn as they are.
    strip = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                          : QImage::Format_RGB32);
    frameSize_ = QSize(strip.width(), strip.height() / kFrameCount);
    setFixedSize(frameSize_);
    raise();
    composedKey_ = -1;
    update();
    return true;
}

void CAlphaButton::SetToggle(int on) {
    toggle_ = on;
    update();
}

void CAlphaButton::MoveTo(int x, int y) {
    if (frameSize_.isValid()) {
        setGeometry(QRect(QPoint(x, y), frameSize_));
    } else {
        move(x, y);
    }
}

void CAlphaButton::ResetBackground() {
    snapshot_ = QImage();
    composedKey_ = -1;
    update();
}

void CAlphaButton::SetTooltipText(const QString& text) {
    if (!text.isEmpty()) setToolTip(text);
}

int CAlphaButton::CurrentFrame() const {
    return ChooseFrame(!isEnabled(), isDown(), hovering_, focused_);
}

bool CAlphaButton::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && !tooltipActive_) {
        // Accepted, so that the parent does not show a tooltip of its own instead.
        QToolTip::hideText();
        event->accept();
        return true;
    }
    return QAbstractButton::event(event);
}

void CAlphaButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit HeldDown();
    QAbstractButton::mousePressEvent(event);
}

void CAlphaButton::mouseReleaseEvent(QMouseEvent* event) {
    // The press grabbed the mouse, so this also arrives when released outside the button.
    if (event->button() == Qt::LeftButton) emit LetGo();
    QAbstractButton::mouseReleaseEvent(event);
}

void CAlphaButton::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CAlphaButton::leaveEvent(QEvent* event) {
    hovering_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void CAlphaButton::focusInEvent(QFocusEvent* event) {
    focused_ = true;
    update();
    QAbstractButton::focusInEvent(event);
}

void CAlphaButton::focusOutEvent(QFocusEvent* event) {
    focused_ = false;
    update();
    QAbstractButton::focusOutEvent(event);
}

// What lies beneath the button depends on where it is and how large it is.
void CAlphaButton::moveEvent(QMoveEvent* event) {
    ResetBackground();
    QAbstractButton::moveEvent(event);
}

void CAlphaButton::resizeEvent(QResizeEvent* event) {
    ResetBackground();
    QAbstractButton::resizeEvent(event);
}

void CAlphaButton::TakeSnapshot() {
    const qreal dpr = devicePixelRatioF();
    snapshot_ = QImage(DeviceSize(frameSize_, dpr), QImage::Format_ARGB32_Premultiplied);
    snapshot_.setDevicePixelRatio(dpr);
    snapshot_.fill(Qt::transparent);
    composedKey_ = -1;
    QWidget* parent = parentWidget();
    if (parent == nullptr) return;
    // The parent alone first, then each sibling beneath this button. Rendering the parent
    // with its children would draw this button again inside its own paint event, and Qt
    // then drops the button's paint redirection, so its own painter fails afterwards.
    parent->render(&snapshot_, QPoint(), QRegion(geometry()), QWidget::DrawWindowBackground);
    for (QObject* child : parent->children()) {
        if (child == this) break;  // later children lie above the button
        auto* sibling = qobject_cast<QWidget*>(child);
        if (sibling == nullptr || sibling->isWindow() || !sibling->isVisible()) continue;
        const QRect area = geometry() & sibling->geometry();
        if (area.isEmpty()) continue;
        sibling->render(&snapshot_, area.topLeft() - pos(),
                        QRegion(area.translated(-sibling->pos())), QWidget::DrawChildren);
    }
}

const QImage& CAlphaButton::ComposedFrame(const QImage& strip, int frame) {
    const int key = (toggle_ != 0 ? kFrameCount : 0) + frame;
    if (key == composedKey_) return composed_;
    const int frameHeight = strip.height() / kFrameCount;
    QImage source = strip.copy(0, frame * frameHeight, strip.width(), frameHeight);
    const QSize deviceSize = DeviceSize(source.size(), snapshot_.devicePixelRatio());
    if (deviceSize != source.size()) {
        source = source.scaled(deviceSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                     .convertToFormat(QImage::Format_ARGB32);
    }
    composed_ = snapshot_.copy();
    BlendOver(source.constBits(), static_cast<int>(source.bytesPerLine()), composed_.bits(),
              static_cast<int>(composed_.bytesPerLine()),
              std::min(source.width(), composed_.width()),
              std::min(source.height(), composed_.height()));
    composedKey_ = key;
    return composed_;
}

void CAlphaButton::paintEvent(QPaintEvent* /*event*/) {
    if (frameSize_.isEmpty()) return;
    if (snapshot_.isNull() || snapshot_.size() != DeviceSize(frameSize_, devicePixelRatioF())) {
        TakeSnapshot();
    }

    QPainter painter(this);
    // The snapshot already holds what lies beneath, so the pixels are replaced, not laid
    // over the parent's translucent background a second time.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const QImage& strip = toggle_ != 0 ? toggleStrip_ : strip_;
    const int frame = CurrentFrame();
    if (strip.isNull()) {
        painter.drawImage(QPoint(), snapshot_);
    } else if (strip.hasAlphaChannel()) {
        painter.drawImage(QPoint(), ComposedFrame(strip, frame));
    } else {
        const int frameHeight = strip.height() / kFrameCount;
        painter.drawImage(QRect(0, 0, strip.width(), frameHeight), strip,
                          QRect(0, frame * frameHeight, strip.width(), frameHeight));
    }
    DrawLabel(painter);
}

void CAlphaButton::DrawLabel(QPainter& painter) {
    if (text().isEmpty()) return;
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setFont(font());
    QRect rect(QPoint(), frameSize_);
    if (isDown()) rect.translate(1, 1);
    constexpr int flags = Qt::AlignCenter | Qt::TextShowMnemonic;
    if (!isEnabled()) {
        // Embossed: a light copy one pixel down and right under the grey text.
        painter.setPen(palette().color(QPalette::Light));
        painter.drawText(rect.translated(1, 1), flags, text());
        painter.setPen(Qt::gray);
    } else {
        painter.setPen(palette().color(QPalette::ButtonText));
    }
    painter.drawText(rect, flags, text());
}
