#include "configuration/Profile.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <optional>
#include <utility>

namespace profile {
namespace {

// The file is read as bytes: names are compared with ASCII case folding only.
bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::string Trim(const std::string& text) {
    const auto blank = [](unsigned char c) { return c == ' ' || c == '\t' || c == '\r'; };
    size_t first = 0;
    size_t last = text.size();
    while (first < last && blank(text[first])) ++first;
    while (last > first && blank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

// Looks the key up; nullopt when the file, the section or the key is missing.
std::optional<std::string> FindValue(const std::string& section, const std::string& key,
                                     const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;

    bool inSection = false;
    bool sectionSeen = false;
    std::string line;
    bool firstLine = true;
    while (std::getline(in, line)) {
        if (firstLine && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
        firstLine = false;
        const std::string text = Trim(line);
        if (text.empty() || text[0] == ';') continue;
        if (text[0] == '[') {
            if (inSection) return std::nullopt;  // the first matching section ended
            const auto close = text.find(']');
            const std::string name =
                Trim(text.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            inSection = !sectionSeen && EqualsNoCase(name, section);
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        if (!inSection) continue;
        const auto equals = text.find('=');
        if (equals == std::string::npos) continue;
        if (!EqualsNoCase(Trim(text.substr(0, equals)), key)) continue;
        std::string value = Trim(text.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.size() > kMaxValueLength) value.resize(kMaxValueLength);
        return value;
    }
    return std::nullopt;
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
    std::string value = FindValue(section, key, file).value_or(defaultValue);
    if (value.size() > kMaxValueLength) value.resize(kMaxValueLength);
    return value;
}

int ParseProfileInt(const std::string& text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Accumulate modulo 2^32 as a 32-bit reader does; overlong numbers wrap, never overflow.
    uint32_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    }
    if (negative) value = 0u - value;
    return static_cast<int32_t>(value);
}

int GetInt(const std::string& section, const std::string& key, int defaultValue,
           const std::string& file) {
    const auto value = FindValue(section, key, file);
    if (!value || value->empty()) return defaultValue;
    return ParseProfileInt(*value);
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
