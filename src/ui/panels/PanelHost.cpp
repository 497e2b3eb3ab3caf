#include "panels/PanelHost.h"

#include <QEvent>
#include <QMenuBar>
#include <QPalette>
#include <QTimer>

PanelHost::PanelHost(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      mainWindow_(mainWindow) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    setPalette(palette);
    setWindowOpacity(kOpacity);
    // Files dropped on a panel go to the main window, which looks at every drag first.
    setAcceptDrops(true);
}

// A window manager that minimises the main window minimises its utility windows with it. A
// panel still minimised when the main window is back is shown in the normal state: mapped
// minimised, it would make the window manager minimise its owner again.
void PanelHost::ShowPanels() {
    for (QWidget* window : {static_cast<QWidget*>(this), content_}) {
        if (window == nullptr) continue;
        if (window->windowState() & Qt::WindowMinimized) {
            window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        }
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

void PanelHost::SetContent(QWidget* content) {
    content_ = content;
    content_->setAcceptDrops(true);
    content_->installEventFilter(this);
}

void PanelHost::PlaceAt(const QRect& rect) {
    placement_ = rect;
    corrections_ = 0;
    setGeometry(rect);
    update();
    // Without a window manager nothing keeps the owned windows above their owner.
    if (isVisible()) {
        raise();
        if (content_ != nullptr) content_->raise();
    }
}

void PanelHost::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    KeepPlacement(this);
}

void PanelHost::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    KeepPlacement(this);
}

bool PanelHost::eventFilter(QObject* watched, QEvent* e) {
    if (watched == content_ && (e->type() == QEvent::Move || e->type() == QEvent::Resize)) {
        KeepPlacement(content_);
    }
    return QWidget::eventFilter(watched, e);
}

// The window manager confirms each geometry asked of it, and while the main window changes
// shape (full screen, back) the panels are placed several times in a row: the confirmation of
// an earlier place can arrive after a later one was asked for, and Qt then takes the window to
// be at the earlier place. A window left away from its last placement is placed again, from
// the event loop, once the confirmations in hand are handled.
void PanelHost::KeepPlacement(QWidget* window) {
    if (!placement_.isValid() || !window->isVisible() || window->geometry() == placement_) return;
    if (corrections_ >= kMaxCorrections) return;
    ++corrections_;
    QTimer::singleShot(0, window, [this, window] {
        if (window->isVisible() && window->geometry() != placement_)
            window->setGeometry(placement_);
    });
}
