#include "support/Processes.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

extern char** environ;

namespace testing_support {

using namespace std::chrono_literals;

namespace {

std::string BinaryDir() {
    const char* dir = std::getenv("KESTRUNE_BINARY_DIR");
    return dir != nullptr ? dir : ".";
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// The exit status of `pid` as WaitExit reports it, or nullopt while it runs.
std::optional<int> Reap(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) != pid) return std::nullopt;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Writes to standard error what each thread of `pid` is doing: its state and kernel wait
// from /proc, and the threads' stacks from gdb when it is installed. For a player that a
// failed test leaves running, so that a hang explains itself.
void DescribeThreads(pid_t pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(proc + "/task", error)) {
        const auto read = [&](const std::string& name) {
            std::string text = ReadFile(task.path() / name);
            while (!text.empty() && text.back() == '\n') text.pop_back();
            return text;
        };
        const std::string stat = read("stat");  // "tid (name) S ...": S is the state
        const auto close = stat.rfind(')');
        std::fprintf(stderr, "player thread %s (%s): state %s, waiting in %s\n",
                     task.path().filename().c_str(), read("comm").c_str(),
                     close == std::string::npos ? "?" : stat.substr(close + 2, 1).c_str(),
                     read("wchan").c_str());
    }
    if (std::system("command -v gdb >/dev/null 2>&1") == 0) {
        // Short lines, the main thread first: a CI log keeps only part of a long output.
        const std::string command =
            "timeout 120 gdb -batch -nx -p " + std::to_string(pid) +
            " -ex 'set print frame-arguments none' -ex 'set print address off'"
            " -ex 'thread 1' -ex 'bt 40' -ex 'thread apply all bt 25' 2>/dev/null"
            " | grep -E '^(#|Thread )' 1>&2";
        [[maybe_unused]] const int status = std::system(command.c_str());
    }
}

}  // namespace

PrivateDisplay::PrivateDisplay() {
    // The server writes its display number to the pipe once it accepts clients.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    platform::UniqueFd readEnd(fds[0]);
    platform::UniqueFd writeEnd(fds[1]);
    std::vector<std::string> args = {"Xvfb",         "-displayfd", "3",   "-screen", "0",
                                     "1280x1024x24", "-nolisten",  "tcp", "-noreset"};
    std::vector<char*> argv = Pointers(args);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), 3);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const int rc = ::posix_spawnp(&server_, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.Reset();
    if (rc != 0) {
        server_ = -1;
        return;
    }
    std::string number;
    pollfd p{readEnd.Get(), POLLIN, 0};
    while (::poll(&p, 1, 10000) > 0) {
        char c = 0;
        if (::read(readEnd.Get(), &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    if (!number.empty()) name_ = ":" + number;
}

PrivateDisplay::~PrivateDisplay() {
    if (server_ <= 0) return;
    ::kill(server_, SIGTERM);
    ::waitpid(server_, nullptr, 0);
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

PlayerProcess::PlayerProcess(const TempDir& dir, const std::optional<std::string>& ini,
                             const std::vector<std::string>& arguments,
                             const std::vector<std::string>& extraEnv, int output) {
    const std::string bin = dir / "bin";
    std::filesystem::create_directories(bin);
    std::filesystem::copy_file(BinaryDir() + "/Kestrune", bin + "/Kestrune",
                               std::filesystem::copy_options::overwrite_existing);
    if (ini) WriteFile(bin + "/Kestrune.ini", *ini);
    std::filesystem::create_directories(dir / "elsewhere");

    const std::string exe = bin + "/Kestrune";
    // libvlc's unloaded plug-ins make a sanitizer build's leak report unreadable.
    // The caller's entries first; then ours and the test's own, each unless already named.
    std::vector<std::string> env = extraEnv;
    std::vector<std::string> rest = {"XDG_DATA_HOME=" + (dir / "share"),
                                     "ASAN_OPTIONS=detect_leaks=0"};
    for (char** e = environ; *e != nullptr; ++e) {
        // The test's own "no bus" stays behind: the player finds out for itself, as it does
        // when a desktop without a bus starts it.
        if (std::strcmp(*e, "DBUS_SESSION_BUS_ADDRESS=disabled:") != 0) rest.emplace_back(*e);
    }
    for (const std::string& entry : rest) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        const bool overridden = std::any_of(
            env.begin(), env.end(), [&](const std::string& v) { return v.rfind(name, 0) == 0; });
        if (!overridden) env.push_back(entry);
    }
    std::vector<std::string> args = {exe};
    args.insert(args.end(), arguments.begin(), arguments.end());
    auto envp = Pointers(env);
    auto argv = Pointers(args);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, (dir / "elsewhere").c_str());
    if (output >= 0) {
        posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, output, STDERR_FILENO);
    }
    const int rc = ::posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) pid_ = -1;
}

