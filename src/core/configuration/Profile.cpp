#include "configuration/Profile.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/TextCodec.h"

namespace profile {
namespace {

// The profile functions copy a string value into a 256-byte buffer and an integer value into
// one of 30 characters before reading its number.
constexpr size_t kStringBuffer = kMaxValueLength + 1;
constexpr size_t kIntegerBuffer = 30;

bool IsBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && IsBlank(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    return text;
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && IsBlank(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view Trim(std::string_view text) { return TrimLeft(TrimRight(text)); }

// Names and values are C strings: a NUL byte ends them. Blanks are trimmed before the cut,
// so blanks in front of a NUL stay.
std::string_view CutAtNul(std::string_view text) { return text.substr(0, text.find('\0')); }

// The file is read as bytes: names are compared with ASCII case folding only.
bool EqualsNoCase(std::string_view a, std::string_view b) {
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [&](unsigned char x, unsigned char y) { return lower(x) == lower(y); });
}

// The file's text: a UTF-8 byte-order mark is dropped, a file with a UTF-16 one (either byte
// order) is read as UTF-16, anything else is taken byte for byte. nullopt: no file.
std::optional<std::string> ReadIniText(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string_view text(bytes);
    if (text.starts_with("\xEF\xBB\xBF")) return std::string(text.substr(3));
    if (text.starts_with("\xFF\xFE")) return platform::Utf16ToUtf8(text.substr(2), false);
    if (text.starts_with("\xFE\xFF")) return platform::Utf16ToUtf8(text.substr(2), true);
    return bytes;
}

// Looks the key up: its value with leading blanks gone and cut at a NUL; nullopt when the
// file, the section or the key is missing, or when the key's first line has no "=".
std::optional<std::string> FindValue(const std::string& section, const std::string& key,
                                     const std::string& file) {
    const auto text = ReadIniText(file);
    if (!text) return std::nullopt;
    const std::string_view wantedSection = CutAtNul(Trim(section));
    const std::string_view wantedKey = CutAtNul(Trim(key));

    // Lines before the first header belong to a section named "".
    bool inSection = wantedSection.empty();
    size_t start = 0;
    while (start <= text->size()) {
        size_t end = text->find_first_of("\r\n", start);
        if (end == std::string::npos) end = text->size();
        const std::string_view line = Trim(std::string_view(*text).substr(start, end - start));
        start = end + 1;
        if (line.empty()) continue;

        // A header runs to the line's last "]"; a "[" without one starts a key like any other.
        const auto close = line.rfind(']');
        if (line.front() == '[' && close != std::string_view::npos) {
            if (inSection) return std::nullopt;  // the first matching section ended
            inSection = EqualsNoCase(CutAtNul(Trim(line.substr(1, close - 1))), wantedSection);
            continue;
        }
        if (!inSection) continue;
        const auto equals = line.find('=');
        if (!EqualsNoCase(CutAtNul(TrimRight(line.substr(0, equals))), wantedKey)) continue;
        if (equals == std::string_view::npos) return std::nullopt;  // a key without a value
        return std::string(CutAtNul(TrimLeft(line.substr(equals + 1))));
    }
    return std::nullopt;
}

// The copy into a caller's buffer of `size` bytes. A value that starts and ends with the same
// quote, single or double, loses its first one; the last character of the copy then goes
// too, unless the value was longer than the buffer. So a quoted value that just fits loses
// one character of its own: the profile functions do the same.
std::string CopyEntry(std::string_view value, size_t size) {
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    if (quoted) value.remove_prefix(1);
    std::string copy(value.substr(0, size - 1));
    if (quoted && size >= value.size()) copy.pop_back();
    return copy;
}

// A default loses its trailing spaces, though never its first character.
std::string_view TrimDefault(std::string_view value) {
    value = CutAtNul(value);
    while (value.size() > 1 && value.back() == ' ') value.remove_suffix(1);
    return value;
}

std::string& SelectedIniFile() {
    static std::string file = kIniFile;
    return file;
}

}  // namespace

const std::string& IniFile() { return SelectedIniFile(); }

void UseIniFile(std::string file) { SelectedIniFile() = std::move(file); }

std::string GetString(const std::string& section, const std::string& key,
                      const std::string& defaultValue, const std::string& file) {
    const auto value = FindValue(section, key, file);
    return CopyEntry(value ? std::string_view(*value) : TrimDefault(defaultValue), kStringBuffer);
}

int ParseProfileInt(const std::string& text) {
    size_t i = 0;
    // Control characters and spaces before the sign are skipped; none after it.
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint32_t base = 10;
    if (text.size() >= i + 2 && text[i] == '0') {
        const char prefix = text[i + 1];  // lower case only: "0X10" reads as 0
        base = prefix == 'x' ? 16 : prefix == 'o' ? 8 : prefix == 'b' ? 2 : 10;
        if (base != 10) i += 2;
    }
    // Accumulate modulo 2^32 as a 32-bit reader does; overlong numbers wrap, never overflow.
    uint32_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        uint32_t digit = base;
        if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
        if (c >= 'a' && c <= 'f') digit = static_cast<uint32_t>(c - 'a' + 10);
        if (c >= 'A' && c <= 'F') digit = static_cast<uint32_t>(c - 'A' + 10);
        if (digit >= base) break;
        value = value * base + digit;
    }
    if (negative) value = 0u - value;
    return static_cast<int32_t>(value);
}

int GetInt(const std::string& section, const std::string& key, int defaultValue,
           const std::string& file) {
    const auto value = FindValue(section, key, file);
    if (!value) return defaultValue;
    const std::string text = CopyEntry(*value, kIntegerBuffer);
    return text.empty() ? defaultValue : ParseProfileInt(text);
}

int GetKeyword(const std::string& section, const std::string& key, const std::string& file) {
    const std::string value = GetString(section, key, "", file);
    if (value.empty()) return -1;
    if (value == "ENABLE") return 1;
    if (value == "DISABLE") return 0;
    return -1;
}

size_t ReadProfileList(const std::string& section, const std::string& key,
                       const std::string& defaultValue, std::vector<std::string>& list,
                       const std::string& file) {
    const std::string value = GetString(section, key, defaultValue, file);
    if (value.empty()) return 0;
    size_t start = 0;
    for (;;) {
        const auto comma = value.find(',', start);
        list.push_back(value.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return list.size();
}

}  // namespace profile
