#include "configuration/CommandLine.h"

#include <sys/stat.h>

#include <cctype>

namespace {

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[text.size() - suffix.size() + i])) !=
            suffix[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool IsDvdSource(const std::string& path) {
    if (path.rfind("dvd://", 0) == 0) return true;
    if (IsDirectory(path)) {
        std::string folder = path;
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        return EndsWithNoCase(folder, "video_ts") || IsDirectory(folder + "/VIDEO_TS");
    }
    return EndsWithNoCase(path, ".iso") && IsRegularFile(path);
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument == "--play") {
            line.play = true;
        } else if (!optionsEnded && argument == "--repeat") {
            line.repeat = true;
        } else if (!optionsEnded && argument == "--fullscreen") {
            line.fullScreen = true;
        } else if (!optionsEnded && (argument == "--help" || argument == "-h")) {
            line.help = true;
        } else if (!optionsEnded && argument == "--play-file") {
            if (i + 1 == arguments.size()) {
                line.error = "--play-file needs a file";
                break;
            }
            line.playFile = arguments[++i];
        } else if (!optionsEnded && argument.rfind("--play-file=", 0) == 0) {
            line.playFile = argument.substr(12);
        } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
            line.error = "unknown option " + argument;
            break;
        } else if (line.video.empty()) {
            line.video = argument;
        } else {
            line.error = "only one video can be opened";
            break;
        }
    }
    return line;
}

std::optional<std::string> CompanionPlayFile(const std::string& video) {
    const auto slash = video.rfind('/');
    const auto dot = video.rfind('.');
    const std::string base =
        dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)
            ? video.substr(0, dot)
            : video;
    for (const char* extension : {".csv", ".txt"}) {
        const std::string candidate = base + extension;
        if (candidate != video && IsRegularFile(candidate)) return candidate;
    }
    return std::nullopt;
}
