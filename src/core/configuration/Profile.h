#pragma once

// Reading the ini file. Every reader opens the file, finds the value and closes it again, so
// a missing file or key simply yields the default. Rules:
//   - "[name]" opens a section; text before the first section belongs to none;
//   - "key=value" lines; section and key names match without regard to letter case;
//   - the first matching section and the first matching key in it win;
//   - key and value lose surrounding blanks, and a value in matching double quotes loses them;
//   - lines starting with ";" are comments;
//   - values are cut to 255 characters.

#include <string>
#include <vector>

namespace profile {

inline constexpr const char* kIniFile = "./Kestrune.ini";
inline constexpr size_t kMaxValueLength = 255;

// The file the readers use when none is named: kIniFile (in the working folder) until the
// program picks one at start-up (configuration/IniLocation). Empty: there is none, and every
// value is its default.
[[nodiscard]] const std::string& IniFile();
void UseIniFile(std::string file);

// The value, or `defaultValue` when the section or key is missing. Cut to 255 characters.
[[nodiscard]] std::string GetString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue,
                                    const std::string& file = IniFile());

// The integer at the start of the value: an optional sign and decimal digits, 0 when there
// are none; `defaultValue` when the key is missing or its value empty.
[[nodiscard]] int GetInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& file = IniFile());

// 1 for exactly "ENABLE", 0 for exactly "DISABLE" (letter case counts), -1 otherwise.
[[nodiscard]] int GetKeyword(const std::string& section, const std::string& key,
                             const std::string& file = IniFile());

// Appends the comma-separated pieces of the value to `list`, untrimmed and with empty pieces
// kept; leaves the list alone when the value is empty. Returns the list's size.
size_t ReadProfileList(const std::string& section, const std::string& key,
                       const std::string& defaultValue, std::vector<std::string>& list,
                       const std::string& file = IniFile());

// The integer reading of one value text (exposed for the tests of its rules).
[[nodiscard]] int ParseProfileInt(const std::string& text);

}  // namespace profile
