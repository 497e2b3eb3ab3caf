#include "app/MainWindowInput.h"

#include <QAbstractButton>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <string>
#include <vector>

#include "log/OutputLog.h"
#include "panels/BottomDlg.h"
#include "panels/BottomMainDlg.h"
#include "panels/OverlayText.h"
#include "panels/PanelGeometry.h"
#include "session/PlaybackSession.h"

namespace {

constexpr int kWheelNotch = 120;  // one step of a mouse wheel, in eighths of a degree

}  // namespace

MainWindowInput::MainWindowInput(Windows windows, PlaybackSession& session, OutputLog& log)
    : QObject(windows.main), windows_(std::move(windows)), session_(session), log_(log) {
    windows_.videoHost->setMouseTracking(true);
    pointerRest_.setSingleShot(true);
    pointerRest_.setInterval(kPointerRestMs);
    connect(&pointerRest_, &QTimer::timeout, this, [this] {
        if (session_.Player().HasVideoOutput()) windows_.videoHost->setCursor(Qt::BlankCursor);
    });
}

void MainWindowInput::PointerMoved() {
    windows_.videoHost->unsetCursor();
    pointerRest_.start();
}

bool MainWindowInput::IsOwnWindow(const QWidget* top) const {
    const QWidget* bottom = windows_.bottomPanel;
    return top != nullptr &&
           (top == windows_.main || top == windows_.topPanel || top == bottom ||
            top->parentWidget() == bottom || top->parentWidget() == windows_.topPanel);
}

bool MainWindowInput::eventFilter(QObject* watched, QEvent* e) {
    if (!watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    // Only the main window and its panels: other dialogs keep their own keys and drops.
    const bool own = IsOwnWindow(widget->window());
    switch (e->type()) {
        case QEvent::MouseButtonPress:
            if (widget->window() == windows_.main) windows_.raisePanels();
            break;
        case QEvent::MouseMove:
            if (widget == windows_.videoHost && session_.IsRecording()) {
                session_.PointerOverVideo(static_cast<QMouseEvent*>(e)->position().x(),
                                          widget->width());
            }
            [[fallthrough]];
        case QEvent::Enter:
            if (widget == windows_.videoHost) PointerMoved();
            break;
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
            return widget == windows_.videoHost && HandleVideoMouse(e);
        case QEvent::KeyPress:
            if (!own) break;
            if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
                LeaveFullScreen();
                return true;
            }
            return HandleKey(*static_cast<QKeyEvent*>(e));
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return own && HandleDrag(e);
        default:
            break;
    }
    return false;
}

void MainWindowInput::LeaveFullScreen() {
    if (windows_.fullScreen()) {
        QMetaObject::invokeMethod(windows_.bottomPanel->GetMaximizeButton(), "click",
                                  Qt::QueuedConnection);
    }
}

bool MainWindowInput::HandleKey(const QKeyEvent& key) {
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        return false;
    }
    if (session_.IsDiscMenuShown() && HandleMenuKey(key)) return true;
    const bool fine = (key.modifiers() & Qt::ShiftModifier) != 0;
    switch (key.key()) {
        case Qt::Key_Space:
            ClickBarButton(session_.Player().GetState() == PlayerState::kPlaying
                               ? CBottomMainDlg::IDC_PAUSE
                               : CBottomMainDlg::IDC_PLAY);
            return true;
        case Qt::Key_Left:
        case Qt::Key_Right: {
            OUTPUT_LOG(log_, "メディアスライダー移動");
            const int64_t delta = key.key() == Qt::Key_Right ? kKeySeekMs : -kKeySeekMs;
            QMetaObject::invokeMethod(
                this, [this, delta] { session_.SeekBy(delta); }, Qt::QueuedConnection);
            return true;
        }
        case Qt::Key_Up:
            windows_.bottomPanel->Bar()->MoveVolumeBy(kKeyVolumeStep);
            return true;
        case Qt::Key_Down:
            windows_.bottomPanel->Bar()->MoveVolumeBy(-kKeyVolumeStep);
            return true;
        case Qt::Key_M:
            ClickBarButton(CBottomMainDlg::IDC_VOLUME);
            return true;
        case Qt::Key_F:
            ClickBarButton(CBottomMainDlg::IDC_MAXIMIZE);
            return true;
        case Qt::Key_R:
            emit RecordingToggled();
            return true;
        // Shift with a bracket gives a brace on most layouts: the fine step.
        case Qt::Key_BracketRight:
        case Qt::Key_BraceRight:
            ChangeOffset(fine || key.key() == Qt::Key_BraceRight ? kOffsetFineStepMs
                                                                 : kOffsetStepMs);
            return true;
        case Qt::Key_BracketLeft:
        case Qt::Key_BraceLeft:
            ChangeOffset(fine || key.key() == Qt::Key_BraceLeft ? -kOffsetFineStepMs
                                                                : -kOffsetStepMs);
            return true;
        default:
            return false;
    }
}

