#include "app/KestruneDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QTimerEvent>
#include <chrono>

#include "app/DeviceWatch.h"
#include "app/KestruneApplication.h"
#include "configuration/DongleSettings.h"
#include "configuration/IniLocation.h"
#include "configuration/Profile.h"
#include "configuration/SyncSettings.h"
#include "device/UsbDongle.h"
#include "dialogs/DebugDlg.h"
#include "panels/BottomDlg.h"
#include "panels/OverlayText.h"
#include "panels/PanelGeometry.h"
#include "panels/TopDlg.h"
#include "platform/DeviceAccess.h"
#include "platform/DeviceFolder.h"
#include "platform/LocalClock.h"
#include "sync/SyncDriver.h"
#include "widgets/AppMessage.h"
#include "widgets/DialogUnits.h"
#include "widgets/Resources.h"

namespace {

// The window's timer that runs one of the session's.
int TimerIdOf(SessionTimer timer) {
    switch (timer) {
        case SessionTimer::kForward:
            return TIMER_FORWARD;
        case SessionTimer::kRewind:
            return TIMER_REWIND;
        case SessionTimer::kRepeat:
            return TIMER_REPEAT;
    }
    return 0;
}

// Size types of Layout, as the window reports its state.
CKestruneDlg::SizeType SizeTypeOf(Qt::WindowStates state) {
    using SizeType = CKestruneDlg::SizeType;
    if (state & (Qt::WindowFullScreen | Qt::WindowMaximized)) return SizeType::kMaximized;
    if (state & Qt::WindowMinimized) return SizeType::kMinimized;
    return SizeType::kRestored;
}

}  // namespace

std::string DeviceAccessDeniedText(const std::string& device, const std::string& group,
                                   const std::string& user) {
    // Whole sentences with the parts put in, translated here: the message box shows the text
    // as it comes.
    const QString owner =
        group.empty() ? QCoreApplication::translate("MessageBoxes", "デバイスを所有するグループ")
                      : QCoreApplication::translate("MessageBoxes", "グループ「%1」")
                            .arg(QString::fromStdString(group));
    std::string text =
        QCoreApplication::translate("MessageBoxes",
                                    "USBドングル（%1）を開く権限がありません。\n"
                                    "%2にユーザーを追加してから、ログインし直して下さい。")
            .arg(QString::fromStdString(device), owner)
            .toStdString();
    if (!group.empty() && !user.empty()) {
        text += "\n\nsudo usermod -aG " + group + " " + user;
    }
    return text;
}

QRect VideoHostRect(int clientWidth, int clientHeight, int menuHeight) {
    return {0, menuHeight, clientWidth, clientHeight - kBarHeight};
}

CKestruneDlg::CKestruneDlg(platform::MessageBoxes& messageBoxes, QWidget* parent,
                           std::unique_ptr<AdjustedPlayer> givenPlayer)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      boxes_(messageBoxes),
      operationLog_(std::make_unique<OutputLog>(messageBoxes, platform::SystemClock())) {
    EnsureResources();
    setWindowIcon(QIcon(QStringLiteral(":/res/kestrune.png")));
    session_ =
        std::make_unique<PlaybackSession>(boxes_, *operationLog_, *this, std::move(givenPlayer));
    OnInitDialog();
}

CKestruneDlg::~CKestruneDlg() {
    if (KestruneApplication* app = KestruneApplication::Instance()) app->SetFailureHandler({});
    qApp->removeEventFilter(this);
}

