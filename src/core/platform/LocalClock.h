#pragma once

// The wall clock in local time, as the operation log and the debug window stamp their
// lines. An interface so that tests can pin the time; SystemLocalClock is the real one.

#include <cstdint>

namespace platform {

struct LocalTime {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;
    int hour = 0;  // 0 to 23
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    // The same instant in milliseconds since the epoch, for exact differences.
    int64_t epochMilliseconds = 0;
};

class LocalClock {
public:
    virtual ~LocalClock() = default;
    [[nodiscard]] virtual LocalTime Now() const = 0;
};

class SystemLocalClock final : public LocalClock {
public:
    [[nodiscard]] LocalTime Now() const override;
};

// One process-wide system clock for callers that take no clock of their own.
[[nodiscard]] const LocalClock& SystemClock();

}  // namespace platform
