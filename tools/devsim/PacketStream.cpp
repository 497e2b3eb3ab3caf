#include "PacketStream.h"

namespace devsim {

void PacketStream::Feed(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = data[i];
        if (heldSize_ < 2 && byte != kHeaderByte) {
            // A lone 0x01 before this byte was not a header after all.
            if (heldSize_ == 1) onStray_(held_[0]);
            onStray_(byte);
            heldSize_ = 0;
            continue;
        }
        held_[heldSize_++] = byte;
        if (heldSize_ == 3) {
            onPacket_(Packet{{held_[0], held_[1], held_[2]}});
            heldSize_ = 0;
        }
    }
}

void PacketStream::Discard() {
    for (size_t i = 0; i < heldSize_; ++i) onStray_(held_[i]);
    heldSize_ = 0;
}

}  // namespace devsim
