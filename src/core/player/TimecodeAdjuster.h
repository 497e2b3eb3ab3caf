#pragma once

// The player's time source. AdjustedPlayer reads and sets the playback position only through
// its current adjuster: a FileAdjuster for video files, a DVDAdjuster for DVDs. The base
// class reads 0 and ignores seeks. Used under AdjustedPlayer's lock.

#include <cstdint>

class TimecodeAdjuster {
public:
    virtual ~TimecodeAdjuster() = default;
    virtual void SetTime(int64_t) {}
    [[nodiscard]] virtual int64_t GetTime() { return 0; }
    // Playback (re)started.
    virtual void Reset() {}
    // The player went to another title or menu of a disc: the clock counts from that title's
    // start, and a seek still waiting is forgotten.
    virtual void NewTitle() { Reset(); }
};
