// The main window's playback commands and its reactions to player events.

#include <vlc/vlc.h>

#include <QFileDialog>
#include <QFileInfo>
#include <thread>

#include "app/KestruneDlg.h"
#include "log/Logger.h"
#include "panels/BottomDlg.h"
#include "panels/TopDlg.h"
#include "platform/MessageBoxes.h"
#include "player/MediaLocation.h"
#include "player/PlaybackMath.h"
#include "sync/SyncDriver.h"
#include "widgets/AppMessage.h"

namespace {

constexpr int kHoldPeriodMs = 200;
constexpr int kSyncPeriodMs = 40;

}  // namespace

// Runs on libvlc's threads: only the log (whole-line writes) and the post.
void CKestruneDlg::PlayerEventCallback(const libvlc_event_t* event, void* userData) {
    auto* dlg = static_cast<CKestruneDlg*>(userData);
    if (event->type != libvlc_MediaPlayerTimeChanged) {
        OUTPUT_LOG(*dlg->operationLog, libvlc_event_type_name(event->type));
    }
    PostAppMessage(dlg, WM_APP_PLAYER_EVENT, reinterpret_cast<uintptr_t>(dlg), event->type);
}

void CKestruneDlg::HandlePlayerEvent(int type) {
    switch (type) {
        case libvlc_MediaPlayerOpening:
            mediaHasLength = false;
            mediaReachedPlaying = false;
            mediaShowedPicture = false;
            ShowOpeningTitle();
            break;
        case libvlc_MediaPlayerPlaying:
            mediaReachedPlaying = true;
            ShowMediaTitle();
            sync->OnPlaying();
            SetTimer(TIMER_SYNC, kSyncPeriodMs);
            BuildMenu();
            break;
        case libvlc_MediaPlayerPaused:
            sync->OnPaused();
            KillTimer(TIMER_SYNC);
            break;
        case libvlc_MediaPlayerStopped:
            OnMediaStopped();
            break;
        case libvlc_MediaPlayerEndReached:
            PostAppMessage(this, WM_APP_MEDIA_ENDED);
            break;
        case libvlc_MediaPlayerEncounteredError:
            OnPlaybackError();
            break;
        case libvlc_MediaPlayerTimeChanged:
            RefreshTimeDisplay();
            break;
        case libvlc_MediaPlayerVout:
            if (player->HasVideoOutput()) mediaShowedPicture = true;
            BuildMenu();
            break;
        case libvlc_MediaPlayerLengthChanged:
            if (player->GetLength() > 0) mediaHasLength = true;
            sync->OnMediaReady();
            break;
        default:
            break;
    }
}

void CKestruneDlg::ShowOpeningTitle() {
    topPanel->SetTitle(QString::fromStdString(displayTitle + "(メディアを開いています...)"));
    opening = true;
}

void CKestruneDlg::ShowMediaTitle() {
    topPanel->SetTitle(QString::fromStdString(displayTitle));
    opening = false;
}

void CKestruneDlg::OnPlaybackError() {
    if (opening) {
        boxes.Show("メディアが再生できません。メディアを確認して下さい。", "再生エラー");
        ShowMediaTitle();
    } else {
        boxes.Show("エラーが発生しました。", "エラー");
    }
}

bool CKestruneDlg::IsBusyOpening() const {
    const PlayerState state = player->GetState();
    return state == PlayerState::kOpening || state == PlayerState::kBuffering ||
           state == PlayerState::kError;
}

