#include "player/MediaLocation.h"

namespace {

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

}  // namespace

std::string DvdLocation(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string location = "dvd://";
    location.reserve(location.size() + path.size() * 3);
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsUnreserved(byte) || c == '/') {
            location += c;
        } else {
            location += '%';
            location += kHex[byte >> 4];
            location += kHex[byte & 0x0F];
        }
    }
    return location;
}