void CKestruneDlg::OnInitDialog() {
    setWindowTitle(QStringLiteral("QUAMBERPlayer"));
    setObjectName(QStringLiteral("mainWindow"));
    setFont(DialogFont(9));
    setSizeGripEnabled(false);
    const DialogBaseUnits units = BaseUnitsOf(font());
    resize(DialogUnitsToPixels(units, QSize(319, 295)));

    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName(QStringLiteral("menuBar"));
    menuBar_->setNativeMenuBar(false);

    videoHost_ = new QWidget(this);
    videoHost_->setObjectName(QStringLiteral("videoHost"));
    videoHost_->setAttribute(Qt::WA_NativeWindow);
    videoHost_->setAttribute(Qt::WA_DontCreateNativeAncestors);
    videoHost_->setGeometry(DialogUnitsToPixels(units, QRect(0, 0, 320, 215)));
    videoHost_->setAutoFillBackground(true);
    QPalette videoPalette = videoHost_->palette();
    videoPalette.setColor(QPalette::Window, Qt::black);
    videoHost_->setPalette(videoPalette);

    AttachVideoHost();

    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(200, 200, 200));
    setPalette(palette);

    // The panels are shown once the main window is (RaisePanels).
    topPanel_ = std::make_unique<CTopDlg>(this);
    topPanel_->SetTitle(QString());
    bottomPanel_ = std::make_unique<CBottomDlg>(this, *operationLog_);
    overlay_ = std::make_unique<OverlayText>(this);
    setAcceptDrops(true);

    initialised_ = true;
    minTrackWidth_ = width();
    minTrackHeight_ = height();
    setMinimumSize(minTrackWidth_, minTrackHeight_);
    Layout(SizeType::kRestored, ClientSize().width(), ClientSize().height());

    auto debug = std::make_unique<CDebugDlg>(this);
    debug->logLevel = profile::GetInt("DEBUG", "LOG_LEVEL", 0);
    if (debug->logLevel != 0) debug->CreateWindow();
    // Which settings file was read comes before what was read from it.
    if (const auto& settings = configuration::CurrentIniChoice()) {
        debug->LogNote(settings->Describe());
    }
    logger_ = std::move(debug);

    session_->StartDevice(logger_.get(), ReadDongleSettings(), ReadSyncOffsetMs());
    bottomPanel_->SetDeviceName(QString::fromStdString(session_->DeviceName()));
    deviceWatch_ =
        std::make_unique<DeviceWatch>(QString::fromStdString(platform::SerialDeviceDirectory()),
                                      [this] { OnDeviceChange(DBT_DEVNODES_CHANGED); });

    BuildMenu();

    // Keys, the mouse over the video and drags are looked at before any window of the
    // player gets them.
    qApp->installEventFilter(this);

    // An exception that escapes a handler: the device stops first, then playback, and the
    // user is told; the player goes on.
    if (KestruneApplication* app = KestruneApplication::Instance()) {
        app->SetFailureHandler([this](const char*) { session_->StopAfterFailure(); });
    }
}

// The native window can be re-created (its id changes); libvlc must always have the current one.
void CKestruneDlg::AttachVideoHost() {
    const WId window = videoHost_->winId();
    if (window == videoWindow_) return;
    videoWindow_ = window;
    session_->ShowVideoIn(static_cast<uint32_t>(window));
}

bool CKestruneDlg::event(QEvent* e) {
    if (e->type() == AppMessageEvent::EventType()) {
        const auto* message = static_cast<AppMessageEvent*>(e);
        OnAppMessage(message->message, message->wParam, message->lParam);
        return true;
    }
    return QDialog::event(e);
}

void CKestruneDlg::OnAppMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case WM_APP_SHOWN:
            break;
        case WM_APP_RAISE_PANELS:
            RaisePanels();
            break;
        case WM_APP_PLAY:
            session_->Play();
            break;
        case WM_APP_PAUSE:
            session_->Pause();
            break;
        case WM_APP_REWIND_START:
            session_->HoldStart(false);
            break;
        case WM_APP_FORWARD_START:
            session_->HoldStart(true);
            break;
        case WM_APP_REWIND_STOP:
            session_->HoldEnd(false);
            break;
        case WM_APP_FORWARD_STOP:
            session_->HoldEnd(true);
            break;
        case WM_APP_OPEN_VIDEO:
            OnOpenVideo();
            break;
        case WM_APP_OPEN_DVD:
            OnOpenDvd();
            break;
        case WM_APP_OPEN_PLAYFILE:
            OnOpenPlayFile();
            break;
        case WM_APP_TOGGLE_MUTE:
            session_->ToggleMute();
            break;
        case WM_APP_TOGGLE_REPEAT:
            session_->ToggleRepeat();
            break;
        case WM_APP_VOLUME_CHANGED:
            session_->VolumeChanged();
            break;
        case WM_APP_POSITION_CHANGED:
            session_->SeekToPosition(static_cast<int>(lParam));
            break;
        case WM_APP_TOGGLE_FULLSCREEN:
            OnToggleFullScreen();
            break;
        case WM_APP_SEEK_BY:
            session_->SeekBy(static_cast<int64_t>(lParam));
            break;
        case WM_APP_OPEN_DROPPED:
            session_->OpenDropped(std::exchange(droppedFiles_, {}));
            break;
        case WM_SYSCOMMAND:
            OnSysCommand(static_cast<unsigned>(wParam));
            break;
        default:
            break;
    }
}

