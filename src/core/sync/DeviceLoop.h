#pragma once

// The device thread: the device link's work (opening and closing the port, the paced packets,
// reconnection) and the synchronisation steps run here, so that the user-interface thread never
// waits for the device. Work is taken in the order it was posted, from any thread; between
// pieces of work, the synchronisation step runs at the times the SyncRhythm says while ticks
// are on. The SyncDriver posts its device work here and gives the step. Owned by the playback
// session; destroyed before the link and the driver it runs for.
//
// A loop made Inline() has no thread: posted work runs at once on the caller's thread and no
// tick runs by itself, for tests that drive the steps by hand.

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/MonotonicClock.h"
#include "sync/SyncRhythm.h"

class DeviceLoop {
public:
    using Work = std::function<void()>;
    // The synchronisation step, and how long until the script's next line is due after it.
    using Step = std::function<void()>;
    using NextLineInMs = std::function<std::optional<int64_t>()>;

    // Starts the device thread.
    explicit DeviceLoop(const platform::MonotonicClock& clock = platform::Steady());
    // Work runs at once on the caller's thread; ticks never run by themselves.
    [[nodiscard]] static std::unique_ptr<DeviceLoop> Inline();
    // Runs the work still queued, then ends the thread.
    ~DeviceLoop();
    DeviceLoop(const DeviceLoop&) = delete;
    DeviceLoop& operator=(const DeviceLoop&) = delete;

    // Runs `work` on the device thread after all work posted before it. Any thread.
    void Post(Work work);
    // Posts `work` and waits until it has run. Not from the device thread.
    void Run(const Work& work);
    // The step and the next line's time; set before ticks start.
    void SetStep(Step step, NextLineInMs nextLineInMs);
    // Ticks on from now, or off; in order with the work posted around them. Any thread.
    void StartTicks();
    void StopTicks();

private:
    struct InlineTag {};
    explicit DeviceLoop(InlineTag);
    void Loop();

    const platform::MonotonicClock& clock_;
    const bool inline_;
    Step step_;
    NextLineInMs nextLineInMs_;
    SyncRhythm rhythm_;  // device thread only

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Work> queue_;
    bool ending_ = false;
    std::thread thread_;
};
