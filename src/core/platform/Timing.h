#pragma once

// The millisecond tick and the sleep that pace the command packets. An interface so that
// tests can drive time; SystemTiming is the real one.

#include <cstdint>

namespace platform {

class Timing {
public:
    virtual ~Timing() = default;
    // Monotonic milliseconds, wrapping at 2^32: take differences as unsigned.
    [[nodiscard]] virtual uint32_t TickMs() const = 0;
    // Blocks the calling thread.
    virtual void Sleep(uint32_t ms) const = 0;
};

class SystemTiming final : public Timing {
public:
    [[nodiscard]] uint32_t TickMs() const override;
    void Sleep(uint32_t ms) const override;
};

}  // namespace platform
