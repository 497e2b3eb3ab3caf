#include "session/PlaybackSession.h"

#include <algorithm>
#include <filesystem>

#include "authoring/PlayFileNames.h"
#include "configuration/SyncSettings.h"
#include "device/UsbDongle.h"
#include "log/Logger.h"
#include "log/OutputLog.h"
#include "platform/MessageBoxes.h"
#include "platform/Translatable.h"
#include "player/AdjustedPlayer.h"
#include "player/DroppedFiles.h"
#include "player/MediaLocation.h"
#include "player/PlaybackMath.h"
#include "sync/DeviceLoop.h"
#include "sync/SyncDriver.h"

namespace {

// The box for media that do not play; the interface translates its source texts.
constexpr const char* kUnplayableText =
    KESTRUNE_TRANSLATE_NOOP("MessageBoxes", "メディアが再生できません。メディアを確認して下さい。");
constexpr const char* kUnplayableCaption = KESTRUNE_TRANSLATE_NOOP("MessageBoxes", "再生エラー");
constexpr const char* kErrorText =
    KESTRUNE_TRANSLATE_NOOP("MessageBoxes", "エラーが発生しました。");
constexpr const char* kErrorCaption = KESTRUNE_TRANSLATE_NOOP("MessageBoxes", "エラー");

// A path as the file system has it, made absolute and without "." and ".." parts.
std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

}  // namespace

PlaybackSession::PlaybackSession(platform::MessageBoxes& boxes, OutputLog& log, PlaybackView& view,
                                 std::unique_ptr<MediaPlayer> player)
    : boxes_(boxes),
      log_(log),
      view_(view),
      player_(player ? std::move(player) : std::make_unique<AdjustedPlayer>()) {
    if (!player_->IsAvailable()) {
        boxes_.Show(KESTRUNE_TRANSLATE_NOOP(
                        "MessageBoxes",
                        "再生エンジンを起動できません。VLCのインストールを確認して下さい。"),
                    KESTRUNE_TRANSLATE_NOOP("MessageBoxes", "起動エラー"));
    }
    player_->AttachEvents(&PlaybackSession::EventCallback, this);
}

PlaybackSession::~PlaybackSession() {
    // libvlc may still raise events while it stops; none may reach the log or the view once
    // they are gone.
    player_->DetachEvents();
    // The device work still queued (the close's stop packet) goes out before the link goes.
    loop_.reset();
}

void PlaybackSession::StartDevice(Logger* logger, const DongleSettings& settings, int offsetMs,
                                  std::unique_ptr<UsbDongle> dongle,
                                  std::unique_ptr<DeviceLoop> loop) {
    logger_ = logger;
    dongle_ = dongle ? std::move(dongle) : std::make_unique<UsbDongle>();
    // Told from inside the link's port handling: the box waits for the event loop.
    dongle_->SetAccessDeniedHandler([this](const std::string& device, const std::string& group) {
        view_.Post([this, device, group] {
            OUTPUT_LOG(log_, "USBドングルを開く権限がありません：" + device);
            view_.ShowDeviceAccessDenied(device, group);
        });
    });
    // Set up here, before the device thread has any work for it.
    dongle_->Init(logger_, settings);
    deviceName_ = dongle_->GetDeviceName();
    loop_ = loop ? std::move(loop) : std::make_unique<DeviceLoop>();
    sync_ = std::make_unique<SyncDriver>(
        *player_, *dongle_, logger_, [this](const std::string& line) { OUTPUT_LOG(log_, line); },
        *loop_);
    sync_->SetOffsetMs(offsetMs);
}

void PlaybackSession::RunOnDevice(const std::function<void(UsbDongle&)>& work) {
    loop_->Run([&] { work(*dongle_); });
}

void PlaybackSession::StartTicks() {
    ticking_ = true;
    sync_->StartTicks();
}

// Before any stop packet that follows: no step may come between the stop and the end of the
// ticks.
void PlaybackSession::StopTicks() {
    ticking_ = false;
    sync_->StopTicks();
}

// Runs on libvlc's threads, maybe with libvlc's locks held: only the log (whole-line writes, a
// failure's box posted) and the post. Nothing may throw back into libvlc.
void PlaybackSession::EventCallback(PlayerEvent event, void* self) noexcept {
    auto* session = static_cast<PlaybackSession*>(self);
    try {
        if (event != PlayerEvent::kTimeChanged) OUTPUT_LOG(session->log_, PlayerEventName(event));
        session->view_.Post([session, event] { session->OnPlayerEvent(event); });
    } catch (...) {
        // Out of memory: the event is lost, the player goes on.
    }
}

