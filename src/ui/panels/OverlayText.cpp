#include "panels/OverlayText.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

constexpr int kPaddingX = 12;
constexpr int kPaddingY = 6;
constexpr double kOpacity = 200.0 / 255.0;

}  // namespace

OverlayText::OverlayText(QWidget* mainWindow, Qt::Alignment corner, QColor colour)
    : QWidget(mainWindow, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      corner_(corner),
      colour_(colour) {
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
    if (shownMs > 0) {
        hideTimer_.start(shownMs);
    } else {
        hideTimer_.stop();
    }
}

void OverlayText::FollowArea(const QRect& area) {
    move(corner_ == Qt::AlignRight ? area.topRight() + QPoint(-kMargin - width() + 1, kMargin)
                                   : area.topLeft() + QPoint(kMargin, kMargin));
}

void OverlayText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.setPen(colour_);
    painter.drawText(rect(), Qt::AlignCenter, text_);
}
