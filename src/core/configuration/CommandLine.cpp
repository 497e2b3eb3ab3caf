#include "configuration/CommandLine.h"

#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <system_error>

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

bool IsVideoTsName(const std::string& name) {
    return name.size() == 8 && EndsWithNoCase(name, "video_ts");
}

// Discs and copies of them spell the folder in either case.
bool HoldsVideoTs(const std::string& folder) {
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        if (IsVideoTsName(entry->path().filename().string()) &&
            IsDirectory(entry->path().string())) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool IsDvdSource(const std::string& path) {
    if (path.rfind("dvd://", 0) == 0) return true;
    if (IsDirectory(path)) {
        std::string folder = path;
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        return IsVideoTsName(folder.substr(folder.rfind('/') + 1)) || HoldsVideoTs(folder);
    }
    return EndsWithNoCase(path, ".iso") && IsRegularFile(path);
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    bool optionsEnded = false;
    bool videoGiven = false;  // an empty VIDEO counts as the one video: it opens nothing
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
        } else if (!videoGiven) {
            line.video = argument;
            videoGiven = true;
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