void PlaybackSession::OnPlayerEvent(PlayerEvent event) {
    switch (event) {
        case PlayerEvent::kOpening:
            mediaHasLength_ = false;
            mediaReachedPlaying_ = false;
            mediaShowedPicture_ = false;
            view_.ClearScriptHeat();  // until the new media reports its length
            ShowOpeningTitle();
            break;
        case PlayerEvent::kPlaying:
            mediaReachedPlaying_ = true;
            ShowMediaTitle();
            FollowTitle();
            sync_->OnPlaying();
            StartTicks();
            view_.RebuildMenu();
            break;
        case PlayerEvent::kPaused:
            StopTicks();
            sync_->OnPaused();
            break;
        case PlayerEvent::kStopped:
            OnMediaStopped();
            break;
        case PlayerEvent::kEndReached:
            view_.Post([this] { OnMediaEnded(); });
            break;
        case PlayerEvent::kEncounteredError:
            OnPlaybackError();
            break;
        case PlayerEvent::kTimeChanged:
            RefreshTimeDisplay();
            break;
        case PlayerEvent::kVout:
            if (player_->HasVideoOutput()) mediaShowedPicture_ = true;
            view_.RebuildMenu();
            break;
        case PlayerEvent::kLengthChanged:
            if (player_->GetLength() > 0) mediaHasLength_ = true;
            FollowTitle();
            sync_->OnMediaReady();
            ShowScriptHeat(player_->GetLength());
            break;
        case PlayerEvent::kTitleChanged:
            FollowTitle();
            break;
    }
}

void PlaybackSession::ShowOpeningTitle() {
    view_.ShowTitle(displayTitle_, true);
    opening_ = true;
}

void PlaybackSession::ShowMediaTitle() {
    view_.ShowTitle(displayTitle_, false);
    opening_ = false;
}

// The seek bar shows the loaded script's heat over a media of `lengthMs`; with no script or no
// length, and over a disc's menu, none.
void PlaybackSession::ShowScriptHeat(int64_t lengthMs) {
    const SyncDriver::ScriptLines lines = sync_->Lines();
    if (lines == nullptr || lengthMs <= 0 || discPlace_ == DiscPlace::kMenu) {
        view_.ClearScriptHeat();
        return;
    }
    view_.ShowScriptHeat(*lines, lengthMs);
}

// From a change of title until this has placed it, the device thread sends no line: the clock
// still counts in the place the player left. A menu stops the device and holds the script; a
// title runs the script from the title's own time (its clock starts afresh, see
// AdjustedPlayer). Media that list no titles (files) start over without the disc's log lines.
void PlaybackSession::FollowTitle() {
    const uint64_t changes = player_->TitleChanges();
    const DiscPlace place = player_->GetDiscPlace();
    if (player_->GetMediaKind() != MediaKind::kByLocation || place == DiscPlace::kUnknown) {
        if (changes == titleChanges_) return;
        titleChanges_ = changes;
        sync_->OnTitleStarted(changes);
        return;
    }
    if (place == discPlace_ && changes == titleChanges_) return;
    const bool entered = place != discPlace_;
    discPlace_ = place;
    titleChanges_ = changes;
    if (place == DiscPlace::kMenu) {
        if (entered) {
            OUTPUT_LOG(log_, "DVDメニュー表示");
            view_.ClearScriptHeat();
            view_.ShowDiscMenu(true);
        }
        sync_->OnMenuShown(changes);
        return;
    }
    OUTPUT_LOG(log_, "DVDタイトル開始");
    if (entered) view_.ShowDiscMenu(false);
    sync_->OnTitleStarted(changes);
    ShowScriptHeat(player_->GetLength());
}

void PlaybackSession::OnPlaybackError() {
    if (opening_) {
        boxes_.Show(kUnplayableText, kUnplayableCaption);
        ShowMediaTitle();
    } else {
        boxes_.Show(kErrorText, kErrorCaption);
    }
}

bool PlaybackSession::IsBusyOpening() const {
    const PlayerState state = player_->GetState();
    return state == PlayerState::kOpening || state == PlayerState::kBuffering ||
           state == PlayerState::kError;
}

