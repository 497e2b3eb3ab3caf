#include "authoring/PlayFileNames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "authoring/LineRecorder.h"
#include "platform/UniqueFd.h"

namespace {

// Names tried before giving up (a folder that holds them all is not a real one).
constexpr int kMaxNumber = 10000;

}  // namespace

std::string NumberedPlayFile(const std::string& video, int n) {
    const std::filesystem::path path(video);
    const std::string stem = path.stem().string();
    const std::string name = n <= 1 ? stem + ".csv" : stem + " (" + std::to_string(n) + ").csv";
    return (path.parent_path() / name).string();
}

std::string SaveNewPlayFile(const std::string& video, const std::vector<CSV_LINE>& lines,
                            std::string* error) {
    for (int n = 1; n <= kMaxNumber; ++n) {
        const std::string path = NumberedPlayFile(video, n);
        std::error_code ignored;
        if (std::filesystem::exists(std::filesystem::symlink_status(path, ignored))) continue;
        if (SavePlayFile(path, lines, false, error)) return path;
        // Taken in the meantime: the next name. Anything else is the folder's fault.
        if (!std::filesystem::exists(std::filesystem::symlink_status(path, ignored))) return {};
    }
    *error = "no free name for a play file beside " + video;
    return {};
}

std::string DraftPathFor(const std::string& video) { return NumberedPlayFile(video, 1); }

bool SavePlayFile(const std::string& path, const std::vector<CSV_LINE>& lines, bool overwrite,
                  std::string* error) {
    const std::filesystem::path target(path);
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::string temporary = (folder / ".kestrune-draft.XXXXXX").string();
    platform::UniqueFd fd(::mkstemp(temporary.data()));
    if (!fd.Valid()) {
        *error = "cannot write in " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    const std::string text = FormatPlayFile(lines);
    bool written = ::fchmod(fd.Get(), 0644) == 0;  // mkstemp makes it private to the user
    for (size_t done = 0; done < text.size() && written;) {
        const ssize_t n = ::write(fd.Get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        if (written) done += static_cast<size_t>(n);
    }
    written = written && ::fsync(fd.Get()) == 0;
    const int writeError = errno;
    fd.Reset();
    // A new name only: link() does not replace what is there.
    const bool placed = written && (overwrite ? ::rename(temporary.c_str(), path.c_str()) == 0
                                              : ::link(temporary.c_str(), path.c_str()) == 0);
    const int placeError = errno;
    ::unlink(temporary.c_str());
    if (!written) {
        *error = "cannot write " + path + ": " + std::strerror(writeError);
    } else if (!placed) {
        *error = placeError == EEXIST ? path + " exists (--force replaces it)"
                                      : "cannot write " + path + ": " + std::strerror(placeError);
    }
    return written && placed;
}
