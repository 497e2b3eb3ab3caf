#pragma once

// The operation log: one comma-separated file per run under
//   <application data>/QUAMBERPlayer/log/log_YYYYMMDDhhmmss.csv
// recording user actions, device commands and player events. Owned by the main window;
// opened at construction, closed at destruction.
//
// Line layout (code page 932, CR LF, nothing quoted; CR and LF inside a field become spaces):
//   level,YYYY/MM/DD,hh:mm:ss.mmm,source,line,message
//
// The folders and the file are private to the user (0700, 0600). Each line reaches the file
// whole or not at all.

#include <atomic>
#include <mutex>
#include <string>

#include "platform/LocalClock.h"
#include "platform/MessageBoxes.h"
#include "platform/UniqueFd.h"

// The base name of the current source file, for the source field of a log line.
consteval const char* SourceFileName(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') name = p + 1;
    }
    return name;
}

// The source a line names: its file, unless the code that writes it sees another
// kOutputLogSource. A class split over several files gives itself a member of that name, so
// that all its lines name one source (readers group the log by source).
inline constexpr const char* kOutputLogSource = nullptr;

// Writes one operation-log line naming the calling source and line.
#define OUTPUT_LOG(log, message)                                                                  \
    (log).Log("DEBUG", kOutputLogSource != nullptr ? kOutputLogSource : SourceFileName(__FILE__), \
              __LINE__, (message))

class OutputLog {
public:
    // Creates the folders when they are missing and opens the file; each failure shows its
    // own message box and the next step runs regardless. Anything but a regular file at the
    // log's name (a symbolic link, a named pipe) counts as a file that cannot be opened.
    OutputLog(platform::MessageBoxes& boxes, const platform::LocalClock& clock);
    ~OutputLog() = default;

    OutputLog(const OutputLog&) = delete;
    OutputLog& operator=(const OutputLog&) = delete;

    // Formats and appends one line; the line is in the file when the call returns. Called
    // from the user-interface thread and from libvlc's event thread: lines are written one at
    // a time, so they never mix. A line that cannot be written is dropped, and a box saying so
    // is posted (never shown in place) once per failing stretch.
    void Log(const char* level, const char* source, int line, std::string message);

    [[nodiscard]] bool IsOpen() const { return file_.Valid(); }
    [[nodiscard]] const std::string& Path() const { return path_; }

    // "log_%04d%02d%02d%02d%02d%02d.csv" for the given time.
    [[nodiscard]] static std::string FileNameFor(const platform::LocalTime& t);
    // One finished line in UTF-8, ending with CR LF.
    [[nodiscard]] static std::string FormatLine(const char* level, const platform::LocalTime& t,
                                                const char* source, int line,
                                                const std::string& message);

private:
    void WriteLine(const std::string& text);
    // Appends the whole line, or nothing: false when it could not.
    bool Append(const std::string& text);

    platform::MessageBoxes& boxes_;
    const platform::LocalClock& clock_;
    platform::UniqueFd file_;
    std::string path_;
    std::mutex writing_;
    // Set while writes fail, so that a full disk shows one box rather than one per line.
    std::atomic<bool> writeFailing_ = false;
};
