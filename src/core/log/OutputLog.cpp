#include "log/OutputLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Paths.h"
#include "platform/TextCodec.h"
#include "platform/Translatable.h"

namespace {

// Source texts of message boxes, which the interface translates (platform/Translatable.h).
constexpr const char* kDirectoryErrorCaption =
    KESTRUNE_TRANSLATE_NOOP("MessageBoxes", "ディレクトリ操作エラー");
constexpr const char* kFileErrorCaption =
    KESTRUNE_TRANSLATE_NOOP("MessageBoxes", "ファイル操作エラー");

// The log tells which videos were played: its folders and file are the user's alone,
// whatever the umask.
constexpr mode_t kPrivateFolder = 0700;
constexpr mode_t kPrivateFile = 0600;

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Creates `path` and any missing parent (the application-data folder itself may not exist
// yet for a new user), private to the user whatever the umask. True when the folder exists
// afterwards.
bool MakeDirectories(const std::string& path) {
    if (path.empty()) return false;
    if (IsDirectory(path)) return true;
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(path.substr(0, slash))) {
        return false;
    }
    if (::mkdir(path.c_str(), kPrivateFolder) == 0)
        return ::chmod(path.c_str(), kPrivateFolder) == 0;
    return errno == EEXIST && IsDirectory(path);
}

// One of the log's own folders, made private: one an earlier version left open to others
// loses the others' rights. The owner's own rights stay as they are (a folder the user made
// read-only stays so). Folders of other users are left alone.
bool MakePrivateFolder(const std::string& path) {
    if (!MakeDirectories(path)) return false;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && info.st_uid == ::geteuid() &&
        (info.st_mode & 077) != 0) {
        ::chmod(path.c_str(), info.st_mode & 07700);
    }
    return true;
}

// Opens the log file for appending: a regular file only, never through a symbolic link, and
// without waiting (a named pipe at the log's name would hold up the start for good). Private
// to the user whatever the umask. -1 on failure.
int OpenLogFile(const std::string& path) {
    platform::UniqueFd fd(
        ::open(path.c_str(),
               O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK,
               kPrivateFile));
    struct stat info {};
    if (!fd.Valid() || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    if ((info.st_mode & 07777) != kPrivateFile && ::fchmod(fd.Get(), kPrivateFile) != 0) {
        return -1;
    }
    if (::fcntl(fd.Get(), F_SETFL, O_APPEND) != 0) return -1;
    // The lock keeps a second running copy from writing into the same file.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return -1;
    return fd.Release();
}

// A field as it goes into a line: CR and LF (a file name may hold them) become spaces, so
// that no field can end its line and start a forged one.
std::string OneLine(std::string field) {
    for (char& c : field) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return field;
}

}  // namespace

OutputLog::OutputLog(platform::MessageBoxes& boxes, const platform::LocalClock& clock)
    : boxes_(boxes), clock_(clock) {
    const auto appData = platform::GetAppDataFolder();
    if (!appData) {
        boxes_.Show(KESTRUNE_TRANSLATE_NOOP("MessageBoxes", "AppDataのパスの取得に失敗しました。"),
                    kDirectoryErrorCaption);
    }

    const std::string fileName = FileNameFor(clock_.Now());

    // Without an application-data folder there is no base to build on: each step then
    // reports its failure without touching the file system.
    const std::string productFolder = appData ? *appData + "/QUAMBERPlayer" : std::string();
    if (!MakePrivateFolder(productFolder)) {
        boxes_.Show(
            KESTRUNE_TRANSLATE_NOOP("MessageBoxes",
                                    "ログフォルダ(AppData/QUAMBERPlayer)の作成に失敗しました。"),
            kDirectoryErrorCaption);
    }
    const std::string logFolder = appData ? productFolder + "/log" : std::string();
    if (!MakePrivateFolder(logFolder)) {
        boxes_.Show(
            KESTRUNE_TRANSLATE_NOOP(
                "MessageBoxes", "ログフォルダ(AppData/QUAMBERPlayer/log)の作成に失敗しました。"),
            kDirectoryErrorCaption);
    }

    if (appData) {
        path_ = logFolder + "/" + fileName;
        file_.Reset(OpenLogFile(path_));
    }
    if (!file_.Valid()) {
        boxes_.Show(
            KESTRUNE_TRANSLATE_NOOP("MessageBoxes", "ログファイルのオープンに失敗しました。"),
            kFileErrorCaption);
    }
}

std::string OutputLog::FileNameFor(const platform::LocalTime& t) {
    char name[64];
    std::snprintf(name, sizeof name, "log_%04d%02d%02d%02d%02d%02d.csv", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return name;
}

std::string OutputLog::FormatLine(const char* level, const platform::LocalTime& t,
                                  const char* source, int line, const std::string& message) {
    char head[128];
    std::snprintf(head, sizeof head, ",%04d/%02d/%02d,%02d:%02d:%02d.%03d,", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond);
    std::string text = OneLine(level);
    text += head;
    text += OneLine(source);
    text += ',';
    text += std::to_string(line);
    text += ',';
    text += OneLine(message);
    text += "\r\n";
    return text;
}

void OutputLog::Log(const char* level, const char* source, int line, std::string message) {
    // Without a file the line is dropped quietly: the open failure was already reported.
    if (!file_.Valid()) return;
    WriteLine(platform::Utf8ToCp932(FormatLine(level, clock_.Now(), source, line, message)));
}

bool OutputLog::Append(const std::string& text) {
    const std::lock_guard lock(writing_);
    const off_t start = ::lseek(file_.Get(), 0, SEEK_END);
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(file_.Get(), text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    if (done == text.size()) return true;
    // A full disk or a size limit took part of the line: cut it back to where it began, so
    // that the file holds whole lines only.
    if (done > 0 && start >= 0) {
        [[maybe_unused]] const int cut = ::ftruncate(file_.Get(), start);
    }
    return false;
}

void OutputLog::WriteLine(const std::string& text) {
    if (Append(text)) {
        writeFailing_ = false;
        return;
    }
    // Posted, never shown in place: the line may come from libvlc's event callback, or from a
    // close that has yet to stop the device.
    if (!writeFailing_.exchange(true)) {
        boxes_.Post(
            KESTRUNE_TRANSLATE_NOOP("MessageBoxes", "ログファイルの書き込みに失敗しました。"),
            kFileErrorCaption);
    }
}
