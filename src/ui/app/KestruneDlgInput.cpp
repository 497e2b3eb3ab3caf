// The main window's keys, the mouse over the video and files dropped onto the window. Each
// key that stands for a control of the bar goes through that control (its posted message and
// its operation-log line), so a key and a click leave the same trace.

#include <QAbstractButton>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>

#include "app/KestruneDlg.h"
#include "log/OutputLog.h"
#include "panels/BottomDlg.h"
#include "panels/BottomMainDlg.h"
#include "panels/OverlayText.h"
#include "panels/PanelGeometry.h"
#include "panels/TopDlg.h"
#include "widgets/AppMessage.h"
#include "widgets/BitmapSlider.h"

namespace {

constexpr int kWheelNotch = 120;  // one step of a mouse wheel, in eighths of a degree

std::string Signed(int value) { return (value > 0 ? "+" : "") + std::to_string(value); }

}  // namespace

bool CKestruneDlg::IsOwnWindow(const QWidget* top) const {
    return top != nullptr &&
           (top == this || top == topPanel_.get() || top == bottomPanel_.get() ||
            top->parentWidget() == bottomPanel_.get() || top->parentWidget() == topPanel_.get());
}

// Keys with Control, Alt or Meta are left alone: they belong to the menus and the desktop.
bool CKestruneDlg::HandleKey(const QKeyEvent& key) {
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        return false;
    }
    const bool fine = (key.modifiers() & Qt::ShiftModifier) != 0;
    switch (key.key()) {
        case Qt::Key_Space:
            ClickBarButton(session_->Player().GetState() == PlayerState::kPlaying
                               ? CBottomMainDlg::IDC_PAUSE
                               : CBottomMainDlg::IDC_PLAY);
            return true;
        case Qt::Key_Left:
        case Qt::Key_Right:
            OUTPUT_LOG(*operationLog_, "メディアスライダー移動");
            PostAppMessage(this, WM_APP_SEEK_BY, 0,
                           key.key() == Qt::Key_Right ? kKeySeekMs : -kKeySeekMs);
            return true;
        case Qt::Key_Up:
            StepVolume(kKeyVolumeStep);
            return true;
        case Qt::Key_Down:
            StepVolume(-kKeyVolumeStep);
            return true;
        case Qt::Key_M:
            ClickBarButton(CBottomMainDlg::IDC_VOLUME);
            return true;
        case Qt::Key_F:
            ClickBarButton(CBottomMainDlg::IDC_MAXIMIZE);
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

void CKestruneDlg::ClickBarButton(int id) {
    if (auto* button = qobject_cast<QAbstractButton*>(bottomPanel_->Bar()->Control(id))) {
        button->click();
    }
}

// Moves the volume slider as a drag would, and tells the bar so, as the slider itself does.
void CKestruneDlg::StepVolume(int delta) {
    auto* slider = qobject_cast<CBitmapSlider*>(
        bottomPanel_->Bar()->Control(CBottomMainDlg::IDC_VOLUME_SLIDER));
    if (slider == nullptr) return;
    const int position = std::clamp(slider->GetPosition() + delta, 0, 100);
    if (position == slider->GetPosition()) return;
    slider->SetPosition(position);
    PostAppMessage(bottomPanel_->Bar(), UWM_SLIDER_MOVING, CBottomMainDlg::IDC_VOLUME_SLIDER);
}

void CKestruneDlg::ChangeOffset(int deltaMs) {
    const int offset = session_->ChangeOffset(deltaMs);
    const QString text = tr("オフセット %1 ms").arg(QString::fromStdString(Signed(offset)));
    overlay_->ShowText(text, VideoAreaOnScreen());
}

QRect CKestruneDlg::VideoAreaOnScreen() const {
    const QRect area(videoHost_->mapToGlobal(QPoint(0, 0)), videoHost_->size());
    // Below the title band where it shows.
    return maximised_ ? area : area.adjusted(0, kTopPanelHeight, 0, 0);
}

// A double click on the video is the full-screen button; the wheel over it, the volume
// slider, one step a notch.
bool CKestruneDlg::HandleVideoMouse(QEvent* e) {
    if (e->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        ClickBarButton(CBottomMainDlg::IDC_MAXIMIZE);
        return true;
    }
    if (e->type() == QEvent::Wheel) {
        wheelRemainder_ += static_cast<QWheelEvent*>(e)->angleDelta().y();
        for (; wheelRemainder_ >= kWheelNotch; wheelRemainder_ -= kWheelNotch) {
            StepVolume(kKeyVolumeStep);
        }
        for (; wheelRemainder_ <= -kWheelNotch; wheelRemainder_ += kWheelNotch) {
            StepVolume(-kKeyVolumeStep);
        }
        return true;
    }
    return false;
}

// Every drag of local files is taken, so that a drop the player cannot open is told, not
// silently turned away.
bool CKestruneDlg::HandleDrag(QEvent* e) {
    auto* drag = static_cast<QDropEvent*>(e);
    const QMimeData* data = drag->mimeData();
    const QList<QUrl> urls = data != nullptr ? data->urls() : QList<QUrl>();
    if (std::none_of(urls.cbegin(), urls.cend(),
                     [](const QUrl& url) { return url.isLocalFile(); })) {
        return false;
    }
    drag->acceptProposedAction();
    if (e->type() == QEvent::Drop) {
        droppedFiles_.clear();
        for (const QUrl& url : urls) {
            if (url.isLocalFile()) {
                droppedFiles_.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
            }
        }
        // Opened from the message loop: the drag's source waits for the drop to finish.
        PostAppMessage(this, WM_APP_OPEN_DROPPED);
    }
    return true;
}
