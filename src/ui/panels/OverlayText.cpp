#include "panels/OverlayText.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

constexpr int kPaddingX = 12;
constexpr int kPaddingY = 6;
constexpr double kOpacity = 200.0 / 255.0;

}  // namespace

OverlayText::OverlayText(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
    setObjectName(QStringLiteral("overlayText"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setWindowOpacity(kOpacity);
    QFont bold = font();
    bold.setPointSize(bold.pointSize() + 3);
    bold.setBold(true);
    setFont(bold);
    hideTimer_.setSingleShot(true);
    connect(&hideTimer_, &QTimer::timeout, this, &QWidget::hide);
}

void OverlayText::ShowText(const QString& text, const QRect& area, int shownMs) {
    text_ = text;
    const QFontMetrics metrics(font());
    resize(metrics.horizontalAdvance(text_) + 2 * kPaddingX, metrics.height() + 2 * kPaddingY);
    FollowArea(area);
    show();
    raise();
    update();
    hideTimer_.start(shownMs);
}

void OverlayText::FollowArea(const QRect& area) { move(area.topLeft() + QPoint(kMargin, kMargin)); }

void OverlayText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.setPen(Qt::white);
    painter.drawText(rect(), Qt::AlignCenter, text_);
}