void CKestruneDlg::OnToggleFullScreen() {
    PostAppMessage(this, WM_SYSCOMMAND, maximised_ ? SC_RESTORE : SC_MAXIMIZE);
}

// Full screen is a frameless window covering the screen; the window manager drops the frame
// of a full-screen window. Without a window manager nothing confirms the state, so the mode
// is kept here and the geometry set directly.
//
// Back from full screen, the window takes the geometry it had before. When the window
// manager maximised it (the frame's maximise box), the window may have its maximised geometry
// by now, so the one kept by RememberNormalGeometry is used.
void CKestruneDlg::OnSysCommand(unsigned command) {
    if (command == SC_MAXIMIZE && !fullScreenMode_) {
        if (!(windowState() & Qt::WindowMaximized)) normalGeometry_ = geometry();
        fullScreenMode_ = true;
        fullScreenCorrections_ = 0;
        bottomPanel_->ToggleLayout();
        showFullScreen();
        if (QScreen* display = screen()) setGeometry(display->geometry());
    } else if (command == SC_RESTORE && fullScreenMode_) {
        fullScreenMode_ = false;
        bottomPanel_->ToggleLayout();
        showNormal();
        if (normalGeometry_.isValid()) setGeometry(normalGeometry_);
    }
}

void CKestruneDlg::changeEvent(QEvent* e) {
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) {
        PostAppMessage(this, WM_APP_RAISE_PANELS);
    }
    // Minimised, the panels are left to the window manager, which minimises a window's
    // utility windows with it and brings them back with it. Hiding them here as well raced
    // with that: a panel withdrawn while the window manager was minimising it was mapped again
    // on restore and then dropped, and the bar stayed away.
    if (e->type() != QEvent::WindowStateChange || (windowState() & Qt::WindowMinimized)) return;
    PostAppMessage(this, WM_APP_RAISE_PANELS);
    // The frame's maximise box leads to full screen as the bar's button does.
    if ((windowState() & Qt::WindowMaximized) && !fullScreenMode_) {
        PostAppMessage(this, WM_SYSCOMMAND, SC_MAXIMIZE);
    }
}

QSize CKestruneDlg::ClientSize() const {
    const int menuHeight = menuBar_ != nullptr ? menuBar_->sizeHint().height() : 0;
    return {width(), height() - menuHeight};
}

void CKestruneDlg::Layout(SizeType sizeType, int w, int h) {
    if (!initialised_) return;
    if (w == 0 && h == 0) {
        w = ClientSize().width();
        h = ClientSize().height();
    }
    if (sizeType == SizeType::kMaximized) {
        maximised_ = true;
        topPanel_->HidePanels();
    } else {
        maximised_ = false;
        if (isVisible() && !isMinimized()) topPanel_->ShowPanels();
    }
    const int menuHeight = menuBar_->sizeHint().height();
    menuBar_->setGeometry(0, 0, w, menuHeight);
    videoHost_->setGeometry(VideoHostRect(w, h, menuHeight));
    videoHost_->lower();
    videoHost_->show();
}

