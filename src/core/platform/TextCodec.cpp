#include "platform/TextCodec.h"

#include <iconv.h>

#include <cerrno>
#include <string>
#include <string_view>

namespace platform {
namespace {

// One conversion descriptor per thread and direction: iconv state must not be shared between
// threads.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
    ~Converter() {
        if (Valid()) ::iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    [[nodiscard]] bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts `text`; where iconv stops at something it cannot convert, `replacement` is
    // written and skip(at, left) bytes are passed over (0: the rest is dropped).
    template <typename Skip>
    std::string Convert(std::string_view text, std::string_view replacement, Skip skip) {
        std::string out;
        out.reserve(text.size());
        char* in = const_cast<char*>(text.data());
        size_t inLeft = text.size();
        char buffer[256];
        ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        while (inLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            const size_t rc = ::iconv(cd_, &in, &inLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (rc != static_cast<size_t>(-1) || errno == E2BIG) continue;
            // EILSEQ or EINVAL: no character here, or none the target can hold.
            const size_t length = skip(in, inLeft);
            if (length == 0) break;
            out += replacement;
            in += length;
            inLeft -= length;
            ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

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
    thread_local Converter encoder("CP932", "UTF-8");
    if (!encoder.Valid()) return std::string(utf8);
    return encoder.Convert(utf8, "?", SkipLength);
}

std::string Utf16ToUtf8(std::string_view utf16, bool bigEndian) {
    thread_local Converter little("UTF-8", "UTF-16LE");
    thread_local Converter big("UTF-8", "UTF-16BE");
    Converter& decoder = bigEndian ? big : little;
    if (!decoder.Valid()) return {};
    // A unit that is no character is passed over; a last odd byte is dropped.
    return decoder.Convert(utf16, "\xEF\xBF\xBD",
                           [](const char*, size_t left) -> size_t { return left >= 2 ? 2 : 0; });
}

}  // namespace platform