PlayerProcess::~PlayerProcess() {
    if (pid_ > 0 && !exited_) {
        if (::testing::Test::HasFailure()) DescribeThreads(pid_);
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

int PlayerProcess::WaitExit(std::chrono::milliseconds limit) {
    if (pid_ <= 0) return -1;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (const auto status = Reap(pid_)) {
            exited_ = true;
            return *status;
        }
        std::this_thread::sleep_for(20ms);
    }
    return -1;
}

bool PlayerProcess::Running() {
    if (pid_ <= 0 || exited_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) exited_ = true;
    return !exited_;
}

pid_t PlayerProcess::GuardPid() const {
    if (pid_ <= 0) return -1;
    const std::string task = "/proc/" + std::to_string(pid_) + "/task/" + std::to_string(pid_);
    std::istringstream children(ReadFile(task + "/children"));
    for (pid_t child = 0; children >> child;) {
        if (ReadFile("/proc/" + std::to_string(child) + "/comm") == "kestrune-guard\n") {
            return child;
        }
    }
    return -1;
}

std::string OperationLogText(const TempDir& dir) {
    const std::string folder = dir / "share/QUAMBERPlayer/log";
    const auto files = ListFiles(folder);
    if (files.size() != 1) return {};
    return Cp932ToUtf8(ReadFile(folder + "/" + files[0]));
}

std::vector<unsigned long> FindWindows(pid_t pid, const std::string& title,
                                       const std::string& display) {
    std::string command = "xdotool search --all --onlyvisible --pid " + std::to_string(pid) +
                          " --name '^" + title + "$' 2>/dev/null";
    if (!display.empty()) command = "DISPLAY=" + display + " " + command;
    std::vector<unsigned long> windows;
    if (FILE* out = ::popen(command.c_str(), "r")) {
        for (unsigned long id = 0; std::fscanf(out, "%lu", &id) == 1;) windows.push_back(id);
        ::pclose(out);
    }
    return windows;
}

bool WindowExists(pid_t pid, const std::string& title) { return !FindWindows(pid, title).empty(); }

std::string BuiltProgram(const std::string& name) { return BinaryDir() + "/" + name; }

LineProcess::LineProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::optional<std::vector<std::string>>& env) {
    std::vector<std::string> argStrings = {program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    auto argv = Pointers(argStrings);
    std::vector<std::string> envStrings = env.value_or(std::vector<std::string>{});
    auto envp = Pointers(envStrings);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    out_.Reset(fds[0]);
    platform::UniqueFd writeEnd(fds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDOUT_FILENO);
    if (::posix_spawnp(&pid_, program.c_str(), &actions, nullptr, argv.data(),
                       env ? envp.data() : environ) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

LineProcess::~LineProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

void LineProcess::Signal(int signal) const {
    if (pid_ > 0) ::kill(pid_, signal);
}

std::string LineProcess::Line(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (const auto eol = buffered_.find('\n'); eol != std::string::npos) {
            std::string line = buffered_.substr(0, eol);
            buffered_.erase(0, eol + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd pfd{out_.Get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
            return "<timeout>";
        }
        char chunk[512];
        const ssize_t n = ::read(out_.Get(), chunk, sizeof chunk);
        if (n <= 0) return "<end>";
        buffered_.append(chunk, static_cast<size_t>(n));
    }
}

int LineProcess::WaitExit(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (const auto status = Reap(pid_)) {
            pid_ = -1;
            return *status;
        }
        std::this_thread::sleep_for(10ms);
    }
    return -1;
}

DevSimProcess::DevSimProcess(const std::vector<std::string>& args,
                             const std::optional<std::vector<std::string>>& env)
    : LineProcess(BinaryDir() + "/kestrune-devsim", args, env) {}

DevSimProcess::Plugged DevSimProcess::ExpectPlugged() {
    Plugged plugged;
    const std::string port = Line();
    const std::string link = Line();
    EXPECT_EQ(port.rfind("devsim: port ", 0), 0u) << port;
    EXPECT_EQ(link.rfind("devsim: link ", 0), 0u) << link;
    if (port.rfind("devsim: port ", 0) == 0) plugged.port = port.substr(13);
    if (link.rfind("devsim: link ", 0) == 0) plugged.link = link.substr(13);
    return plugged;
}

}  // namespace testing_support
