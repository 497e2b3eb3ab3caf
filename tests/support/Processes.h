#pragma once

// Child processes for the tests that run the real programs: the player in a folder of its
// own and the virtual dongle with its stdout on a pipe. Both are killed at destruction if
// they are still running.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"
#include "support/TestSupport.h"

namespace testing_support {

// An X server of its own (Xvfb, 1280x1024, 24 bits) for tests that press keys in windows or
// read the screen, so that the windows of tests running beside them can neither take the keys
// nor cover the pixels. Stopped at destruction.
class PrivateDisplay {
public:
    PrivateDisplay();
    ~PrivateDisplay();
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    // ":N", or empty when the server did not start.
    [[nodiscard]] const std::string& Name() const { return name_; }

private:
    pid_t server_ = -1;
    std::string name_;
};

// Polls `condition` every 50 ms until it holds or `limit` has passed; the last answer.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit);

// The player copied into `dir`/bin with `ini` next to it as Kestrune.ini (none for nullopt),
// started from `dir`/elsewhere with XDG_DATA_HOME=`dir`/share (its operation log goes there).
// With `output`, its standard output and error go to that descriptor.
class PlayerProcess {
public:
    PlayerProcess(const TempDir& dir, const std::optional<std::string>& ini,
                  const std::vector<std::string>& arguments = {},
                  const std::vector<std::string>& extraEnv = {}, int output = -1);
    ~PlayerProcess();
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;

    [[nodiscard]] pid_t Pid() const { return pid_; }
    // The exit status, 128 + the signal when killed, or -1 when the process did not end
    // within `limit`.
    int WaitExit(std::chrono::milliseconds limit);
    [[nodiscard]] bool Running();
    // The process's stop guard (its child named kestrune-guard), or -1.
    [[nodiscard]] pid_t GuardPid() const;

private:
    pid_t pid_ = -1;
    bool exited_ = false;
};

// The text of the single operation log under `dir`/share (UTF-8), empty when there is not
// exactly one.
[[nodiscard]] std::string OperationLogText(const TempDir& dir);

// The shown top-level windows of `pid` whose title is exactly `title`, on `display` (empty:
// $DISPLAY). Other test programs may show windows of the same title on the same display.
[[nodiscard]] std::vector<unsigned long> FindWindows(pid_t pid, const std::string& title,
                                                     const std::string& display = {});
[[nodiscard]] bool WindowExists(pid_t pid, const std::string& title);

// The path of `name`, a program this build made.
[[nodiscard]] std::string BuiltProgram(const std::string& name);

// A program with its stdout on a pipe, read line by line. `program` is a path, or a name
// looked up in PATH; `env` replaces the environment. Killed at destruction if still running.
class LineProcess {
public:
    LineProcess(const std::string& program, const std::vector<std::string>& args,
                const std::optional<std::vector<std::string>>& env = std::nullopt);
    ~LineProcess();
    LineProcess(const LineProcess&) = delete;
    LineProcess& operator=(const LineProcess&) = delete;

    [[nodiscard]] bool Started() const { return pid_ > 0; }
    [[nodiscard]] pid_t Pid() const { return pid_; }
    void Signal(int signal) const;

    // The next line of stdout, "<timeout>" or "<end>" when there is none. The limit is
    // generous: a busy machine may start or wake the program late.
    std::string Line(std::chrono::milliseconds limit = std::chrono::seconds(20));

    // The exit status, 128 + the signal when killed, or -1 when still running after `limit`.
    int WaitExit(std::chrono::milliseconds limit = std::chrono::seconds(20));

private:
    pid_t pid_ = -1;
    platform::UniqueFd out_;
    std::string buffered_;
};

// kestrune-devsim with `args`.
class DevSimProcess : public LineProcess {
public:
    explicit DevSimProcess(const std::vector<std::string>& args,
                           const std::optional<std::vector<std::string>>& env = std::nullopt);

    // Reads the port and link lines of a plug-in. Empty strings when they do not come.
    struct Plugged {
        std::string port;
        std::string link;
    };
    Plugged ExpectPlugged();
};

}  // namespace testing_support