void PlaybackSession::OpenVideoFile(const std::string& path) {
    EndRecording();
    mediaLocation_ = AbsolutePath(path);
    displayTitle_ = std::filesystem::path(mediaLocation_).filename().string();
    OUTPUT_LOG(log_, "動画ファイル選択：" + displayTitle_);
    player_->Stop();
    player_->OpenFile(mediaLocation_, AdjusterKind::kFile);
    logger_->LogMessage("再生メディアに動画ファイルが指定されました");
    OnMediaStopped();
    displayTitle_ = ShortenTitle(displayTitle_);
    view_.ShowTitle(displayTitle_, false);
}

void PlaybackSession::OpenDvd(const std::string& path) {
    if (IsBusyOpening()) return;
    EndRecording();
    // A location the user wrote is theirs to escape; a path is escaped here.
    const bool isLocation = path.rfind("dvd://", 0) == 0;
    mediaLocation_ = isLocation ? path : DvdLocation(path);
    displayTitle_ = isLocation ? path : "dvd://" + path;
    OUTPUT_LOG(log_, "ドライブ選択：" + path);
    player_->Stop();
    player_->OpenLocation(
        mediaLocation_, dvdWholeSecondClock_ ? AdjusterKind::kDvdWholeSecond : AdjusterKind::kDvd);
    logger_->LogMessage("再生メディアにDVDが指定されました");
    view_.Post([this] { Play(); });
    displayTitle_ = ShortenTitle(displayTitle_);
    view_.ShowTitle(displayTitle_, false);
}

void PlaybackSession::OpenPlayFile(const std::string& path) {
    sync_->LoadPlayFile(AbsolutePath(path));
    // A stopped or ended media's length no longer counts: the bar shows none (OnMediaStopped).
    const PlayerState state = player_->GetState();
    const bool open = state != PlayerState::kNothingSpecial && state != PlayerState::kStopped &&
                      state != PlayerState::kEnded && state != PlayerState::kError;
    ShowScriptHeat(mediaHasLength_ && open ? player_->GetLength() : 0);
}

// A drop opens what the buttons would: the video (or the DVD) first, then the play file. A
// drop with nothing to open says so and leaves playback as it is.
void PlaybackSession::OpenDropped(const std::vector<std::string>& paths) {
    const DropPlan plan = PlanDrop(paths);
    for (const std::string& name : plan.refused) {
        OUTPUT_LOG(log_, "ドロップされたファイルを開けません：" + name);
    }
    if (plan.Empty()) {
        boxes_.Show(
            KESTRUNE_TRANSLATE_NOOP("MessageBoxes",
                                    "ドロップされたファイルは開けません。動画ファイル、"
                                    "プレイファイル（.csv/.txt）、DVDフォルダまたはISOイメージを"
                                    "ドロップして下さい。"),
            KESTRUNE_TRANSLATE_NOOP("MessageBoxes", "ファイルのドロップ"));
        return;
    }
    if (plan.videoKind == DropPlan::VideoKind::kFile && !IsBusyOpening()) {
        OpenVideoFile(plan.video);
    } else if (plan.videoKind == DropPlan::VideoKind::kDvd) {
        OpenDvd(plan.video);
    }
    if (!plan.playFile.empty()) {
        OUTPUT_LOG(log_, "プレイファイル選択：" + plan.playFile);
        OpenPlayFile(plan.playFile);
    }
}

void PlaybackSession::Play() { player_->Play(); }

void PlaybackSession::Pause() {
    if (player_->GetState() == PlayerState::kPlaying) player_->Pause();
}

void PlaybackSession::OnMediaEnded() {
    EndRecording();
    // A file libvlc opens but cannot read (a video cut off before its index) plays nothing and
    // ends at once without a length: say so, as for a file that does not open, and do not
    // start it again on repeat. A raw stream (.h264, .m2v) has no length either, but it played
    // and showed its pictures.
    if (!mediaHasLength_ && !(mediaReachedPlaying_ && mediaShowedPicture_)) {
        OnMediaStopped();  // the device stops before the box waits for the user
        boxes_.Show(kUnplayableText, kUnplayableCaption);
        return;
    }
    if (repeat_) {
        OUTPUT_LOG(log_, "リピート再生");
        // No tick until the new run's playing event puts the script at its start: a tick in
        // between reads the clock of the new run against the cursor of the old one, goes back
        // to the first line and sends it, and the playing event sent it again.
        StopTicks();
        view_.StartTimer(SessionTimer::kRepeat, kRepeatPauseMs);
    } else {
        OnMediaStopped();
    }
}

// The player's actual state decides: without an audio output it reads as muted.
void PlaybackSession::ToggleMute() {
    muted_ = !player_->IsMuted();
    view_.ShowMute(muted_);
    player_->SetMute(muted_);
}

