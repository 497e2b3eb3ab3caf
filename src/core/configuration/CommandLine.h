#pragma once

// The command line: Kestrune [VIDEO] [--play-file FILE] [--play] [--repeat] [--fullscreen].
// Without arguments the player starts empty, as from its icon.

#include <optional>
#include <string>
#include <vector>

struct CommandLine {
    std::string video;
    std::string playFile;
    bool play = false;
    bool repeat = false;
    bool fullScreen = false;
    bool help = false;
    std::string error;  // not empty when the arguments cannot be understood
};

inline constexpr const char* kUsage =
    "usage: Kestrune [VIDEO] [--play-file FILE] [--play] [--repeat] [--fullscreen]\n"
    "  VIDEO             a video file to open (its play file VIDEO.csv or VIDEO.txt is\n"
    "                    loaded when there is one and --play-file is not given), or a\n"
    "                    DVD: a VIDEO_TS folder, an .iso image or a dvd:// location\n"
    "  --play-file FILE  the play file to load\n"
    "  --play            start playing at once\n"
    "  --repeat          start with repeat on: the video starts again when it ends\n"
    "  --fullscreen      start in full screen\n"
    "Settings are read from Kestrune.ini next to the program, else from\n"
    "$XDG_CONFIG_HOME/kestrune/Kestrune.ini (~/.config/kestrune/ when unset), else from\n"
    "/etc/kestrune/Kestrune.ini; without one the defaults apply. The program never writes it.\n";

// `arguments` without the program name.
[[nodiscard]] CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// A DVD rather than a video file: a "dvd://" location, a folder holding VIDEO_TS, a VIDEO_TS
// folder itself (either name in any case), or an .iso image.
[[nodiscard]] bool IsDvdSource(const std::string& path);

// The play file that goes with a video: same folder and base name, extension .csv, else
// .txt, when such a file exists.
[[nodiscard]] std::optional<std::string> CompanionPlayFile(const std::string& video);
