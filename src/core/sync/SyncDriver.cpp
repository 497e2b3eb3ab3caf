#include "sync/SyncDriver.h"

#include <utility>

#include "configuration/SyncSettings.h"
#include "device/UsbDongle.h"
#include "log/Logger.h"
#include "sync/DeviceLoop.h"

SyncDriver::SyncDriver(PlayerClock& clock, UsbDongle& link, Logger* log, NoteFn noteFn,
                       DeviceLoop& loop)
    : player_(clock), dongle_(link), logger_(log), note_(std::move(noteFn)), loop_(loop) {
    loop_.SetStep([this] { OnTick(); }, [this] { return NextLineDueInMs(); });
}

SyncDriver::~SyncDriver() = default;

void SyncDriver::SetOffsetMs(int offsetMs) { offsetMs_ = ClampSyncOffsetMs(offsetMs); }

int SyncDriver::ChangeOffsetMs(int deltaMs) {
    SetOffsetMs(offsetMs_ + deltaMs);
    if (mediaReady_ && player_.GetState() == PlayerState::kPlaying) {
        loop_.Post([this] { Reposition(ScriptTime()); });
    }
    return offsetMs_;
}

int64_t SyncDriver::ScriptTime() {
    const int offset = offsetMs_;
    int64_t t = 0;
    if (__builtin_add_overflow(player_.GetTime(), offset, &t)) {
        return offset > 0 ? INT64_MAX : INT64_MIN;
    }
    return t;
}

bool SyncDriver::LoadPlayFile(const std::string& path) {
    auto script = std::make_shared<PlayScript>(logger_);
    const bool loaded = script->Load(path);
    lines_ = script->SharedLines();
    loop_.Post([this, script = std::move(script)]() mutable {
        script_ = std::make_unique<PlayScript>(std::move(*script));
    });
    return loaded;
}

void SyncDriver::OnPlaying() {
    if (!mediaReady_) return;
    note_("USBドングルへ再生コマンド送信");
    loop_.Post([this] {
        Reposition(ScriptTime());
        dongle_.OpenPort();
        liveSent_ = -1;
        SendLive();
    });
}

void SyncDriver::OnPaused() {
    if (!mediaReady_) return;
    note_("USBドングルへ一時停止コマンド送信");
    loop_.Post([this] {
        dongle_.SendStop();
        liveSent_ = -1;
    });
}

void SyncDriver::SetLiveCommand(std::optional<uint8_t> command) {
    liveWanted_ = command ? int{*command} : -1;
    loop_.Post([this] { SendLive(); });
}

void SyncDriver::SendLive() {
    const int wanted = liveWanted_;
    if (wanted == liveSent_) return;
    if (wanted < 0) {
        // Back to the script: the device stops, and the script's line in force follows.
        liveSent_ = -1;
        dongle_.SendStop();
        Reposition(ScriptTime());
        return;
    }
    if (player_.GetState() != PlayerState::kPlaying) return;  // sent on the resume
    liveSent_ = wanted;
    dongle_.SendCommand(static_cast<uint8_t>(wanted), ScriptTime() / kMsPerTenth);
}

void SyncDriver::OnStopped() {
    // The next media may have no menus: it starts outside one.
    loop_.Post([this] { menuShown_ = false; });
    if (!mediaReady_) return;
    note_("USBドングルへ停止コマンド送信");
    loop_.Post([this] { dongle_.ClosePort(); });
}

bool SyncDriver::LinesMayGo() const {
    return mediaReady_ && !menuShown_ && player_.TitleChanges() == titleChanges_ && liveWanted_ < 0;
}

void SyncDriver::StopIfMoving() {
    if (dongle_.IsMoving()) dongle_.SendStop();
}

void SyncDriver::OnMenuShown(uint64_t titleChanges) {
    loop_.Post([this, titleChanges] {
        menuShown_ = true;
        titleChanges_ = titleChanges;
        StopIfMoving();
    });
}

void SyncDriver::OnTitleStarted(uint64_t titleChanges) {
    loop_.Post([this, titleChanges] {
        menuShown_ = false;
        titleChanges_ = titleChanges;
        StopIfMoving();
        Reposition(ScriptTime());
    });
}

void SyncDriver::OnTick() {
    if (!mediaReady_) return;
    const int64_t t = ScriptTime();
    // A device change is handled in a disc's menu and while recording too.
    if (devicesChanged_) HandleDeviceChange(t);
    if (!LinesMayGo() || !script_) return;
    if (const auto due = script_->Advance(t)) dongle_.SendCommand(due->command, due->time);
}

std::optional<int64_t> SyncDriver::NextLineDueInMs() {
    if (!LinesMayGo() || !script_ || script_->Next().time < 0) return std::nullopt;
    // Saturating: a line may lie anywhere up to the largest time a play file can hold.
    int64_t left = 0;
    if (__builtin_sub_overflow(TenthsToMs(script_->Next().time), ScriptTime(), &left)) {
        return INT64_MAX;  // a line at or past the largest time, with the clock before zero
    }
    return left;
}

void SyncDriver::OnSeekStarted() {
    loop_.Post([this] { dongle_.SendStop(); });
}

void SyncDriver::OnClose() {
    note_("USBドングルへ停止コマンド送信");
    loop_.StopTicks();
    // The window is going away: the stop packet is out and the port closed before it does.
    loop_.Run([this] { dongle_.ClosePort(); });
}

void SyncDriver::StartTicks() { loop_.StartTicks(); }

void SyncDriver::StopTicks() { loop_.StopTicks(); }

void SyncDriver::OnDevicesChanged() {
    loop_.Post([this] {
        const int64_t t = ScriptTime();
        const PlayerState state = player_.GetState();
        devicesChanged_ = true;
        switch (state) {
            case PlayerState::kNothingSpecial:
            case PlayerState::kPaused:
            case PlayerState::kStopped:
            case PlayerState::kEnded:
                if (logger_ != nullptr) logger_->LogMessage("デバイスの接続状態が変化しました");
                HandleDeviceChange(t);
                break;
            default:  // opening, buffering, playing, error: the next tick handles it
                break;
        }
    });
}

void SyncDriver::HandleDeviceChange(int64_t t) {
    if (!devicesChanged_) return;
    devicesChanged_ = false;
    if (!dongle_.Reattach()) return;
    Reposition(t);
    // The reopened port began with the stop packet: a recording's command goes again.
    liveSent_ = -1;
    SendLive();
}

void SyncDriver::Reposition(int64_t t) {
    if (script_) script_->Seek(t);
}