void PlaybackSession::ToggleRepeat() {
    repeat_ = !repeat_;
    view_.ShowRepeat(repeat_);
}

void PlaybackSession::VolumeChanged() {
    muted_ = false;
    player_->SetMute(false);
    view_.Post([this] { ApplyVolume(); });
}

void PlaybackSession::ApplyVolume() { player_->SetVolume(view_.Volume()); }

void PlaybackSession::SeekToPosition(int position) {
    EndRecording();  // the recorded stretch ends where the seek leaves
    seekTarget_ = SliderSeekTarget(player_->GetLength(), position);
    view_.Post([this] { Seek(); });
    sync_->OnSeekStarted();
}

void PlaybackSession::Seek() {
    player_->SetTime(seekTarget_);
    RefreshTimeDisplay();
}

// A seek by keys goes as a seek with the slider does: the device stops, the player goes to the
// target and the script follows on the next play or tick. Media without a length (a raw
// stream, nothing open) do not seek.
void PlaybackSession::SeekBy(int64_t deltaMs) {
    const int64_t length = player_->GetLength();
    if (length <= 0) return;
    EndRecording();
    seekTarget_ = std::clamp<int64_t>(player_->GetTime() + deltaMs, 0, length);
    view_.Post([this] { Seek(); });
    sync_->OnSeekStarted();
}

void PlaybackSession::HoldStart(bool forward) {
    EndRecording();
    holdElapsed_ = 0;
    holdPosition_ = player_->GetTime();
    holdState_ = player_->GetState();
    if (holdState_ == PlayerState::kPlaying) player_->Pause();
    view_.StartTimer(forward ? SessionTimer::kForward : SessionTimer::kRewind, kHoldPeriodMs);
}

void PlaybackSession::HoldEnd(bool forward) {
    if (holdState_ == PlayerState::kPlaying) player_->Play();
    view_.StopTimer(forward ? SessionTimer::kForward : SessionTimer::kRewind);
}

void PlaybackSession::HoldStep(bool forward) {
    holdElapsed_ += kHoldPeriodMs;
    const int64_t step = ::HoldStep(holdElapsed_);
    holdPosition_ = HoldSeekTarget(holdPosition_, step, player_->GetLength(), forward);
    seekTarget_ = holdPosition_;
    view_.Post([this] { Seek(); });
}

void PlaybackSession::SelectTitle(int index) {
    OUTPUT_LOG(log_, "DVDタイトル変更");
    player_->SetTitle(index);
}

void PlaybackSession::SelectChapter(int index) {
    OUTPUT_LOG(log_, "DVDチャプター変更");
    player_->SetChapter(index);
}

void PlaybackSession::ShowDiscMenu() {
    OUTPUT_LOG(log_, "DVDディスクメニュー選択");
    player_->ShowDiscMenu();
}

void PlaybackSession::NavigateMenu(MenuStep step) {
    if (discPlace_ == DiscPlace::kMenu) player_->Navigate(step);
}

void PlaybackSession::ToggleRecording() {
    if (recording_) {
        EndRecording();
        return;
    }
    if (MediaFile().empty() || player_->GetState() != PlayerState::kPlaying) {
        boxes_.Show(KESTRUNE_TRANSLATE_NOOP("MessageBoxes",
                                            "プレイファイルは動画ファイルの再生中に記録できます。"),
                    KESTRUNE_TRANSLATE_NOOP("MessageBoxes", "プレイファイル記録"));
        return;
    }
    recordingTimeMs_ = std::max<int64_t>(player_->GetTime(), 0);
    OUTPUT_LOG(log_, "プレイファイル記録開始");
    recording_.emplace(recordingTimeMs_, authoring_.reactionMs, uint8_t{0});
    sync_->SetLiveCommand(uint8_t{0});
    view_.ShowRecording(true, 0);
}

void PlaybackSession::PointerOverVideo(double x, double width) {
    if (!recording_ || player_->GetState() != PlayerState::kPlaying) return;
    const uint8_t command = PointerCommand(x, width, authoring_.rightDirection);
    if (command == recording_->Command()) return;
    recordingTimeMs_ = std::max<int64_t>(player_->GetTime(), 0);
    recording_->Add(recordingTimeMs_, command);
    sync_->SetLiveCommand(command);
    view_.ShowRecording(true, command);
}