// The panels are the main window's utility windows, and a window manager keeps them above it
// only if they are mapped after it: a window owned by a window the manager does not manage
// yet is stacked as a window of its own. Shown (and raised) here, once the main window is
// mapped, and again whenever the main window may have come above them: activated, restored,
// or clicked, for window managers that do not keep owned windows above their owner.
void CKestruneDlg::RaisePanels() {
    if (!isVisible() || isMinimized()) return;
    bottomPanel_->ShowPanels();
    if (!maximised_) topPanel_->ShowPanels();
}

void CKestruneDlg::RepositionPanels() {
    if (topPanel_) topPanel_->Reposition();
    if (bottomPanel_) bottomPanel_->Reposition();
    if (overlay_ && overlay_->isVisible()) overlay_->FollowArea(VideoAreaOnScreen());
}

void CKestruneDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    KeepFullScreenGeometry();
    RememberNormalGeometry();
    Layout(fullScreenMode_ ? SizeType::kMaximized : SizeTypeOf(windowState()), ClientSize().width(),
           ClientSize().height());
    update();
    RepositionPanels();
}

void CKestruneDlg::moveEvent(QMoveEvent* e) {
    QDialog::moveEvent(e);
    KeepFullScreenGeometry();
    RememberNormalGeometry();
    RepositionPanels();
}

// In full screen the window has one right geometry, the screen's. The window manager
// confirms the steps on its way there (the frame taken off, the window moved, then resized),
// and a confirmation that arrives after the last one leaves Qt taking the window for its
// earlier size, and the panels placed for that size. The screen's geometry is asked for again
// from the event loop, a few times at most, so a window manager that insists keeps its way.
void CKestruneDlg::KeepFullScreenGeometry() {
    const QScreen* display = screen();
    if (!fullScreenMode_ || display == nullptr || geometry() == display->geometry()) return;
    if (fullScreenCorrections_ >= kMaxFullScreenCorrections) return;
    ++fullScreenCorrections_;
    QTimer::singleShot(0, this, [this] {
        const QScreen* now = screen();
        if (fullScreenMode_ && now != nullptr && geometry() != now->geometry()) {
            setGeometry(now->geometry());
        }
    });
}

// A window manager that maximises the window resizes it before it announces the state, and
// the two reach the window in either order: a geometry that covers the screen's work area is
// taken for the maximised one, not kept as the normal geometry.
void CKestruneDlg::RememberNormalGeometry() {
    if (fullScreenMode_ || (windowState() & ~Qt::WindowActive) != Qt::WindowNoState) return;
    const QScreen* display = screen();
    if (display != nullptr && frameGeometry().contains(display->availableGeometry())) return;
    normalGeometry_ = geometry();
}

void CKestruneDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    AttachVideoHost();
    RepositionPanels();
    // The window is mapped after this event; the panels follow it (see RaisePanels).
    PostAppMessage(this, WM_APP_RAISE_PANELS);
    if (firstShow_) {
        firstShow_ = false;
        PostAppMessage(this, WM_APP_SHOWN);
    }
}

void CKestruneDlg::closeEvent(QCloseEvent* e) {
    session_->Close();
    QDialog::closeEvent(e);
}

// Escape never cancels the window; in full screen it clicks the full-screen button.
void CKestruneDlg::HandleEscape() {
    if (maximised_) {
        QMetaObject::invokeMethod(bottomPanel_->GetMaximizeButton(), "click", Qt::QueuedConnection);
    }
}

bool CKestruneDlg::eventFilter(QObject* watched, QEvent* e) {
    if (!watched->isWidgetType()) return QDialog::eventFilter(watched, e);
    auto* widget = static_cast<QWidget*>(watched);
    // Only the main window and its panels: other dialogs keep their own keys and drops.
    const bool own = IsOwnWindow(widget->window());
    switch (e->type()) {
        case QEvent::MouseButtonPress:
            if (widget->window() == this) PostAppMessage(this, WM_APP_RAISE_PANELS);
            break;
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
            if (widget == videoHost_ && HandleVideoMouse(e)) return true;
            break;
        case QEvent::KeyPress:
            if (!own) break;
            if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
                HandleEscape();
                return true;
            }
            if (HandleKey(*static_cast<QKeyEvent*>(e))) return true;
            break;
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            if (own && HandleDrag(e)) return true;
            break;
        default:
            break;
    }
    return QDialog::eventFilter(watched, e);
}

