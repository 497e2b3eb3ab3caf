#include "player/DroppedFiles.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string LowerExtension(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

bool IsPlayFileName(const fs::path& path) {
    const std::string extension = LowerExtension(path);
    return extension == ".csv" || extension == ".txt";
}

bool IsDirectory(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

bool IsRegularFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

bool IsVideoTsName(const fs::path& path) {
    std::string name = path.filename().string();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return name == "VIDEO_TS";
}

// A folder holding VIDEO_TS (in any case), or VIDEO_TS itself: the DVD dialog's folder entry
// takes either.
bool IsDvdFolder(const fs::path& path) {
    if (!IsDirectory(path)) return false;
    if (IsVideoTsName(path)) return true;
    std::error_code error;
    for (fs::directory_iterator entry(path, error), end; !error && entry != end;
         entry.increment(error)) {
        if (IsVideoTsName(entry->path()) && IsDirectory(entry->path())) return true;
    }
    return false;
}

// "movie.mp4" finds "movie.csv" or "movie.txt" beside it (the extension in either case).
std::string SameNamePlayFile(const fs::path& video) {
    for (const char* extension : {".csv", ".CSV", ".txt", ".TXT"}) {
        fs::path candidate = video;
        candidate.replace_extension(extension);
        if (IsRegularFile(candidate)) return candidate.string();
    }
    return {};
}

}  // namespace

bool IsVideoFileName(const std::string& path) {
    static constexpr std::array<std::string_view, 27> kExtensions = {
        ".3gp", ".264",  ".asf", ".avi", ".divx", ".flv", ".h264", ".h265", ".hevc",
        ".m2t", ".m2ts", ".m2v", ".m4v", ".mkv",  ".mov", ".mp4",  ".mpeg", ".mpg",
        ".mts", ".ogm",  ".ogv", ".rm",  ".rmvb", ".ts",  ".vob",  ".webm", ".wmv"};
    const std::string extension = LowerExtension(path);
    return std::find(kExtensions.begin(), kExtensions.end(), extension) != kExtensions.end();
}

DropPlan PlanDrop(const std::vector<std::string>& paths) {
    DropPlan plan;
    for (const std::string& name : paths) {
        const fs::path path(name);
        const bool file = IsRegularFile(path);
        if (file && IsPlayFileName(path)) {
            if (plan.playFile.empty()) plan.playFile = name;
        } else if (file && LowerExtension(path) == ".iso") {
            if (plan.videoKind == DropPlan::VideoKind::kNone) {
                plan.videoKind = DropPlan::VideoKind::kDvd;
                plan.video = name;
            }
        } else if (file && IsVideoFileName(name)) {
            if (plan.videoKind == DropPlan::VideoKind::kNone) {
                plan.videoKind = DropPlan::VideoKind::kFile;
                plan.video = name;
            }
        } else if (IsDvdFolder(path)) {
            if (plan.videoKind == DropPlan::VideoKind::kNone) {
                plan.videoKind = DropPlan::VideoKind::kDvd;
                plan.video = name;
            }
        } else {
            plan.refused.push_back(name);
        }
    }
    if (plan.videoKind == DropPlan::VideoKind::kFile && plan.playFile.empty()) {
        plan.playFile = SameNamePlayFile(plan.video);
    }
    return plan;
}
