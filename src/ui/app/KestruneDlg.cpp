#include "app/KestruneDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScreen>
#include <QTimerEvent>

#include "app/DeviceWatch.h"
#include "configuration/DongleSettings.h"
#include "configuration/Profile.h"
#include "device/UsbDongle.h"
#include "dialogs/DebugDlg.h"
#include "panels/BottomDlg.h"
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

// Size types of Layout, as the window reports its state.
constexpr int kSizeRestored = 0;
constexpr int kSizeMinimized = 1;
constexpr int kSizeMaximized = 2;

int SizeTypeOf(Qt::WindowStates state) {
    if (state & (Qt::WindowFullScreen | Qt::WindowMaximized)) return kSizeMaximized;
    if (state & Qt::WindowMinimized) return kSizeMinimized;
    return kSizeRestored;
}

}  // namespace

std::string DeviceAccessDeniedText(const std::string& device, const std::string& group,
                                   const std::string& user) {
    const std::string owner =
        group.empty() ? "デバイスを所有するグループ" : "グループ「" + group + "」";
    std::string text = "USBドングル（" + device + "）を開く権限がありません。\n" + owner +
                       "にユーザーを追加してから、ログインし直して下さい。";
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
      player(givenPlayer ? std::move(givenPlayer) : std::make_unique<AdjustedPlayer>()),
      boxes(messageBoxes),
      operationLog(std::make_unique<OutputLog>(messageBoxes, platform::SystemClock())) {
    EnsureResources();
    setWindowIcon(QIcon(QStringLiteral(":/res/kestrune.png")));
    if (!player->IsAvailable()) {
        boxes.Show("再生エンジンを起動できません。VLCのインストールを確認して下さい。",
                   "起動エラー");
    }
    OnInitDialog();
}

CKestruneDlg::~CKestruneDlg() {
    // libvlc may still raise events while it stops; none may reach the log or this window
    // once they are gone.
    player->DetachEvents();
    qApp->removeEventFilter(this);
}

void CKestruneDlg::OnInitDialog() {
    setWindowTitle(QStringLiteral("QUAMBERPlayer"));
    setObjectName(QStringLiteral("mainWindow"));
    setFont(DialogFont(9));
    setSizeGripEnabled(false);
    const DialogBaseUnits units = BaseUnitsOf(font());
    resize(DialogUnitsToPixels(units, QSize(319, 295)));

    menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    menuBar->setNativeMenuBar(false);

    videoHost = new QWidget(this);
    videoHost->setObjectName(QStringLiteral("videoHost"));
    videoHost->setAttribute(Qt::WA_NativeWindow);
    videoHost->setAttribute(Qt::WA_DontCreateNativeAncestors);
    videoHost->setGeometry(DialogUnitsToPixels(units, QRect(0, 0, 320, 215)));
    videoHost->setAutoFillBackground(true);
    QPalette videoPalette = videoHost->palette();
    videoPalette.setColor(QPalette::Window, Qt::black);
    videoHost->setPalette(videoPalette);

    AttachVideoHost();
    player->AttachEvents(&CKestruneDlg::PlayerEventCallback, this);

    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(200, 200, 200));
    setPalette(palette);

    // The panels are shown once the main window is (RaisePanels).
    topPanel = std::make_unique<CTopDlg>(this);
    topPanel->SetTitle(QString());
    bottomPanel = std::make_unique<CBottomDlg>(this, *operationLog);

    initialised = true;
    minTrackWidth = width();
    minTrackHeight = height();
    setMinimumSize(minTrackWidth, minTrackHeight);
    Layout(kSizeRestored, ClientSize().width(), ClientSize().height());

    auto debug = std::make_unique<CDebugDlg>(this);
    debug->logLevel = profile::GetInt("DEBUG", "LOG_LEVEL", 0);
    if (debug->logLevel != 0) debug->CreateWindow();
    logger = std::move(debug);

    dongle = std::make_unique<UsbDongle>();
    // Told from inside the link's port handling: the box waits for the message loop.
    dongle->SetAccessDeniedHandler([this](const std::string& device, const std::string& group) {
        deniedDevice = device;
        deniedGroup = group;
        PostAppMessage(this, WM_APP_DEVICE_ACCESS_DENIED);
    });
    dongle->Init(logger.get(), ReadDongleSettings());
    sync = std::make_unique<SyncDriver>(
        *player, *dongle, logger.get(),
        [this](const std::string& line) { OUTPUT_LOG(*operationLog, line); });
    bottomPanel->SetDeviceName(QString::fromStdString(dongle->GetDeviceName()));
    deviceWatch =
        std::make_unique<DeviceWatch>(QString::fromStdString(platform::SerialDeviceDirectory()),
                                      [this] { OnDeviceChange(DBT_DEVNODES_CHANGED); });

    BuildMenu();

    // Escape is looked at before any window of the player gets it.
    qApp->installEventFilter(this);
}

