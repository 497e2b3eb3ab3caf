// The ini readers: any bytes as the ini file, read with fixed section and key names and with
// names taken from the input's first bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ScratchFile.h"
#include "configuration/Profile.h"

namespace {

void Check(bool condition, const char* what, const std::string& section, const std::string& key) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_ini: %s for [%s] %s\n", what, section.c_str(), key.c_str());
    std::abort();
}

void ReadAll(const std::string& section, const std::string& key, const std::string& path) {
    using profile::kMaxValueLength;
    const std::string longDefault(300, 'd');

    const std::string value = profile::GetString(section, key, "", path);
    Check(value.size() <= kMaxValueLength, "value longer than 255", section, key);
    const std::string orDefault = profile::GetString(section, key, longDefault, path);
    Check(orDefault.size() <= kMaxValueLength, "default not cut to 255", section, key);
    // An empty value and a missing key look the same with an empty default; the long default
    // tells them apart.
    Check(value.empty() ? orDefault.empty() || orDefault == longDefault.substr(0, kMaxValueLength)
                        : orDefault == value,
          "GetString depends on the default", section, key);

    const int keyword = profile::GetKeyword(section, key, path);
    Check(keyword >= -1 && keyword <= 1, "GetKeyword out of range", section, key);
    Check(keyword == (value == "ENABLE"    ? 1
                      : value == "DISABLE" ? 0
                                           : -1),
          "GetKeyword disagrees with GetString", section, key);

    // The number is read from a copy of 29 characters, so only shorter values are the same
    // text for both readers.
    const int number = profile::GetInt(section, key, 12345, path);
    Check(value.size() > 28 || number == (value.empty() ? 12345 : profile::ParseProfileInt(value)),
          "GetInt disagrees with GetString", section, key);

    std::vector<std::string> list{"kept"};
    const size_t count = profile::ReadProfileList(section, key, "", list, path);
    if (value.empty()) {
        Check(count == 0 && list.size() == 1, "list changed by an empty value", section, key);
    } else {
        Check(count == list.size() && list.size() >= 2 && list[0] == "kept", "list not appended to",
              section, key);
        std::string joined = list[1];
        for (size_t i = 2; i < list.size(); ++i) joined += "," + list[i];
        Check(joined == value, "list pieces do not rebuild the value", section, key);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchFile file("kestrune-fuzz-ini");
    const std::string& path = file.Write(data, size);

    // The first byte gives the lengths of a section and a key name that follow it.
    std::string section;
    std::string key;
    if (size > 0) {
        const size_t sectionLength = std::min<size_t>(data[0] & 0x0F, size - 1);
        const size_t keyLength = std::min<size_t>(data[0] >> 4, size - 1 - sectionLength);
        section.assign(reinterpret_cast<const char*>(data) + 1, sectionLength);
        key.assign(reinterpret_cast<const char*>(data) + 1 + sectionLength, keyLength);
    }

    ReadAll("DEBUG", "LOG_LEVEL", path);
    ReadAll("setting", "Port", path);
    ReadAll("", "", path);
    ReadAll(section, key, path);
    ReadAll(section, "LOG_LEVEL", path);
    ReadAll("DEBUG", key, path);
    return 0;
}
