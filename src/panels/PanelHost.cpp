#include "panels/PanelHost.h"

#include <QMenuBar>
#include <QPalette>

PanelHost::PanelHost(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      mainWindow_(mainWindow) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    setPalette(palette);
    setWindowOpacity(kOpacity);
}

void PanelHost::ShowPanels() {
    show();
    raise();
    if (content_ != nullptr) {
        content_->show();
        content_->raise();
    }
}

void PanelHost::HidePanels() {
    hide();
    if (content_ != nullptr) content_->hide();
}

QSize PanelHost::MainClientSize() const {
    const auto* menu = mainWindow_->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly);
    const int menuHeight = menu != nullptr ? menu->sizeHint().height() : 0;
    return {mainWindow_->width(), mainWindow_->height() - menuHeight};
}

void PanelHost::PlaceAt(const QRect& rect) {
    setGeometry(rect);
    update();
    // Without a window manager nothing keeps the owned windows above their owner.
    if (isVisible()) {
        raise();
        if (content_ != nullptr) content_->raise();
    }
}
