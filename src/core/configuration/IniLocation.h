#pragma once

// Where the settings file is found. The program reads it and never writes it. In order:
//   1. Kestrune.ini next to the executable (a portable install, or the build folder);
//   2. $XDG_CONFIG_HOME/kestrune/Kestrune.ini, $HOME/.config/kestrune/ when that is unset;
//   3. /etc/kestrune/Kestrune.ini.
// The first that exists and can be read is the one; with none, every setting is its default.

#include <optional>
#include <string>
#include <vector>

namespace configuration {

inline constexpr const char* kIniFileName = "Kestrune.ini";
inline constexpr const char* kSystemConfigFolder = "/etc/kestrune/";

// The places looked at, best first. `moduleDirectory` ends with "/" (empty: not known);
// `xdgConfigHome` and `home` are the environment's values (null: unset). Relative values of
// either are ignored, as the XDG base directory rules say.
[[nodiscard]] std::vector<std::string> IniSearchPath(const std::string& moduleDirectory,
                                                     const char* xdgConfigHome, const char* home);

// The first place that holds a readable file; nullopt when none does.
[[nodiscard]] std::optional<std::string> FindIniFile(const std::vector<std::string>& places);

struct IniChoice {
    std::optional<std::string> file;  // nullopt: none found, the defaults apply
    std::vector<std::string> places;  // where it was looked for

    // For the debug window: which file was read, or that none was and where it was looked for.
    [[nodiscard]] std::string Describe() const;
};

// Looks the settings file up for this process (the executable's folder, the environment) and
// makes the choice this process's (UseIniChoice).
void SelectIniFile();

// Makes `choice` this process's: its file becomes the one every settings reader uses by
// default, and the main window's debug window names it before anything else.
void UseIniChoice(IniChoice choice);

// The choice in use; nullopt until one is made (the readers then use profile::kIniFile).
[[nodiscard]] const std::optional<IniChoice>& CurrentIniChoice();

// Back to the state before any choice (for tests).
void ForgetIniChoice();

}  // namespace configuration
