// UTF-8 to code page 932 on any bytes, against a plain reference that cuts the input into
// well-formed UTF-8 characters and single bytes that are not (Unicode's table of well-formed
// sequences) and converts each character alone: a character the code page holds becomes its
// bytes, anything else one '?'. The output is never longer than the input, and reading it
// back as code page 932 and converting again gives it unchanged.

#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/TextCodec.h"

namespace {

[[noreturn]] void Fail(const char* what, size_t at) {
    std::fprintf(stderr, "fuzz_text_codec: %s (%zu)\n", what, at);
    std::abort();
}

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(::iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) Fail("iconv_open", 0);
    }
    ~Converter() { ::iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // The whole of `text` converted, or nothing when any of it does not convert.
    std::optional<std::string> Convert(std::string_view text) {
        ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string out(text.size() * 4 + 8, '\0');
        char* in = const_cast<char*>(text.data());
        size_t inLeft = text.size();
        char* dst = out.data();
        size_t dstLeft = out.size();
        if (::iconv(cd_, &in, &inLeft, &dst, &dstLeft) == static_cast<size_t>(-1)) {
            return std::nullopt;
        }
        out.resize(out.size() - dstLeft);
        return out;
    }

private:
    iconv_t cd_;
};

// The length of the well-formed UTF-8 character at `text`, or 0.
size_t CharacterLength(std::string_view text) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const auto in = [&](size_t i, unsigned low, unsigned high) {
        return i < text.size() && byte(i) >= low && byte(i) <= high;
    };
    const unsigned lead = byte(0);
    if (lead <= 0x7F) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return in(1, 0x80, 0xBF) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned high = lead == 0xED ? 0x9F : 0xBF;
        return in(1, low, high) && in(2, 0x80, 0xBF) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
        return in(1, low, high) && in(2, 0x80, 0xBF) && in(3, 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Converter toCp932("CP932", "UTF-8");
    static Converter fromCp932("UTF-8", "CP932");
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string output = platform::Utf8ToCp932(input);

    std::string expected;
    for (size_t i = 0; i < input.size();) {
        const size_t length = CharacterLength(input.substr(i));
        const auto converted = length > 0 ? toCp932.Convert(input.substr(i, length)) : std::nullopt;
        expected += converted ? *converted : "?";
        i += length > 0 ? length : 1;
    }
    if (output != expected) {
        size_t at = 0;
        while (at < output.size() && at < expected.size() && output[at] == expected[at]) ++at;
        Fail("differs from the character-by-character conversion at output byte", at);
    }
    if (output.size() > input.size()) Fail("longer than the input", output.size());

    const std::optional<std::string> back = fromCp932.Convert(output);
    if (!back) Fail("output is not code page 932", 0);
    if (platform::Utf8ToCp932(*back) != output) Fail("no round trip through the code page", 0);
    return 0;
}
