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

// The box for media that do not play; the box translates its source texts.
constexpr const char* kUnplayableText =
    QT_TRANSLATE_NOOP("MessageBoxes", "メディアが再生できません。メディアを確認して下さい。");
constexpr const char* kUnplayableCaption = QT_TRANSLATE_NOOP("MessageBoxes", "再生エラー");

// The seek bar shows the loaded script's heat over a media of `lengthMs`; with no script or
// no length, none.
void ShowScriptHeat(CBottomDlg& bar, const SyncDriver& sync, int64_t lengthMs) {
    const PlayScript* script = sync.Script();
    if (script == nullptr || lengthMs <= 0) {
        bar.ClearScriptHeat();
        return;
    }
    bar.SetScriptHeat(script->Lines(), lengthMs);
}

}  // namespace

// Runs on libvlc's threads, maybe with libvlc's locks held: only the log (whole-line writes,
// a failure's box posted) and the post. Nothing may throw back into libvlc.
void CKestruneDlg::PlayerEventCallback(const libvlc_event_t* event, void* userData) noexcept {
    auto* dlg = static_cast<CKestruneDlg*>(userData);
    try {
        if (event->type != libvlc_MediaPlayerTimeChanged) {
            OUTPUT_LOG(*dlg->operationLog_, libvlc_event_type_name(event->type));
        }
        PostAppMessage(dlg, WM_APP_PLAYER_EVENT, reinterpret_cast<uintptr_t>(dlg), event->type);
    } catch (...) {
        // Out of memory: the event is lost, the player goes on.
    }
}

void CKestruneDlg::HandlePlayerEvent(int type) {
    switch (type) {
        case libvlc_MediaPlayerOpening:
            mediaHasLength_ = false;
            mediaReachedPlaying_ = false;
            mediaShowedPicture_ = false;
            bottomPanel_->ClearScriptHeat();  // until the new media reports its length
            ShowOpeningTitle();
            break;
        case libvlc_MediaPlayerPlaying:
            mediaReachedPlaying_ = true;
            ShowMediaTitle();
            sync_->OnPlaying();
            SetTimer(TIMER_SYNC, kSyncPeriodMs);
            BuildMenu();
            break;
        case libvlc_MediaPlayerPaused:
            sync_->OnPaused();
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
            if (player_->HasVideoOutput()) mediaShowedPicture_ = true;
            BuildMenu();
            break;
        case libvlc_MediaPlayerLengthChanged:
            if (player_->GetLength() > 0) mediaHasLength_ = true;
            sync_->OnMediaReady();
            ShowScriptHeat(*bottomPanel_, *sync_, player_->GetLength());
            break;
        default:
            break;
    }
}

void CKestruneDlg::ShowOpeningTitle() {
    topPanel_->SetTitle(
        tr("%1(メディアを開いています...)").arg(QString::fromStdString(displayTitle_)));
    opening_ = true;
}

void CKestruneDlg::ShowMediaTitle() {
    topPanel_->SetTitle(QString::fromStdString(displayTitle_));
    opening_ = false;
}

void CKestruneDlg::OnPlaybackError() {
    if (opening_) {
        boxes_.Show(kUnplayableText, kUnplayableCaption);
        ShowMediaTitle();
    } else {
        boxes_.Show(QT_TRANSLATE_NOOP("MessageBoxes", "エラーが発生しました。"),
                    QT_TRANSLATE_NOOP("MessageBoxes", "エラー"));
    }
}

bool CKestruneDlg::IsBusyOpening() const {
    const PlayerState state = player_->GetState();
    return state == PlayerState::kOpening || state == PlayerState::kBuffering ||
           state == PlayerState::kError;
}

