#include "platform/TextCodec.h"

#include <iconv.h>

#include <cerrno>

namespace platform {
namespace {

// One conversion descriptor per thread: iconv state must not be shared between threads.
class Cp932Encoder {
public:
    Cp932Encoder() : cd_(::iconv_open("CP932", "UTF-8")) {}
    ~Cp932Encoder() {
        if (Valid()) ::iconv_close(cd_);
    }
    Cp932Encoder(const Cp932Encoder&) = delete;
    Cp932Encoder& operator=(const Cp932Encoder&) = delete;

    [[nodiscard]] bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    [[nodiscard]] iconv_t Get() const { return cd_; }

private:
    iconv_t cd_;
};

// Bytes to skip at `text`: a whole well-formed UTF-8 sequence (a character that the code page
// cannot hold), or a single byte that does not start one. Well-formed as Unicode has it: no
// overlong forms, surrogates or code points above U+10FFFF, which the second byte tells.
size_t SkipLength(const char* text, size_t left) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byte(0);
    size_t length = 1;
    unsigned secondLow = 0x80;
    unsigned secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) secondLow = 0xA0;
        if (lead == 0xED) secondHigh = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) secondLow = 0x90;
        if (lead == 0xF4) secondHigh = 0x8F;
    }
    if (length > left) return 1;
    if (length > 1 && (byte(1) < secondLow || byte(1) > secondHigh)) return 1;
    for (size_t i = 2; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 1;
    }
    return length;
}

}  // namespace

std::string Utf8ToCp932(std::string_view utf8) {
    thread_local Cp932Encoder encoder;
    if (!encoder.Valid()) return std::string(utf8);

    std::string out;
    out.reserve(utf8.size());
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char buffer[256];
    ::iconv(encoder.Get(), nullptr, nullptr, nullptr, nullptr);
    while (inLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t rc = ::iconv(encoder.Get(), &in, &inLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<size_t>(dst - buffer));
        if (rc != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: an unmappable character or broken UTF-8; replace and skip it.
        const size_t skip = SkipLength(in, inLeft);
        out += '?';
        in += skip;
        inLeft -= skip;
        ::iconv(encoder.Get(), nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

}  // namespace platform
