#pragma once

// A clock that never goes back, in milliseconds from an arbitrary start. An interface so that
// tests can drive time; SteadyClock is the real one.

#include <cstdint>

namespace platform {

class MonotonicClock {
public:
    virtual ~MonotonicClock() = default;
    [[nodiscard]] virtual int64_t NowMs() const = 0;
};

class SteadyClock final : public MonotonicClock {
public:
    [[nodiscard]] int64_t NowMs() const override;
};

// One process-wide steady clock for callers that take no clock of their own.
[[nodiscard]] const MonotonicClock& Steady();

}  // namespace platform