// On a disc's menu the arrows and Enter are the menu's: they move between its buttons and
// activate one.
bool MainWindowInput::HandleMenuKey(const QKeyEvent& key) {
    static constexpr struct {
        int key;
        MenuStep step;
    } kMenuKeys[] = {
        {Qt::Key_Up, MenuStep::kUp},           {Qt::Key_Down, MenuStep::kDown},
        {Qt::Key_Left, MenuStep::kLeft},       {Qt::Key_Right, MenuStep::kRight},
        {Qt::Key_Return, MenuStep::kActivate}, {Qt::Key_Enter, MenuStep::kActivate},
    };
    for (const auto& known : kMenuKeys) {
        if (known.key == key.key()) {
            session_.NavigateMenu(known.step);
            return true;
        }
    }
    return false;
}

void MainWindowInput::ClickBarButton(int id) {
    if (auto* button = qobject_cast<QAbstractButton*>(windows_.bottomPanel->Bar()->Control(id))) {
        button->click();
    }
}

void MainWindowInput::ChangeOffset(int deltaMs) {
    const int offset = session_.ChangeOffset(deltaMs);
    const QString sign = offset > 0 ? QStringLiteral("+") : QString();
    windows_.overlay->ShowText(tr("オフセット %1 ms").arg(sign + QString::number(offset)),
                               VideoAreaOnScreen());
}

QRect MainWindowInput::VideoAreaOnScreen() const {
    const QWidget* host = windows_.videoHost;
    const QRect area(host->mapToGlobal(QPoint(0, 0)), host->size());
    return windows_.fullScreen() ? area : area.adjusted(0, kTopPanelHeight, 0, 0);
}

// A double click on the video is the full-screen button; the wheel over it, the volume
// slider, one step a notch.
bool MainWindowInput::HandleVideoMouse(QEvent* e) {
    if (e->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        ClickBarButton(CBottomMainDlg::IDC_MAXIMIZE);
        return true;
    }
    if (e->type() == QEvent::Wheel) {
        wheelRemainder_ += static_cast<QWheelEvent*>(e)->angleDelta().y();
        for (; wheelRemainder_ >= kWheelNotch; wheelRemainder_ -= kWheelNotch) {
            windows_.bottomPanel->Bar()->MoveVolumeBy(kKeyVolumeStep);
        }
        for (; wheelRemainder_ <= -kWheelNotch; wheelRemainder_ += kWheelNotch) {
            windows_.bottomPanel->Bar()->MoveVolumeBy(-kKeyVolumeStep);
        }
        return true;
    }
    return false;
}

// Every drag of local files is taken, so that a drop the player cannot open is told, not
// silently turned away. The drop is opened from the event loop: the drag's source waits for
// the drop to finish.
bool MainWindowInput::HandleDrag(QEvent* e) {
    auto* drag = static_cast<QDropEvent*>(e);
    const QMimeData* data = drag->mimeData();
    const QList<QUrl> urls = data != nullptr ? data->urls() : QList<QUrl>();
    if (std::none_of(urls.cbegin(), urls.cend(),
                     [](const QUrl& url) { return url.isLocalFile(); })) {
        return false;
    }
    drag->acceptProposedAction();
    if (e->type() == QEvent::Drop) {
        std::vector<std::string> files;
        for (const QUrl& url : urls) {
            if (url.isLocalFile()) {
                files.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
            }
        }
        QMetaObject::invokeMethod(
            this, [this, files] { session_.OpenDropped(files); }, Qt::QueuedConnection);
    }
    return true;
}
