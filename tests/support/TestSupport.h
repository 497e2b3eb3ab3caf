#pragma once

// Shared helpers for the tests: temporary folders, environment overrides, a pinned clock
// and a message-box recorder.

#include <sys/types.h>

#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "log/Logger.h"
#include "platform/LocalClock.h"
#include "platform/MessageBoxes.h"
#include "platform/UniqueFd.h"

namespace testing_support {

// A fresh folder under $TMPDIR, removed with everything in it at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::string& Path() const { return path_; }
    [[nodiscard]] std::string operator/(const std::string& name) const {
        return path_ + "/" + name;
    }

private:
    std::string path_;
};

// Sets (or with nullopt, unsets) an environment variable for the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

class FixedClock final : public platform::LocalClock {
public:
    explicit FixedClock(platform::LocalTime t) : time(t) {}
    [[nodiscard]] platform::LocalTime Now() const override { return time; }
    platform::LocalTime time;
};

// Records every box, shown or posted, in order.
class RecordingMessageBoxes final : public platform::MessageBoxes {
public:
    void Show(const std::string& text, const std::string& caption) override;
    void Post(const std::string& text, const std::string& caption) override;
    // Every box, whether shown or posted.
    [[nodiscard]] std::vector<std::pair<std::string, std::string>> Shown() const;
    // The posted ones only.
    [[nodiscard]] std::vector<std::pair<std::string, std::string>> Posted() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> shown_;
    std::vector<std::pair<std::string, std::string>> posted_;
};

// Sets the environment every test program runs in; call first thing in main.
void PrepareTestEnvironment();

// A logger that keeps the messages it is given.
class RecordingLogger final : public Logger {
public:
    void LogMessage(const char* format, ...) override __attribute__((format(printf, 2, 3)));
    std::vector<std::string> messages;
};

// A pseudo-terminal in raw mode, as a serial device the player opens by `path`.
struct RawPty {
    platform::UniqueFd master;
    platform::UniqueFd slave;
    std::string path;
};
[[nodiscard]] RawPty OpenRawPty();

[[nodiscard]] std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
[[nodiscard]] std::vector<std::string> ListFiles(const std::string& folder);

// Milliseconds of CLOCK_MONOTONIC, to compare with the virtual dongle's --epoch-ms times.
[[nodiscard]] double MonotonicMs();

// Milliseconds the thread `tid` (0: the calling thread) has so far spent ready to run but
// waiting for a processor, from the kernel's scheduler statistics (0 where it keeps none). The
// time a busy machine takes from a thread, to tell apart from the time the program took.
[[nodiscard]] double SchedulerWaitMs(pid_t tid = 0);
// The same summed over the threads the process `pid` has now.
[[nodiscard]] double ProcessSchedulerWaitMs(pid_t pid);

// A play file of one line a second for `seconds` seconds: direction 1, speed second + 1, so
// that no line is the stop command and the packet a seek or a resume sends tells the second.
[[nodiscard]] std::string LineEverySecond(int seconds);

// Converts code page 932 bytes back to UTF-8 (for checking what a file holds).
[[nodiscard]] std::string Cp932ToUtf8(const std::string& bytes);

}  // namespace testing_support
