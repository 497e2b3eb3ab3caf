#pragma once

// Reassembles the dongle's 3-byte command packets (0x01 0x01 CMD) from a byte stream that
// may be cut anywhere. A packet is taken by stream position once its two header bytes are
// seen; a byte that cannot start or continue a header is reported as stray and dropped, which
// brings the stream back in step at the next 0x01 0x01.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>

namespace devsim {

inline constexpr uint8_t kHeaderByte = 0x01;

struct Packet {
    uint8_t bytes[3];
    [[nodiscard]] int Direction() const { return bytes[2] >> 7; }
    [[nodiscard]] int Speed() const { return bytes[2] & 0x7F; }
};

class PacketStream {
public:
    using PacketHandler = std::function<void(const Packet&)>;
    using StrayHandler = std::function<void(uint8_t)>;

    PacketStream(PacketHandler onPacket, StrayHandler onStray)
        : onPacket_(std::move(onPacket)), onStray_(std::move(onStray)) {}

    void Feed(const uint8_t* data, size_t size);
    // Reports the bytes of an unfinished packet as stray and starts afresh (the port went).
    void Discard();

private:
    PacketHandler onPacket_;
    StrayHandler onStray_;
    uint8_t held_[3] = {};
    size_t heldSize_ = 0;
};

}  // namespace devsim
