#pragma once

// A player clock set by hand: the adjusted time and the state the synchronisation reads, also
// from a device thread while the test sets them.

#include <atomic>
#include <cstdint>

#include "player/PlayerClock.h"

namespace testing_support {

class HandClock final : public PlayerClock {
public:
    [[nodiscard]] int64_t GetTime() override { return now; }
    [[nodiscard]] PlayerState GetState() const override { return state; }
    std::atomic<int64_t> now = 0;
    std::atomic<PlayerState> state = PlayerState::kNothingSpecial;
};

}  // namespace testing_support
