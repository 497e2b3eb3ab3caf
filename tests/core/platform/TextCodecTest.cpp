#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/TextCodec.h"

namespace {

using platform::Utf8ToCp932;

struct CodecCase {
    std::string name;
    std::string utf8;
    std::string expected;
};

class TextCodec : public testing::TestWithParam<CodecCase> {};

TEST_P(TextCodec, ConvertsToCp932) { EXPECT_EQ(Utf8ToCp932(GetParam().utf8), GetParam().expected); }

std::string PrintableAscii() {
    std::string text = "\t\r\n";
    for (char c = 0x20; c < 0x7F; ++c) text += c;
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextCodec,
    testing::Values(
        CodecCase{"Empty", "", ""}, CodecCase{"AsciiUnchanged", PrintableAscii(), PrintableAscii()},
        CodecCase{"Katakana", "ログ", "\x83\x8D\x83\x4F"},
        CodecCase{"Kanji", "日本語", "\x93\xFA\x96\x7B\x8C\xEA"},
        CodecCase{"HalfWidthKatakana", "ｱｲ", "\xB1\xB2"},
        CodecCase{"WaveDashAndMinus", "～－", "\x81\x60\x81\x7C"},
        CodecCase{"CircledDigit", "①", "\x87\x40"},
        CodecCase{"MixedWithAscii", "USBドングル", "USB\x83\x68\x83\x93\x83\x4F\x83\x8B"},
        CodecCase{"EmojiIsOneQuestionMark", "😀", "?"}, CodecCase{"EuroIsOneQuestionMark", "€", "?"},
        CodecCase{"UnmappableBetweenText", "a😀b€c한d", "a?b?c?d"},
        CodecCase{"UnmappableThenJapanese", "😀😀ログ", "??\x83\x8D\x83\x4F"},
        CodecCase{"TruncatedLeadKeepsFollowingAscii",
                  "\xE3"
                  "AB",
                  "?AB"},
        CodecCase{"InvalidByteAlone", "\xFF", "?"},
        CodecCase{"StrayContinuation",
                  "A\x80"
                  "B",
                  "A?B"},
        CodecCase{"OverlongSlash", "\xC0\xAF", "??"},
        // Not characters, so every byte is one '?': a three-byte overlong form, a surrogate,
        // a code point above U+10FFFF and a four-byte overlong form.
        CodecCase{"OverlongThreeBytes", "\xE0\x80\xAF", "???"},
        CodecCase{"Surrogate", "\xED\xA0\x80", "???"},
        CodecCase{"AboveUnicode", "\xF4\x90\x80\x80", "????"},
        CodecCase{"OverlongFourBytes", "\xF0\x80\x80\xAF", "????"},
        // Their well-formed neighbours are characters the code page lacks: one '?' each.
        CodecCase{"HighestCharacters", "\xED\x9F\xBF\xF4\x8F\xBF\xBF", "??"},
        CodecCase{"InvalidThenJapanese", "\xFEログ", "?\x83\x8D\x83\x4F"}),
    [](const auto& info) { return info.param.name; });

TEST(TextCodecLong, ConvertsHundredKilobytesCompletely) {
    // Long mappable runs fill the output buffer many times over; the odd unit length puts
    // characters across buffer ends, and an unmappable character ends each run.
    std::string run;
    std::string runCp932;
    for (int i = 0; i < 60; ++i) {
        run += "ログx日本語-";
        runCp932 += "\x83\x8D\x83\x4Fx\x93\xFA\x96\x7B\x8C\xEA-";
    }
    std::string input;
    std::string expected;
    while (input.size() < 100 * 1024) {
        input += run + "😀";
        expected += runCp932 + "?";
    }
    const std::string output = Utf8ToCp932(input);
    EXPECT_EQ(output.size(), expected.size());
    EXPECT_TRUE(output == expected) << "long conversion differs";
}

TEST(TextCodecThreads, ConcurrentConversionsAreCorrect) {
    const std::pair<std::string, std::string> units[] = {
        {"ログ", "\x83\x8D\x83\x4F"},
        {"a😀b", "a?b"},
        {"\xE3"
         "AB",
         "?AB"},
        {"日本語", "\x93\xFA\x96\x7B\x8C\xEA"},
    };
    // Each sample repeats its unit so that a call is long enough to overlap with others.
    std::vector<std::pair<std::string, std::string>> samples;
    for (const auto& [input, expected] : units) {
        std::string text;
        std::string want;
        for (int r = 0; r < 50; ++r) {
            text += input;
            want += expected;
        }
        samples.emplace_back(text, want);
    }

    constexpr int kThreads = 8;
    constexpr int kRounds = 2000;
    std::atomic<int> wrong = 0;
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int i = 0; i < kRounds; ++i) {
                const auto& [input, expected] = samples[(t + i) % samples.size()];
                if (Utf8ToCp932(input) != expected) ++wrong;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace

namespace {

// `text` (ASCII, or code points below U+10000 given as UTF-16 units) in the byte order asked.
std::string Units(std::initializer_list<uint16_t> units, bool bigEndian) {
    std::string bytes;
    for (const uint16_t unit : units) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

TEST(Utf16, DecodesEitherByteOrderWithPairsAndMarksWhatIsNoCharacter) {
    for (const bool big : {false, true}) {
        SCOPED_TRACE(big ? "big endian" : "little endian");
        EXPECT_EQ(platform::Utf16ToUtf8("", big), "");
        EXPECT_EQ(platform::Utf16ToUtf8(Units({'k', '=', 0x30ED, 0x30B0}, big), big), "k=ログ");
        EXPECT_EQ(platform::Utf16ToUtf8(Units({0xD83D, 0xDE00, 'x'}, big), big), "😀x");
        // Surrogates without their partner: one replacement character each.
        EXPECT_EQ(platform::Utf16ToUtf8(Units({'a', 0xDE00, 'b', 0xD83D, 'c'}, big), big),
                  "a\uFFFDb\uFFFDc");
        EXPECT_EQ(platform::Utf16ToUtf8(Units({'a', 0xD83D}, big), big), "a\uFFFD");
        // An odd last byte is dropped.
        EXPECT_EQ(platform::Utf16ToUtf8(Units({'a', 'b'}, big) + "c", big), "ab");
    }
    // Long text crosses the conversion's buffer many times.
    std::string long16;
    std::string long8;
    for (int i = 0; i < 5000; ++i) {
        long16 += Units({0x65E5, 'x', 0xD83D, 0xDE00}, false);
        long8 += "日x😀";
    }
    EXPECT_TRUE(platform::Utf16ToUtf8(long16, false) == long8);
}

}  // namespace
