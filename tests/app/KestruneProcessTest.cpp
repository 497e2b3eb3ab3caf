// Runs the real Kestrune executable on the test's X display and ends it with signals, as a
// desktop session or a user's terminal would.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using testing_support::TempDir;

std::string BinaryDir() {
    const char* dir = std::getenv("KESTRUNE_BINARY_DIR");
    return dir != nullptr ? dir : ".";
}

// The player copied into a folder of its own, with an ini file next to it, started from
// another working directory.
class PlayerProcess {
public:
    PlayerProcess(const TempDir& dir, const std::string& ini) {
        const std::string bin = dir / "bin";
        std::filesystem::create_directories(bin);
        std::filesystem::copy_file(BinaryDir() + "/Kestrune", bin + "/Kestrune");
        testing_support::WriteFile(bin + "/Kestrune.ini", ini);
        std::filesystem::create_directories(dir / "elsewhere");

        const std::string exe = bin + "/Kestrune";
        const std::string data = "XDG_DATA_HOME=" + (dir / "share");
        // libvlc's unloaded plug-ins make a sanitizer build's leak report unreadable.
        std::vector<std::string> env = {data, "ASAN_OPTIONS=detect_leaks=0"};
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry(*e);
            if (entry.rfind("XDG_DATA_HOME=", 0) != 0 && entry.rfind("ASAN_OPTIONS=", 0) != 0) {
                env.push_back(entry);
            }
        }
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, (dir / "elsewhere").c_str());
        const int rc = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) pid_ = -1;
    }

    ~PlayerProcess() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    [[nodiscard]] pid_t Pid() const { return pid_; }

    // The exit status, or -1 when the process did not end within `limit`.
    int WaitExit(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
};

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

// Other test programs may show windows of the same title on the same display.
bool WindowExists(pid_t pid, const std::string& title) {
    const std::string command = "xdotool search --all --pid " + std::to_string(pid) + " --name '^" +
                                title + "$' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

std::string LogText(const TempDir& dir) {
    const std::string folder = dir / "share/QUAMBERPlayer/log";
    const auto files = testing_support::ListFiles(folder);
    if (files.size() != 1) return {};
    return testing_support::Cp932ToUtf8(testing_support::ReadFile(folder + "/" + files[0]));
}

class SignalTest : public ::testing::TestWithParam<int> {};

TEST_P(SignalTest, ClosesTheWindowInOrderAndLogsTheStopLine) {
    TempDir dir;
    PlayerProcess player(dir, "[DEBUG]\nLOG_LEVEL=1\n");
    ASSERT_GT(player.Pid(), 0);
    // The debug window shows that the ini next to the executable was read, although the
    // process runs in another folder.
    const pid_t pid = player.Pid();
    ASSERT_TRUE(WaitFor([pid] { return WindowExists(pid, "QUAMBERPlayer"); }, 20s));
    ASSERT_TRUE(WaitFor([pid] { return WindowExists(pid, "デバッグ情報"); }, 5s));

    ASSERT_EQ(::kill(player.Pid(), GetParam()), 0);
    EXPECT_EQ(player.WaitExit(20s), 0);
    const std::string log = LogText(dir);
    EXPECT_NE(log.find(",KestruneDlg.cpp,"), std::string::npos) << log;
    EXPECT_NE(log.find(",USBドングルへ停止コマンド送信\r\n"), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(TerminationSignals, SignalTest, ::testing::Values(SIGTERM, SIGHUP, SIGINT),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

}  // namespace