// The native window can be re-created (its id changes); libvlc must always have the current one.
void CKestruneDlg::AttachVideoHost() {
    const WId window = videoHost->winId();
    if (window == videoWindow) return;
    videoWindow = window;
    player->SetHwnd(static_cast<uint32_t>(window));
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
        case WM_APP_DEVICE_ACCESS_DENIED:
            OnDeviceAccessDenied();
            break;
        case WM_APP_PLAY:
            OnPlay();
            break;
        case WM_APP_PAUSE:
            OnPause();
            break;
        case WM_APP_MEDIA_ENDED:
            OnMediaEnded();
            break;
        case WM_APP_REWIND_START:
            OnHoldStart(TIMER_REWIND);
            break;
        case WM_APP_FORWARD_START:
            OnHoldStart(TIMER_FORWARD);
            break;
        case WM_APP_REWIND_STOP:
            OnHoldEnd(TIMER_REWIND);
            break;
        case WM_APP_FORWARD_STOP:
            OnHoldEnd(TIMER_FORWARD);
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
            OnToggleMute();
            break;
        case WM_APP_TOGGLE_REPEAT:
            OnToggleRepeat();
            break;
        case WM_APP_VOLUME_CHANGED:
            OnVolumeChanged();
            break;
        case WM_APP_POSITION_CHANGED:
            OnPositionChanged(static_cast<int>(lParam));
            break;
        case WM_APP_SEEK:
            OnSeek();
            break;
        case WM_APP_PLAYER_EVENT:
            HandlePlayerEvent(static_cast<int>(lParam));
            break;
        case WM_APP_APPLY_VOLUME:
            OnApplyVolume();
            break;
        case WM_APP_TOGGLE_FULLSCREEN:
            OnToggleFullScreen();
            break;
        case WM_SYSCOMMAND:
            OnSysCommand(static_cast<unsigned>(wParam));
            break;
        default:
            break;
    }
}

void CKestruneDlg::OnToggleFullScreen() {
    PostAppMessage(this, WM_SYSCOMMAND, maximised ? SC_RESTORE : SC_MAXIMIZE);
}

// Full screen is a frameless window covering the screen; the window manager drops the frame
// of a full-screen window. Without a window manager nothing confirms the state, so the mode
// is kept here and the geometry set directly.
//
// Back from full screen, the window takes the geometry it had before. When the window
// manager maximised it (the frame's maximise box), the window may have its maximised geometry
// by now, so the one kept by RememberNormalGeometry is used.
void CKestruneDlg::OnSysCommand(unsigned command) {
    if (command == SC_MAXIMIZE && !fullScreenMode) {
        if (!(windowState() & Qt::WindowMaximized)) normalGeometry = geometry();
        fullScreenMode = true;
        bottomPanel->ToggleLayout();
        showFullScreen();
        if (QScreen* display = screen()) setGeometry(display->geometry());
    } else if (command == SC_RESTORE && fullScreenMode) {
        fullScreenMode = false;
        bottomPanel->ToggleLayout();
        showNormal();
        if (normalGeometry.isValid()) setGeometry(normalGeometry);
    }
}

void CKestruneDlg::changeEvent(QEvent* e) {
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) {
        PostAppMessage(this, WM_APP_RAISE_PANELS);
    }
    if (e->type() != QEvent::WindowStateChange) return;
    // Minimised, the panels go too: not every window manager hides a window's utility
    // windows with it.
    if (windowState() & Qt::WindowMinimized) {
        topPanel->HidePanels();
        bottomPanel->HidePanels();
        return;
    }
    PostAppMessage(this, WM_APP_RAISE_PANELS);
    // The frame's maximise box leads to full screen as the bar's button does.
    if ((windowState() & Qt::WindowMaximized) && !fullScreenMode) {
        PostAppMessage(this, WM_SYSCOMMAND, SC_MAXIMIZE);
    }
}

QSize CKestruneDlg::ClientSize() const {
    const int menuHeight = menuBar != nullptr ? menuBar->sizeHint().height() : 0;
    return {width(), height() - menuHeight};
}

void CKestruneDlg::Layout(int sizeType, int w, int h) {
    if (!initialised) return;
    if (w == 0 && h == 0) {
        w = ClientSize().width();
        h = ClientSize().height();
    }
    if (sizeType == kSizeMaximized) {
        maximised = true;
        topPanel->HidePanels();
    } else {
        maximised = false;
        if (isVisible() && !isMinimized()) topPanel->ShowPanels();
    }
    const int menuHeight = menuBar->sizeHint().height();
    menuBar->setGeometry(0, 0, w, menuHeight);
    videoHost->setGeometry(VideoHostRect(w, h, menuHeight));
    videoHost->lower();
    videoHost->show();
}

