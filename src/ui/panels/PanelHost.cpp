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

// A window manager that minimises the main window minimises its utility windows with it, and
// Qt then maps a panel shown again as minimised, which makes the window manager minimise the
// main window too (it minimises a window together with its owner). The panels are therefore
// always shown in the normal state.
void PanelHost::ShowPanels() {
    for (QWidget* window : {static_cast<QWidget*>(this), content_}) {
        if (window == nullptr) continue;
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->show();
        window->raise();
    }
}

void PanelHost::HidePanels() {
    hide();
    if (content_ != nullptr) content_->hide();
}

QRect PanelHost::MainClientRect() const {
    const auto* menu = mainWindow_->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly);
    const int menuHeight = menu != nullptr ? menu->sizeHint().height() : 0;
    return {mainWindow_->mapToGlobal(QPoint(0, menuHeight)),
            QSize(mainWindow_->width(), mainWindow_->height() - menuHeight)};
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
