#pragma once

// What the playback session needs of the user interface: the places it shows the playback
// (title, times, seek position, counter, heat, the mute and repeat buttons, the DVD menu), the
// boxes only a window can word, the volume the user set, timers and a way to run work later on
// the user-interface thread. The main window implements it; tests implement it to record what
// the session shows. Called on the user-interface thread, except Post.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sync/PlayScript.h"

// The session's timers (the synchronisation's own run on the device thread), numbered from 0.
enum class SessionTimer {
    kForward = 0,  // fast forward held, every 200 ms
    kRewind = 1,   // rewind held, every 200 ms
    kRepeat = 2,   // the pause before a repeat starts the media again
};

class PlaybackView {
public:
    virtual ~PlaybackView() = default;

    // The title band's text (UTF-8); while `opening`, the window adds that the media is
    // opening.
    virtual void ShowTitle(const std::string& title, bool opening) = 0;
    // The bar's time labels ("hh:mm:ss"), seek position (0 to 100) and counter (a time in ms).
    virtual void ShowElapsed(const std::string& text) = 0;
    virtual void ShowTotal(const std::string& text) = 0;
    virtual void ShowPosition(int position) = 0;
    virtual void ShowCounter(int64_t timeMs) = 0;
    // The play file's heat over a media of `lengthMs`; no lines or no length clear it.
    virtual void ShowScriptHeat(const std::vector<CSV_LINE>& lines, int64_t lengthMs) = 0;
    virtual void ClearScriptHeat() = 0;
    virtual void ShowMute(bool on) = 0;
    virtual void ShowRepeat(bool on) = 0;
    // The DVD menu, made again from what the player reports now.
    virtual void RebuildMenu() = 0;
    // A disc shows one of its own menus, or no longer: while it does, the pointer over the
    // video moves between the menu's buttons and a click activates one.
    virtual void ShowDiscMenu(bool shown) = 0;
    // A play file is being recorded (or no longer): the window marks it over the video with the
    // command in force (the packet byte: bit 7 direction, bits 0-6 speed).
    virtual void ShowRecording(bool on, uint8_t command) = 0;
    // The box that says the user may not open the dongle's device node, owned by `group`.
    virtual void ShowDeviceAccessDenied(const std::string& device, const std::string& group) = 0;
    // The volume slider's position, 0 to 100.
    [[nodiscard]] virtual int Volume() const = 0;
    // Repaints the window.
    virtual void Repaint() = 0;

    // Starts `timer` (again, if it runs) to call PlaybackSession::OnTimer every `ms`.
    virtual void StartTimer(SessionTimer timer, int ms) = 0;
    virtual void StopTimer(SessionTimer timer) = 0;
    [[nodiscard]] virtual bool IsTimerActive(SessionTimer timer) const = 0;

    // Runs `task` on the user-interface thread once the work queued before it is done. Safe to
    // call from any thread.
    virtual void Post(std::function<void()> task) = 0;
};
