#pragma once

// When the synchronisation steps run: a tick every 40 ms while playing, phase-locked to its
// start, and a one-shot at the time of a line due before the next tick, so that each line goes
// out at its own time rather than up to 40 ms late. A step that a blocked write held up for a
// write's time-out is followed by one tick without a step and no line timer, so that the
// device thread takes the commands that waited meanwhile before the link may hold it again.
// Pure arithmetic on the caller's monotonic milliseconds; owned by the DeviceLoop, used on the
// device thread.
//
//   Start(t)      ticks at t+40, t+80, ...   (a late tick: the next 40 ms after it)
//   StepDone      line due in d ms, 0 < d < 40: a step at the step's end + d as well
//   Stop          no more steps

#include <cstdint>
#include <optional>

class SyncRhythm {
public:
    static constexpr int64_t kTickMs = 40;
    // A step that took this long waited a write's time-out.
    static constexpr int64_t kOverrunMs = 500;

    void Start(int64_t nowMs);
    void Stop();
    [[nodiscard]] bool Running() const { return running_; }

    // When the next step is due, while running.
    [[nodiscard]] std::optional<int64_t> NextDueMs() const;
    // Whether a step runs at `nowMs`; takes the tick or line time that came due.
    [[nodiscard]] bool TakeDue(int64_t nowMs);
    // A step ran from `beganMs` to `endedMs`; the script's next line is due `nextLineInMs`
    // after `endedMs` (nothing when none waits).
    void StepDone(int64_t beganMs, int64_t endedMs, std::optional<int64_t> nextLineInMs);

private:
    bool running_ = false;
    int64_t nextTickMs_ = 0;
    std::optional<int64_t> lineAtMs_;
    bool skipNext_ = false;
};
