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
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/UniqueFd.h"
#include "support/FreshPty.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using testing_support::LineProcess;
using testing_support::ScopedEnv;
using testing_support::TempDir;

using testing_support::OperationLogText;
using testing_support::PlayerProcess;
using testing_support::WaitFor;
using testing_support::WindowExists;

// What the far end of a pseudo-terminal holds now.
std::string ReadAvailable(int master) {
    std::string bytes;
    pollfd p{master, POLLIN, 0};
    char buffer[64];
    while (::poll(&p, 1, 50) > 0) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
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

// An installed player has no settings next to itself: it reads the user's
// $XDG_CONFIG_HOME/kestrune/Kestrune.ini. One next to the program (a portable copy, the build
// folder) wins over it. Each ini names another dongle; the packets show which was read.
TEST(SettingsFile, IsReadFromTheUsersConfigFolderUnlessOneIsNextToTheProgram) {
    struct Case {
        const char* name;
        bool nextToProgram;
        const char* expectedDongle;
    };
    for (const Case& c : {Case{"config folder only", false, "Config_Dongle"},
                          Case{"both", true, "Portable_Dongle"}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::filesystem::create_directories(dir / "serial");
        const auto portable = testing_support::OpenRawPty();
        const auto config = testing_support::OpenRawPty();
        ASSERT_FALSE(portable.path.empty());
        ASSERT_FALSE(config.path.empty());
        std::filesystem::create_symlink(portable.path, dir / "serial/usb-Portable_Dongle-if00");
        std::filesystem::create_symlink(config.path, dir / "serial/usb-Config_Dongle-if00");
        std::filesystem::create_directories(dir / "config/kestrune");
        testing_support::WriteFile(dir / "config/kestrune/Kestrune.ini",
                                   "[USB_DONGLE]\nDEVICE_NAME=Config_Dongle\n");
        std::filesystem::copy_file(std::string(KESTRUNE_TEST_MEDIA) + "/clip.mp4",
                                   dir / "clip.mp4");
        testing_support::WriteFile(dir / "clip.csv", "5,1,77\n");

        std::optional<std::string> ini;
        if (c.nextToProgram) ini = "[USB_DONGLE]\nDEVICE_NAME=Portable_Dongle\n";
        PlayerProcess player(
            dir, ini, {dir / "clip.mp4", "--play"},
            {"KESTRUNE_SERIAL_DIR=" + (dir / "serial"), "XDG_CONFIG_HOME=" + (dir / "config")});
        ASSERT_GT(player.Pid(), 0);
        const auto& chosen = std::string(c.expectedDongle) == "Config_Dongle" ? config : portable;
        const auto& other = &chosen == &config ? portable : config;
        std::string commands;
        ASSERT_TRUE(WaitFor(
            [&] {
                commands += ReadAvailable(chosen.master.Get());
                return commands.find(std::string("\x01\x01\xCD", 3)) != std::string::npos;
            },
            20s))
            << "the line of the play file never reached " << c.expectedDongle;
        ASSERT_EQ(::kill(player.Pid(), SIGTERM), 0);
        EXPECT_EQ(player.WaitExit(20s), 0);
        EXPECT_EQ(testing_support::ReadAllWritten(other.master.Get(), other.slave.Get()), "")
            << "the other dongle was written to";
    }
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

// ---------------------------------------------------------------------------------------------
// The desktop's session bus, named the two ways a desktop session names it: in
// DBUS_SESSION_BUS_ADDRESS, or as the socket "bus" in XDG_RUNTIME_DIR. A real bus daemon
// carries a stand-in screen saver that records what the player asks of it: the screen saver is
// held off while the video plays, let go while it is paused, and nothing stays held once the
// player has closed. (Without a bus, every other process test plays.)

enum class BusNamed { kByAddress, kInRuntimeFolder };

class DesktopBus : public ::testing::TestWithParam<BusNamed> {};

// Presses `key` in the player's main window on `display`, as the user does.
void PressKey(pid_t pid, const std::string& display, const char* key) {
    const auto windows = testing_support::FindWindows(pid, "QUAMBERPlayer", display);
    ASSERT_EQ(windows.size(), 1u);
    const std::string command = "DISPLAY=" + display + " xdotool windowfocus --sync " +
                                std::to_string(windows.front()) + " key " + key +
                                " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

TEST_P(DesktopBus, HoldsTheScreenSaverOffWhileTheVideoPlays) {
    TempDir dir;
    const std::string runtime = dir / "runtime";
    const std::string noBus = dir / "runtime-without-bus";
    for (const std::string& folder : {runtime, noBus}) {
        std::filesystem::create_directory(folder);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    }
    LineProcess daemon("dbus-daemon", {"--session", "--nofork", "--print-address=1",
                                       "--address=unix:path=" + runtime + "/bus"});
    const std::string address = daemon.Line();
    ASSERT_EQ(address.rfind("unix:path=", 0), 0u) << address;
    LineProcess saver(testing_support::BuiltProgram("kestrune-test-screensaver"), {address});
    ASSERT_EQ(saver.Line(), "ready");

    // The keys go to a display of the test's own: another test's window could take them.
    testing_support::PrivateDisplay display;
    ASSERT_FALSE(display.Name().empty());
    const bool byAddress = GetParam() == BusNamed::kByAddress;
    ScopedEnv screen("DISPLAY", display.Name());
    ScopedEnv named("DBUS_SESSION_BUS_ADDRESS", byAddress ? std::optional(address) : std::nullopt);
    ScopedEnv folder("XDG_RUNTIME_DIR", byAddress ? noBus : runtime);
    PlayerProcess player(dir, "", {std::string(KESTRUNE_TEST_MEDIA) + "/clip.mp4", "--play"});
    ASSERT_GT(player.Pid(), 0);
    const pid_t pid = player.Pid();

    // "inhibit COOKIE APPLICATION": the cookie, or the line itself when it is another.
    const auto expectHeld = [&] {
        const std::string line = saver.Line();
        if (line.rfind("inhibit ", 0) != 0) {
            ADD_FAILURE() << "not held: " << line;
            return line;
        }
        return line.substr(8, line.find(' ', 8) - 8);
    };
    const std::string playing = expectHeld();
    ASSERT_TRUE(WaitFor([&] { return WindowExists(pid, "QUAMBERPlayer"); }, 20s));
    PressKey(pid, display.Name(), "space");
    EXPECT_EQ(saver.Line(), "uninhibit " + playing) << "held while paused";
    PressKey(pid, display.Name(), "space");
    const std::string resumed = expectHeld();

    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    EXPECT_EQ(player.WaitExit(20s), 0);
    EXPECT_EQ(saver.Line(), "uninhibit " + resumed) << "held after the close";
    EXPECT_EQ(saver.Line(1s), "<timeout>");
}

INSTANTIATE_TEST_SUITE_P(SessionBus, DesktopBus,
                         ::testing::Values(BusNamed::kByAddress, BusNamed::kInRuntimeFolder),
                         [](const auto& info) {
                             return info.param == BusNamed::kByAddress ? "ByAddress"
                                                                       : "InRuntimeFolder";
                         });

}  // namespace