// The panels are the main window's utility windows, and a window manager keeps them above it
// only if they are mapped after it: a window owned by a window the manager does not manage
// yet is stacked as a window of its own. Shown (and raised) here, once the main window is
// mapped, and again whenever the main window may have come above them: activated, restored,
// or clicked, for window managers that do not keep owned windows above their owner.
void CKestruneDlg::RaisePanels() {
    if (!isVisible() || isMinimized()) return;
    bottomPanel->ShowPanels();
    if (!maximised) topPanel->ShowPanels();
}

void CKestruneDlg::RepositionPanels() {
    if (topPanel) topPanel->Reposition();
    if (bottomPanel) bottomPanel->Reposition();
}

void CKestruneDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    RememberNormalGeometry();
    Layout(fullScreenMode ? kSizeMaximized : SizeTypeOf(windowState()), ClientSize().width(),
           ClientSize().height());
    update();
    RepositionPanels();
}

void CKestruneDlg::moveEvent(QMoveEvent* e) {
    QDialog::moveEvent(e);
    RememberNormalGeometry();
    RepositionPanels();
}

// A window manager that maximises the window resizes it before it announces the state, and
// the two reach the window in either order: a geometry that covers the screen's work area is
// taken for the maximised one, not kept as the normal geometry.
void CKestruneDlg::RememberNormalGeometry() {
    if (fullScreenMode || (windowState() & ~Qt::WindowActive) != Qt::WindowNoState) return;
    const QScreen* display = screen();
    if (display != nullptr && frameGeometry().contains(display->availableGeometry())) return;
    normalGeometry = geometry();
}

void CKestruneDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    AttachVideoHost();
    RepositionPanels();
    // The window is mapped after this event; the panels follow it (see RaisePanels).
    PostAppMessage(this, WM_APP_RAISE_PANELS);
    if (firstShow) {
        firstShow = false;
        PostAppMessage(this, WM_APP_SHOWN);
    }
}

void CKestruneDlg::closeEvent(QCloseEvent* e) {
    sync->OnClose();
    // Playback ends before the window is hidden and taken down: a video output still starting
    // up as its window goes away crashes inside the X11 OpenGL driver.
    player->Stop();
    QDialog::closeEvent(e);
}

// Escape never cancels the window; in full screen it clicks the full-screen button.
void CKestruneDlg::HandleEscape() {
    if (maximised) {
        QMetaObject::invokeMethod(bottomPanel->GetMaximizeButton(), "click", Qt::QueuedConnection);
    }
}

bool CKestruneDlg::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::MouseButtonPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        PostAppMessage(this, WM_APP_RAISE_PANELS);
    }
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape &&
        watched->isWidgetType()) {
        // Only the main window and its panels: other dialogs keep their own Escape.
        const QWidget* top = static_cast<QWidget*>(watched)->window();
        if (top == this || top == topPanel.get() || top == bottomPanel.get() ||
            (top != nullptr && top->parentWidget() == bottomPanel.get())) {
            HandleEscape();
            return true;
        }
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
    if (id <= 0 || id >= static_cast<int>(timers.size())) return;
    const auto type = id == TIMER_SYNC ? Qt::PreciseTimer : Qt::CoarseTimer;
    timers[static_cast<size_t>(id)].start(milliseconds, type, this);
}

void CKestruneDlg::KillTimer(int id) {
    if (id <= 0 || id >= static_cast<int>(timers.size())) return;
    timers[static_cast<size_t>(id)].stop();
}

bool CKestruneDlg::IsTimerActive(int id) const {
    if (id <= 0 || id >= static_cast<int>(timers.size())) return false;
    return timers[static_cast<size_t>(id)].isActive();
}

void CKestruneDlg::timerEvent(QTimerEvent* e) {
    for (size_t id = 1; id < timers.size(); ++id) {
        if (timers[id].timerId() == e->timerId()) OnTimer(static_cast<int>(id));
    }
    QDialog::timerEvent(e);
}

void CKestruneDlg::OnTimer(int id) {
    switch (id) {
        case TIMER_SYNC:
            sync->OnTick();
            break;
        case TIMER_FORWARD:
        case TIMER_REWIND:
            OnHoldStep(id);
            break;
        default:
            break;
    }
}

// A serial device belongs to a group (dialout) that a new user is seldom in: the device
// would never move, and the open failure alone goes only to the debug window.
void CKestruneDlg::OnDeviceAccessDenied() {
    OUTPUT_LOG(*operationLog, "USBドングルを開く権限がありません：" + deniedDevice);
    boxes.Show(DeviceAccessDeniedText(deniedDevice, deniedGroup, platform::UserName()),
               "USBドングルエラー");
}

void CKestruneDlg::OnDeviceChange(unsigned event) {
    if (event != DBT_DEVNODES_CHANGED) return;
    OUTPUT_LOG(*operationLog, "DBT_DEVNODES_CHANGED");
    sync->OnDevicesChanged();
    bottomPanel->SetDeviceName(QString::fromStdString(dongle->GetDeviceName()));
}
