#pragma once

// Reading the ini file as the Windows profile functions read it, so that a file brought from
// there gives the same values. Every reader opens the file, finds the value and closes it
// again, so a missing file or key simply yields the default. Rules:
//   - a UTF-8 byte-order mark is skipped; a file that starts with a UTF-16 one (either byte
//     order) is read as UTF-16 and its text handled as UTF-8; any other file byte for byte;
//   - LF and CR each end a line; a line loses its leading and trailing blanks (space, tab,
//     LF, VT, FF, CR);
//   - a line that starts with "[" and has a "]" opens a section named by the text up to its
//     last "]", blanks trimmed; the rest of the line is ignored. Lines before the first
//     section belong to a section named "";
//   - any other line is a key: the text before its first "=" with trailing blanks trimmed,
//     and the value after it with leading blanks trimmed. A line without "=" is a key
//     without a value, which reads as missing. ";" starts no comment: such a line is a key
//     like any other, which no reader asks for;
//   - a NUL byte ends the name or value it is in, after the trimming;
//   - the names asked for lose their blanks; names match without regard to ASCII letter case;
//   - the first section of the name and the first line of the key in it answer;
//   - a value is copied into 256 bytes, so at most 255 characters. One that starts and ends
//     with the same quote, single or double, loses the quotes; but quoted text of exactly
//     255 characters reads as its first 254, and longer quoted text as its first 255;
//   - a default is copied the same way after losing its trailing spaces, though never its
//     first character;
//   - a number is read from the value copied the same way into 30 characters (29 of them).

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

// The integer at the start of the value (ParseProfileInt); `defaultValue` when the key is
// missing or its value empty.
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

// The integer reading of one value text: control characters and spaces skipped, an optional
// sign, then "0x", "0o" or "0b" (lower case) for hexadecimal, octal or binary digits, else
// decimal ones, up to the first that is not; 0 when there are none. Wraps modulo 2^32.
[[nodiscard]] int ParseProfileInt(const std::string& text);

}  // namespace profile