void CKestruneDlg::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Escape:
            HandleEscape();
            e->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            e->accept();  // Enter never closes the window
            return;
        default:
            QDialog::keyPressEvent(e);
    }
}

void CKestruneDlg::SetTimer(int id, int milliseconds) {
    if (id <= 0 || id >= static_cast<int>(timers_.size())) return;
    timers_[static_cast<size_t>(id)].start(milliseconds, Qt::CoarseTimer, this);
}

void CKestruneDlg::KillTimer(int id) {
    if (id <= 0 || id >= static_cast<int>(timers_.size())) return;
    timers_[static_cast<size_t>(id)].stop();
}

bool CKestruneDlg::IsTimerActive(int id) const {
    if (id <= 0 || id >= static_cast<int>(timers_.size())) return false;
    return timers_[static_cast<size_t>(id)].isActive();
}

void CKestruneDlg::timerEvent(QTimerEvent* e) {
    for (const SessionTimer timer :
         {SessionTimer::kForward, SessionTimer::kRewind, SessionTimer::kRepeat}) {
        if (timers_[static_cast<size_t>(TimerIdOf(timer))].timerId() == e->timerId()) {
            session_->OnTimer(timer);
        }
    }
    QDialog::timerEvent(e);
}

// A serial device belongs to a group (dialout) that a new user is seldom in: the device would
// never move, and the open failure alone goes only to the debug window.
void CKestruneDlg::ShowDeviceAccessDenied(const std::string& device, const std::string& group) {
    boxes_.Show(DeviceAccessDeniedText(device, group, platform::UserName()),
                QT_TRANSLATE_NOOP("MessageBoxes", "USBドングルエラー"));
}

void CKestruneDlg::OnDeviceChange(unsigned event) {
    if (event != DBT_DEVNODES_CHANGED) return;
    session_->DevicesChanged();
    bottomPanel_->SetDeviceName(QString::fromStdString(session_->DeviceName()));
}

void CKestruneDlg::ShowTitle(const std::string& title, bool opening) {
    const QString text = QString::fromStdString(title);
    topPanel_->SetTitle(opening ? tr("%1(メディアを開いています...)").arg(text) : text);
}

void CKestruneDlg::ShowElapsed(const std::string& text) {
    bottomPanel_->SetElapsedTime(QString::fromStdString(text));
}

void CKestruneDlg::ShowTotal(const std::string& text) {
    bottomPanel_->SetTotalTime(QString::fromStdString(text));
}

void CKestruneDlg::ShowPosition(int position) { bottomPanel_->SetMediaPosition(position); }

void CKestruneDlg::ShowCounter(int64_t timeMs) { bottomPanel_->SetCounter(timeMs); }

void CKestruneDlg::ShowScriptHeat(const std::vector<CSV_LINE>& lines, int64_t lengthMs) {
    bottomPanel_->SetScriptHeat(lines, lengthMs);
}

void CKestruneDlg::ClearScriptHeat() { bottomPanel_->ClearScriptHeat(); }

void CKestruneDlg::ShowMute(bool on) { bottomPanel_->SetMuteState(on); }

void CKestruneDlg::ShowRepeat(bool on) { bottomPanel_->SetRepeatState(on); }

int CKestruneDlg::Volume() const { return bottomPanel_->GetVolume(); }

void CKestruneDlg::StartTimer(SessionTimer timer, int ms) { SetTimer(TimerIdOf(timer), ms); }

void CKestruneDlg::StopTimer(SessionTimer timer) { KillTimer(TimerIdOf(timer)); }

bool CKestruneDlg::IsTimerActive(SessionTimer timer) const {
    return IsTimerActive(TimerIdOf(timer));
}

void CKestruneDlg::Post(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}
