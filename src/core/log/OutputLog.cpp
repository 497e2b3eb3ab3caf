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

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Creates `path` and any missing parent (the application-data folder itself may not exist
// yet for a new user). True when the folder exists afterwards.
bool MakeDirectories(const std::string& path) {
    if (path.empty()) return false;
    if (IsDirectory(path)) return true;
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(path.substr(0, slash))) {
        return false;
    }
    return ::mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && IsDirectory(path));
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
    if (!MakeDirectories(productFolder)) {
        boxes_.Show(
            KESTRUNE_TRANSLATE_NOOP("MessageBoxes",
                                    "ログフォルダ(AppData/QUAMBERPlayer)の作成に失敗しました。"),
            kDirectoryErrorCaption);
    }
    const std::string logFolder = appData ? productFolder + "/log" : std::string();
    if (!MakeDirectories(logFolder)) {
        boxes_.Show(
            KESTRUNE_TRANSLATE_NOOP(
                "MessageBoxes", "ログフォルダ(AppData/QUAMBERPlayer/log)の作成に失敗しました。"),
            kDirectoryErrorCaption);
    }

    if (appData) {
        path_ = logFolder + "/" + fileName;
        file_.Reset(::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
        // The lock keeps a second running copy from writing into the same file.
        if (file_.Valid() && ::flock(file_.Get(), LOCK_EX | LOCK_NB) != 0) file_.Reset();
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
    std::string text = level;
    text += head;
    text += source;
    text += ',';
    text += std::to_string(line);
    text += ',';
    text += message;
    text += "\r\n";
    return text;
}

void OutputLog::Log(const char* level, const char* source, int line, std::string message) {
    // Without a file the line is dropped quietly: the open failure was already reported.
    if (!file_.Valid()) return;
    WriteLine(platform::Utf8ToCp932(FormatLine(level, clock_.Now(), source, line, message)));
}

void OutputLog::WriteLine(const std::string& text) {
    ssize_t written;
    do {
        written = ::write(file_.Get(), text.data(), text.size());
    } while (written < 0 && errno == EINTR);

    if (written == static_cast<ssize_t>(text.size())) {
        writeFailing_ = false;
        return;
    }
    if (!writeFailing_.exchange(true)) {
        boxes_.Show(
            KESTRUNE_TRANSLATE_NOOP("MessageBoxes", "ログファイルの書き込みに失敗しました。"),
            kFileErrorCaption);
    }
}
