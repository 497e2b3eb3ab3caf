#pragma once

// The player's time source. AdjustedPlayer reads and sets the playback position only through
// its current adjuster: a FileAdjuster for video files, a DVDAdjuster for DVDs. The base
// class reads 0 and ignores seeks. Used from the user-interface thread only.

#include <cstdint>

// Player states as the rest of the program sees them.
enum PlayerState : int {
    kStateNothingSpecial = 0,
    kStateOpening = 1,
    kStateBuffering = 2,
    kStatePlaying = 3,
    kStatePaused = 4,
    kStateStopped = 5,
    kStateEnded = 6,
    kStateError = 7,
};

// What an adjuster needs of the player; VlcPlayer provides it.
class PlayerTime {
public:
    virtual ~PlayerTime() = default;
    // Playback position in ms as the player reports it; -1 without media.
    [[nodiscard]] virtual int64_t GetTime() const = 0;
    virtual void SetTime(int64_t ms) = 0;
    // One of PlayerState.
    [[nodiscard]] virtual int GetState() const = 0;
};

class TimecodeAdjuster {
public:
    virtual ~TimecodeAdjuster() = default;
    virtual void SetTime(int64_t) {}
    [[nodiscard]] virtual int64_t GetTime() { return 0; }
    // Playback (re)started.
    virtual void Reset() {}
};