void CKestruneDlg::OnOpenVideo() {
    if (IsBusyOpening()) return;
    QFileDialog dialog(this, tr("動画を開く"));
    dialog.setObjectName(QStringLiteral("openVideoDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    OpenVideoFile(dialog.selectedFiles().constFirst());
}

// Allowed in every player state: playback goes on, and the new script is positioned on the
// next play, seek or device change.
void CKestruneDlg::OnOpenPlayFile() {
    QFileDialog dialog(this, tr("開く"));
    dialog.setObjectName(QStringLiteral("openPlayFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({tr("プレイファイル (*.csv *.txt)"), tr("すべてのファイル (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    OpenPlayFile(dialog.selectedFiles().constFirst());
}

void CKestruneDlg::OpenPlayFile(const QString& path) {
    sync_->LoadPlayFile(QFileInfo(path).absoluteFilePath().toStdString());
    // A stopped or ended media's length no longer counts: the bar shows none (OnMediaStopped).
    const PlayerState state = player_->GetState();
    const bool open = state != PlayerState::kNothingSpecial && state != PlayerState::kStopped &&
                      state != PlayerState::kEnded && state != PlayerState::kError;
    ShowScriptHeat(*bottomPanel_, *sync_, mediaHasLength_ && open ? player_->GetLength() : 0);
}

void CKestruneDlg::OpenVideoFile(const QString& path) {
    const QFileInfo file(path);
    mediaLocation_ = file.absoluteFilePath().toStdString();
    displayTitle_ = file.fileName().toStdString();
    OUTPUT_LOG(*operationLog_, "動画ファイル選択：" + displayTitle_);
    player_->Stop();
    player_->OpenFile(mediaLocation_, AdjusterKind::kFile);
    logger_->LogMessage("再生メディアに動画ファイルが指定されました");
    OnMediaStopped();
    displayTitle_ = ShortenTitle(displayTitle_);
    topPanel_->SetTitle(QString::fromStdString(displayTitle_));
}

void CKestruneDlg::OpenDvd(const std::string& path) {
    if (IsBusyOpening()) return;
    // A location the user wrote is theirs to escape; a path is escaped here.
    const bool isLocation = path.rfind("dvd://", 0) == 0;
    mediaLocation_ = isLocation ? path : DvdLocation(path);
    displayTitle_ = isLocation ? path : "dvd://" + path;
    OUTPUT_LOG(*operationLog_, "ドライブ選択：" + path);
    player_->Stop();
    player_->OpenLocation(mediaLocation_, AdjusterKind::kDvd);
    logger_->LogMessage("再生メディアにDVDが指定されました");
    PostAppMessage(this, WM_APP_PLAY);
    displayTitle_ = ShortenTitle(displayTitle_);
    topPanel_->SetTitle(QString::fromStdString(displayTitle_));
}

void CKestruneDlg::OnPlay() { player_->Play(); }

void CKestruneDlg::OnPause() {
    if (player_->GetState() == PlayerState::kPlaying) player_->Pause();
}

void CKestruneDlg::OnMediaEnded() {
    // A file libvlc opens but cannot read (a video cut off before its index) plays nothing
    // and ends at once without a length: say so, as for a file that does not open, and do
    // not start it again on repeat. A raw stream (.h264, .m2v) has no length either, but it
    // played and showed its pictures.
    if (!mediaHasLength_ && !(mediaReachedPlaying_ && mediaShowedPicture_)) {
        boxes_.Show(kUnplayableText, kUnplayableCaption);
        OnMediaStopped();
        return;
    }
    if (repeat_) {
        OUTPUT_LOG(*operationLog_, "リピート再生");
        // No tick until the new run's playing event puts the script at its start: a tick in
        // between reads the clock of the new run against the cursor of the old one, goes back
        // to the first line and sends it, and the playing event sent it again.
        KillTimer(TIMER_SYNC);
        KillTimer(TIMER_LINE);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        player_->Play();
    } else {
        OnMediaStopped();
    }
}

// The player's actual state decides: without an audio output it reads as muted.
void CKestruneDlg::OnToggleMute() {
    muted_ = !player_->IsMuted();
    bottomPanel_->SetMuteState(muted_);
    player_->SetMute(muted_);
}

void CKestruneDlg::OnToggleRepeat() {
    repeat_ = !repeat_;
    bottomPanel_->SetRepeatState(repeat_);
}

void CKestruneDlg::OnVolumeChanged() {
    muted_ = false;
    player_->SetMute(false);
    PostAppMessage(this, WM_APP_APPLY_VOLUME);
}

void CKestruneDlg::OnApplyVolume() { player_->SetVolume(bottomPanel_->GetVolume()); }

void CKestruneDlg::OnPositionChanged(int position) {
    seekTarget_ = SliderSeekTarget(player_->GetLength(), position);
    PostAppMessage(this, WM_APP_SEEK);
    sync_->OnSeekStarted();
}

void CKestruneDlg::OnSeek() {
    player_->SetTime(seekTarget_);
    RefreshTimeDisplay();
}

void CKestruneDlg::OnHoldStart(int timerId) {
    holdElapsed_ = 0;
    holdPosition_ = player_->GetTime();
    holdState_ = player_->GetState();
    if (holdState_ == PlayerState::kPlaying) player_->Pause();
    SetTimer(timerId, kHoldPeriodMs);
}

void CKestruneDlg::OnHoldEnd(int timerId) {
    if (holdState_ == PlayerState::kPlaying) player_->Play();
    KillTimer(timerId);
}

void CKestruneDlg::OnHoldStep(int timerId) {
    holdElapsed_ += kHoldPeriodMs;
    const int64_t step = HoldStep(holdElapsed_);
    const int64_t length = player_->GetLength();
    holdPosition_ = HoldSeekTarget(holdPosition_, step, length, timerId == TIMER_FORWARD);
    seekTarget_ = holdPosition_;
    PostAppMessage(this, WM_APP_SEEK);
}

void CKestruneDlg::OnMediaStopped() {
    volumeInitialised_ = false;
    bottomPanel_->SetMediaPosition(0);
    bottomPanel_->SetElapsedTime(QStringLiteral("00:00:00"));
    bottomPanel_->SetTotalTime(QStringLiteral("00:00:00"));
    bottomPanel_->ClearScriptHeat();
    sync_->OnStopped();
    KillTimer(TIMER_SYNC);
    bottomPanel_->SetCounter(0);
    BuildMenu();
    update();
}

void CKestruneDlg::RefreshTimeDisplay() {
    const PlayerState state = player_->GetState();
    const int64_t length = player_->GetLength();
    int64_t t = player_->GetTime();
    if ((state != PlayerState::kPlaying && state != PlayerState::kPaused) || length <= 0 || t == -1)
        return;

    if (!volumeInitialised_ && player_->GetVolume() != -1) {
        OUTPUT_LOG(*operationLog_, "音量初期化");
        PostAppMessage(this, WM_APP_APPLY_VOLUME);
        volumeInitialised_ = true;
    }
    if (t > length) t = length;
    if (t < 0) t = 0;
    bottomPanel_->SetElapsedTime(QString::fromStdString(FormatClock(t)));
    bottomPanel_->SetTotalTime(QString::fromStdString(FormatClock(length)));
    bottomPanel_->SetMediaPosition(SliderPosition(t, length));
    bottomPanel_->SetCounter(t);
}
