// Runs the real Kestrune executable on the test's X display and ends it with signals, as a
// desktop session or a user's terminal would.

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
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

#include "platform/UniqueFd.h"
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
    PlayerProcess(const TempDir& dir, const std::string& ini,
                  const std::vector<std::string>& arguments = {},
                  const std::vector<std::string>& extraEnv = {}) {
        const std::string bin = dir / "bin";
        std::filesystem::create_directories(bin);
        std::filesystem::copy_file(BinaryDir() + "/Kestrune", bin + "/Kestrune");
        testing_support::WriteFile(bin + "/Kestrune.ini", ini);
        std::filesystem::create_directories(dir / "elsewhere");

        const std::string exe = bin + "/Kestrune";
        const std::string data = "XDG_DATA_HOME=" + (dir / "share");
        // libvlc's unloaded plug-ins make a sanitizer build's leak report unreadable.
        std::vector<std::string> env = {data, "ASAN_OPTIONS=detect_leaks=0"};
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry(*e);
            if (entry.rfind("XDG_DATA_HOME=", 0) != 0 && entry.rfind("ASAN_OPTIONS=", 0) != 0) {
                env.push_back(entry);
            }
        }
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> args = {exe};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, (dir / "elsewhere").c_str());
        const int rc = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), envp.data());
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

// Opened from a file manager or a terminal: the video, its same-name play file and --play
// drive the dongle without a click; closing stops the device.
TEST(CommandLine, PlaysTheVideoWithItsPlayFileIntoTheDongle) {
    TempDir dir;
    const auto pty = testing_support::OpenRawPty();
    ASSERT_FALSE(pty.path.empty());
    const int m = pty.master.Get();
    std::filesystem::create_directories(dir / "serial");
    std::filesystem::create_symlink(pty.path, dir / "serial/usb-Kestrune_Virtual_Dongle-if00");
    std::filesystem::create_directories(dir / "videos");
    std::filesystem::copy_file(std::string(KESTRUNE_TEST_MEDIA) + "/clip.mp4",
                               dir / "videos/my clip.mp4");
    testing_support::WriteFile(dir / "videos/my clip.csv", "20,1,77\n30,0,33\n");

    PlayerProcess player(dir, "[USB_DONGLE]\nDEVICE_NAME=Kestrune_Virtual\n",
                         {dir / "videos/my clip.mp4", "--play"},
                         {"KESTRUNE_SERIAL_DIR=" + (dir / "serial")});
    ASSERT_GT(player.Pid(), 0);
    std::string commands;
    const auto readSome = [&] {
        pollfd p{m, POLLIN, 0};
        while (::poll(&p, 1, 50) > 0) {
            char buffer[64];
            const ssize_t n = ::read(m, buffer, sizeof buffer);
            if (n <= 0) break;
            for (ssize_t i = 0; i < n; ++i) commands += buffer[i];
        }
    };
    ASSERT_TRUE(WaitFor(
        [&] {
            readSome();
            return commands.size() >= 6;
        },
        20s));
    EXPECT_EQ(commands.substr(0, 6), std::string("\x01\x01\xCD\x01\x01\x21", 6));
    ASSERT_EQ(::kill(player.Pid(), SIGTERM), 0);
    EXPECT_EQ(player.WaitExit(20s), 0);
    readSome();
    EXPECT_EQ(commands.substr(commands.size() - 3), std::string("\x01\x01\x00", 3));
}

TEST(CommandLine, AnUnknownOptionIsRefusedWithUsage) {
    TempDir dir;
    PlayerProcess player(dir, "", {"--no-such-option"});
    EXPECT_EQ(player.WaitExit(20s), 2);
}

}  // namespace