void CKestruneDlg::OnOpenVideo() {
    if (IsBusyOpening()) return;
    QFileDialog dialog(this, QStringLiteral("動画を開く"));
    dialog.setObjectName(QStringLiteral("openVideoDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    OpenVideoFile(dialog.selectedFiles().constFirst());
}

// Allowed in every player state: playback goes on, and the new script is positioned on the
// next play, seek or device change.
void CKestruneDlg::OnOpenPlayFile() {
    QFileDialog dialog(this, QStringLiteral("開く"));
    dialog.setObjectName(QStringLiteral("openPlayFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(
        {QStringLiteral("プレイファイル (*.csv *.txt)"), QStringLiteral("すべてのファイル (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    OpenPlayFile(dialog.selectedFiles().constFirst());
}

void CKestruneDlg::OpenPlayFile(const QString& path) {
    sync->LoadPlayFile(QFileInfo(path).absoluteFilePath().toStdString());
}

void CKestruneDlg::OpenVideoFile(const QString& path) {
    const QFileInfo file(path);
    mediaLocation = file.absoluteFilePath().toStdString();
    displayTitle = file.fileName().toStdString();
    OUTPUT_LOG(*operationLog, "動画ファイル選択：" + displayTitle);
    player->Stop();
    player->OpenFile(mediaLocation, AdjusterKind::kFile);
    logger->LogMessage("再生メディアに動画ファイルが指定されました");
    OnMediaStopped();
    displayTitle = ShortenTitle(displayTitle);
    topPanel->SetTitle(QString::fromStdString(displayTitle));
}

void CKestruneDlg::OpenDvd(const std::string& path) {
    if (IsBusyOpening()) return;
    // A location the user wrote is theirs to escape; a path is escaped here.
    const bool isLocation = path.rfind("dvd://", 0) == 0;
    mediaLocation = isLocation ? path : DvdLocation(path);
    displayTitle = isLocation ? path : "dvd://" + path;
    OUTPUT_LOG(*operationLog, "ドライブ選択：" + path);
    player->Stop();
    player->OpenLocation(mediaLocation, AdjusterKind::kDvd);
    logger->LogMessage("再生メディアにDVDが指定されました");
    PostAppMessage(this, WM_APP_PLAY);
    displayTitle = ShortenTitle(displayTitle);
    topPanel->SetTitle(QString::fromStdString(displayTitle));
}

void CKestruneDlg::OnPlay() { player->Play(); }

void CKestruneDlg::OnPause() {
    if (player->GetState() == PlayerState::kPlaying) player->Pause();
}

void CKestruneDlg::OnMediaEnded() {
    // A file libvlc opens but cannot read (a video cut off before its index) plays nothing
    // and ends at once without a length: say so, as for a file that does not open, and do
    // not start it again on repeat. A raw stream (.h264, .m2v) has no length either, but it
    // played and showed its pictures.
    if (!mediaHasLength && !(mediaReachedPlaying && mediaShowedPicture)) {
        boxes.Show("メディアが再生できません。メディアを確認して下さい。", "再生エラー");
        OnMediaStopped();
        return;
    }
    if (repeat) {
        OUTPUT_LOG(*operationLog, "リピート再生");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        player->Play();
    } else {
        OnMediaStopped();
    }
}

// The player's actual state decides: without an audio output it reads as muted.
void CKestruneDlg::OnToggleMute() {
    muted = !player->IsMuted();
    bottomPanel->SetMuteState(muted);
    player->SetMute(muted);
}

void CKestruneDlg::OnToggleRepeat() {
    repeat = !repeat;
    bottomPanel->SetRepeatState(repeat);
}

void CKestruneDlg::OnVolumeChanged() {
    muted = false;
    player->SetMute(false);
    PostAppMessage(this, WM_APP_APPLY_VOLUME);
}

void CKestruneDlg::OnApplyVolume() { player->SetVolume(bottomPanel->GetVolume()); }

void CKestruneDlg::OnPositionChanged(int position) {
    seekTarget = SliderSeekTarget(player->GetLength(), position);
    PostAppMessage(this, WM_APP_SEEK);
    sync->OnSeekStarted();
}

void CKestruneDlg::OnSeek() {
    player->SetTime(seekTarget);
    RefreshTimeDisplay();
}

void CKestruneDlg::OnHoldStart(int timerId) {
    holdElapsed = 0;
    holdPosition = player->GetTime();
    holdState = player->GetState();
    if (holdState == PlayerState::kPlaying) player->Pause();
    SetTimer(timerId, kHoldPeriodMs);
}

void CKestruneDlg::OnHoldEnd(int timerId) {
    if (holdState == PlayerState::kPlaying) player->Play();
    KillTimer(timerId);
}

void CKestruneDlg::OnHoldStep(int timerId) {
    holdElapsed += kHoldPeriodMs;
    const int64_t step = HoldStep(holdElapsed);
    const int64_t length = player->GetLength();
    holdPosition = HoldSeekTarget(holdPosition, step, length, timerId == TIMER_FORWARD);
    seekTarget = holdPosition;
    PostAppMessage(this, WM_APP_SEEK);
}

void CKestruneDlg::OnMediaStopped() {
    volumeInitialised = false;
    bottomPanel->SetMediaPosition(0);
    bottomPanel->SetElapsedTime(QStringLiteral("00:00:00"));
    bottomPanel->SetTotalTime(QStringLiteral("00:00:00"));
    sync->OnStopped();
    KillTimer(TIMER_SYNC);
    bottomPanel->SetCounter(0);
    BuildMenu();
    update();
}

void CKestruneDlg::RefreshTimeDisplay() {
    const PlayerState state = player->GetState();
    const int64_t length = player->GetLength();
    int64_t t = player->GetTime();
    if ((state != PlayerState::kPlaying && state != PlayerState::kPaused) || length <= 0 || t == -1)
        return;

    if (!volumeInitialised && player->GetVolume() != -1) {
        OUTPUT_LOG(*operationLog, "音量初期化");
        PostAppMessage(this, WM_APP_APPLY_VOLUME);
        volumeInitialised = true;
    }
    if (t > length) t = length;
    if (t < 0) t = 0;
    bottomPanel->SetElapsedTime(QString::fromStdString(FormatClock(t)));
    bottomPanel->SetTotalTime(QString::fromStdString(FormatClock(length)));
    bottomPanel->SetMediaPosition(SliderPosition(t, length));
    bottomPanel->SetCounter(t);
}
