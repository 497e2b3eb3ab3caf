#include "sync/SyncDriver.h"

#include <utility>

#include "device/UsbDongle.h"
#include "log/Logger.h"

SyncDriver::SyncDriver(PlayerClock& clock, UsbDongle& link, Logger* log, NoteFn noteFn)
    : player(clock), dongle(link), logger(log), note(std::move(noteFn)) {}

SyncDriver::~SyncDriver() = default;

bool SyncDriver::LoadPlayFile(const std::string& path) {
    script = std::make_unique<PlayScript>(logger);
    return script->Load(path);
}

void SyncDriver::OnPlaying() {
    if (!mediaReady) return;
    note("USBドングルへ再生コマンド送信");
    Reposition(player.GetTime());
    dongle.OpenPort();
}

void SyncDriver::OnPaused() {
    if (!mediaReady) return;
    note("USBドングルへ一時停止コマンド送信");
    dongle.SendStop();
}

void SyncDriver::OnStopped() {
    if (!mediaReady) return;
    note("USBドングルへ停止コマンド送信");
    dongle.ClosePort();
}

void SyncDriver::OnTick() {
    if (!mediaReady) return;
    const int64_t t = player.GetTime();
    if (devicesChanged) HandleDeviceChange(t);
    if (!script) return;
    if (const auto due = script->Advance(t)) dongle.SendCommand(due->command, due->time);
}

void SyncDriver::OnSeekStarted() { dongle.SendStop(); }

void SyncDriver::OnClose() {
    note("USBドングルへ停止コマンド送信");
    dongle.ClosePort();
}

void SyncDriver::OnDevicesChanged() {
    const int64_t t = player.GetTime();
    const PlayerState state = player.GetState();
    devicesChanged = true;
    switch (state) {
        case PlayerState::kNothingSpecial:
        case PlayerState::kPaused:
        case PlayerState::kStopped:
        case PlayerState::kEnded:
            if (logger != nullptr) logger->LogMessage("デバイスの接続状態が変化しました");
            HandleDeviceChange(t);
            break;
        default:  // opening, buffering, playing, error: the next tick handles it
            break;
    }
}

void SyncDriver::HandleDeviceChange(int64_t t) {
    if (!devicesChanged) return;
    devicesChanged = false;
    if (dongle.Reattach()) Reposition(t);
}

void SyncDriver::Reposition(int64_t t) {
    if (script) script->Seek(t);
}
