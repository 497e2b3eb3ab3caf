// Runs the real Kestrune executable on the test's X display and ends it with signals, as a
// desktop session or a user's terminal would.

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
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
#include "support/FreshPty.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using testing_support::TempDir;

using testing_support::OperationLogText;
using testing_support::PlayerProcess;
using testing_support::WaitFor;
using testing_support::WindowExists;

class SignalTest : public ::testing::TestWithParam<int> {};

TEST_P(SignalTest, ClosesTheWindowInOrderAndLogsTheStopLine) {
    TempDir dir;
    PlayerProcess player(dir, "[DEBUG]\nLOG_LEVEL=1\n");
    ASSERT_GT(player.Pid(), 0);
    // The debug window shows that the ini next to the executable was read, although the
    // process runs in another folder.
    const pid_t pid = player.Pid();
    ASSERT_TRUE(WaitFor([pid] { return WindowExists(pid, "QUAMBERPlayer"); }, 20s));
    ASSERT_TRUE(WaitFor([pid] { return WindowExists(pid, "デバッグ情報"); }, 20s));

    ASSERT_EQ(::kill(player.Pid(), GetParam()), 0);
    EXPECT_EQ(player.WaitExit(20s), 0);
    const std::string log = OperationLogText(dir);
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
    commands += testing_support::ReadAllWritten(m, pty.slave.Get());
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(commands.substr(commands.size() - 3), std::string("\x01\x01\x00", 3));
}

// A box has an event loop of its own; a signal still ends the process. (Without a window
// manager no window is active, so the box has no owner and keeps the application open by
// itself. The end-to-end stories cover every kind of box on a desktop.)
TEST_P(SignalTest, EndsTheProcessWhileTheErrorBoxOfANonVideoIsOpen) {
    TempDir dir;
    PlayerProcess player(dir, "",
                         {std::string(KESTRUNE_TEST_MEDIA) + "/not-a-video.mp4", "--play"});
    ASSERT_GT(player.Pid(), 0);
    const pid_t pid = player.Pid();
    ASSERT_TRUE(WaitFor([pid] { return WindowExists(pid, "再生エラー"); }, 20s));
    ASSERT_EQ(::kill(pid, GetParam()), 0);
    EXPECT_EQ(player.WaitExit(20s), 0) << "still running with the box open";
    EXPECT_NE(OperationLogText(dir).find(",USBドングルへ停止コマンド送信\r\n"), std::string::npos);
}

TEST(CommandLine, AnUnknownOptionIsRefusedWithUsage) {
    TempDir dir;
    PlayerProcess player(dir, "", {"--no-such-option"});
    EXPECT_EQ(player.WaitExit(20s), 2);
}

}  // namespace