// The stretch ends where playback is, or was when it last showed a time (a stopped player
// reads 0).
void PlaybackSession::EndRecording() {
    if (!recording_) return;
    const PlayerState state = player_->GetState();
    if (state == PlayerState::kPlaying || state == PlayerState::kPaused) {
        recordingTimeMs_ = std::max(recordingTimeMs_, player_->GetTime());
    }
    const RecordedStretch stretch = recording_->End(recordingTimeMs_);
    recording_.reset();
    sync_->SetLiveCommand(std::nullopt);
    view_.ShowRecording(false, 0);
    OUTPUT_LOG(log_, "プレイファイル記録終了");
    const SyncDriver::ScriptLines loaded = sync_->Lines();
    const std::vector<CSV_LINE> lines =
        PunchIn(loaded ? *loaded : std::vector<CSV_LINE>{}, stretch);
    std::string error;
    const std::string path = SaveNewPlayFile(mediaLocation_, lines, &error);
    if (path.empty()) {
        OUTPUT_LOG(log_, "プレイファイル保存失敗：" + error);
        // Posted: it may come on the way to a stop or the window's close, which go on first.
        boxes_.Post(KESTRUNE_TRANSLATE_NOOP("MessageBoxes",
                                            "記録したプレイファイルを保存できませんでした。"),
                    KESTRUNE_TRANSLATE_NOOP("MessageBoxes", "プレイファイル記録"));
        return;
    }
    OUTPUT_LOG(log_, "プレイファイル保存：" + std::filesystem::path(path).filename().string());
    OpenPlayFile(path);
}

int PlaybackSession::ChangeOffset(int deltaMs) {
    const int before = sync_->OffsetMs();
    const int offset = sync_->ChangeOffsetMs(deltaMs);
    if (offset != before) {
        OUTPUT_LOG(log_, "同期オフセット変更：" + std::string(offset > 0 ? "+" : "") +
                             std::to_string(offset) + " ms");
    }
    return offset;
}

void PlaybackSession::DevicesChanged() {
    OUTPUT_LOG(log_, "DBT_DEVNODES_CHANGED");
    sync_->OnDevicesChanged();
    // What the change found, once the device thread has looked.
    loop_->Post(
        [this] { view_.Post([this, name = dongle_->GetDeviceName()] { deviceName_ = name; }); });
}

void PlaybackSession::Close() {
    ticking_ = false;
    sync_->OnClose();
    // The device has stopped; the recording is saved while the player still tells its time.
    EndRecording();
    // Playback ends before the window is hidden and taken down: a video output still starting
    // up as its window goes away crashes inside the X11 OpenGL driver.
    player_->Stop();
}

void PlaybackSession::StopAfterFailure() {
    ticking_ = false;
    sync_->OnClose();
    player_->Stop();
    boxes_.Post(kErrorText, kErrorCaption);
}

void PlaybackSession::OnMediaStopped() {
    EndRecording();
    volumeInitialised_ = false;
    if (discPlace_ == DiscPlace::kMenu) view_.ShowDiscMenu(false);
    discPlace_ = DiscPlace::kUnknown;
    view_.ShowPosition(0);
    view_.ShowElapsed("00:00:00");
    view_.ShowTotal("00:00:00");
    view_.ClearScriptHeat();
    StopTicks();
    sync_->OnStopped();
    view_.ShowCounter(0);
    view_.RebuildMenu();
    view_.Repaint();
}

void PlaybackSession::RefreshTimeDisplay() {
    const PlayerState state = player_->GetState();
    const int64_t length = player_->GetLength();
    int64_t t = player_->GetTime();
    if ((state != PlayerState::kPlaying && state != PlayerState::kPaused) || length <= 0 ||
        t == -1) {
        return;
    }
    if (!volumeInitialised_ && player_->GetVolume() != -1) {
        OUTPUT_LOG(log_, "音量初期化");
        view_.Post([this] { ApplyVolume(); });
        volumeInitialised_ = true;
    }
    t = std::clamp<int64_t>(t, 0, length);
    recordingTimeMs_ = t;
    view_.ShowElapsed(FormatClock(t));
    view_.ShowTotal(FormatClock(length));
    view_.ShowPosition(SliderPosition(t, length));
    view_.ShowCounter(t);
}

void PlaybackSession::OnTimer(SessionTimer timer) {
    switch (timer) {
        case SessionTimer::kForward:
        case SessionTimer::kRewind:
            HoldStep(timer == SessionTimer::kForward);
            break;
        case SessionTimer::kRepeat:
            view_.StopTimer(SessionTimer::kRepeat);
            player_->Play();
            break;
    }
}
