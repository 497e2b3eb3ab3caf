// DVD locations from any bytes as the path: after "dvd://" only unreserved characters, '/'
// and %XX escapes may stand (so nothing libvlc cuts at, '#' or '?', and no lone '%'), and
// decoding the escapes must give the path back byte for byte.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "player/MediaLocation.h"

namespace {

[[noreturn]] void Fail(const char* what, size_t at) {
    std::fprintf(stderr, "fuzz_dvd_location: %s at %zu\n", what, at);
    std::abort();
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower case is not what the location writes
}

bool Unreserved(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path(reinterpret_cast<const char*>(data), size);
    const std::string location = DvdLocation(path);
    if (location.rfind("dvd://", 0) != 0) Fail("no dvd:// in front", 0);

    std::string decoded;
    for (size_t i = 6; i < location.size(); ++i) {
        const char c = location[i];
        if (c == '%') {
            if (i + 2 >= location.size()) Fail("a cut escape", i);
            const int high = HexValue(location[i + 1]);
            const int low = HexValue(location[i + 2]);
            if (high < 0 || low < 0) Fail("an escape without two upper-case hex digits", i);
            const auto byte = static_cast<char>(high * 16 + low);
            // An escape for a character that may stand as it is would be harmless but
            // longer than needed; the location escapes exactly the others.
            if (Unreserved(byte) || byte == '/') Fail("a needless escape", i);
            decoded += byte;
            i += 2;
        } else if (Unreserved(c) || c == '/') {
            decoded += c;
        } else {
            Fail("a character that must be escaped", i);
        }
    }
    if (decoded != path) Fail("the escapes do not give the path back", decoded.size());
    return 0;
}
