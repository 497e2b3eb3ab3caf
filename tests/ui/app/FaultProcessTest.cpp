// Faults met by the real programs, each run as a process: the dongle pulled out and plugged in
// again during playback, SIGHUP and SIGINT while the device moves, the player killed, crashed
// or aborted while it moves (its stop guard stops it), standard output and error a pipe nobody
// reads, closing just as the picture starts, a log folder that cannot be written, a log that
// cannot grow (also from just before the close) and two copies started together. Each case starts
// Kestrune (and the virtual dongle, kestrune-devsim) on the test's display, presses the keys of the
// player's message boxes through xdotool and reads from outside what the user is shown, what the
// dongle received and what the operation log holds: the program goes on or ends in order, the log's
// lines stay whole and the device is left stopped.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "device/UsbDongle.h"
#include "platform/UniqueFd.h"
#include "support/Processes.h"
#include "support/SchedulerWaits.h"
#include "support/TestSupport.h"
#include "ui/app/FaultCommon.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using fault_tests::kMainTitle;
using fault_tests::kStopCommand;
using fault_tests::Media;
using testing_support::DevSimProcess;
using testing_support::FindWindows;
using testing_support::LineEverySecond;
using testing_support::MonotonicMs;
using testing_support::OperationLogText;
using testing_support::PlayerProcess;
using testing_support::ReadFile;
using testing_support::SchedulerWaits;
using testing_support::TempDir;
using testing_support::WaitFor;
using testing_support::WindowExists;
using testing_support::WriteFile;

constexpr auto kStartLimit = 20s;
const std::string kFileErrorCaption = "ファイル操作エラー";
const std::string kStopLine = ",USBドングルへ停止コマンド送信\r\n";
const std::string kDongleIni = "[USB_DONGLE]\nDEVICE_NAME=Kestrune_Virtual\n";

// The players' windows and boxes on an X server of this process's own: the boxes are answered
// by keys, which another test's window must not take. (Each test runs in a process of its own.)
class OwnDisplay final : public ::testing::Environment {
public:
    void SetUp() override {
        display_ = std::make_unique<testing_support::PrivateDisplay>();
        ASSERT_FALSE(display_->Name().empty()) << "Xvfb did not start";
        ::setenv("DISPLAY", display_->Name().c_str(), 1);
    }
    void TearDown() override { display_.reset(); }

private:
    std::unique_ptr<testing_support::PrivateDisplay> display_;
};
[[maybe_unused]] testing::Environment* const kOwnDisplay =
    testing::AddGlobalTestEnvironment(new OwnDisplay);

// ---------------------------------------------------------------------------------------------
// Message boxes of a player process, found and answered through the X server.

// Presses Enter in one message box titled `title`, as the user does to close it. True once
// that box is gone.
bool DismissBox(pid_t pid, const std::string& title) {
    const auto shown = FindWindows(pid, title);
    if (shown.empty()) return false;
    const unsigned long id = shown.front();
    const auto open = [&] {
        const auto now = FindWindows(pid, title);
        return std::find(now.begin(), now.end(), id) != now.end();
    };
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::string keys =
            "xdotool windowfocus --sync " + std::to_string(id) + " key Return >/dev/null 2>&1";
        [[maybe_unused]] const int status = std::system(keys.c_str());
        if (WaitFor([&] { return !open(); }, 5s)) return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// What the virtual dongle reports, line by line.

struct DongleEvent {
    enum class Kind { kPacket, kPort, kLink, kUnplugged, kReplugged, kCount, kOther, kNone };
    Kind kind = Kind::kNone;
    std::string text;
    double arrivalMs = 0;  // packets: CLOCK_MONOTONIC ms of their arrival (--epoch-ms)
    char command = 0;
    double readMs = 0;  // when the test read the line
    std::chrono::system_clock::time_point readWall;
};

DongleEvent NextEvent(DevSimProcess& sim, std::chrono::milliseconds limit) {
    DongleEvent e;
    e.text = sim.Line(limit);
    e.readMs = MonotonicMs();
    e.readWall = std::chrono::system_clock::now();
    using Kind = DongleEvent::Kind;
    double ms = 0;
    unsigned b0 = 0, b1 = 0, b2 = 0;
    if (e.text == "<timeout>" || e.text == "<end>") {
        e.kind = Kind::kNone;
    } else if (e.text.rfind("devsim: port ", 0) == 0) {
        e.kind = Kind::kPort;
    } else if (e.text.rfind("devsim: link ", 0) == 0) {
        e.kind = Kind::kLink;
    } else if (e.text == "devsim: unplugged") {
        e.kind = Kind::kUnplugged;
    } else if (e.text == "devsim: replugged") {
        e.kind = Kind::kReplugged;
    } else if (e.text.rfind("devsim: ", 0) == 0 && e.text.ends_with(" packets")) {
        e.kind = Kind::kCount;
    } else if (std::sscanf(e.text.c_str(), "%lf %x %x %x", &ms, &b0, &b1, &b2) == 4 && b0 == 1 &&
               b1 == 1) {
        e.kind = Kind::kPacket;
        e.arrivalMs = ms;
        e.command = static_cast<char>(b2);
    } else {
        e.kind = Kind::kOther;
    }
    return e;
}

// Reads events until one of `kind` (included) or until `limit` passes without one.
std::vector<DongleEvent> ReadUntil(DevSimProcess& sim, DongleEvent::Kind kind,
                                   std::chrono::milliseconds limit,
                                   const std::function<bool(const DongleEvent&)>& also = nullptr) {
    std::vector<DongleEvent> events;
    const double end = MonotonicMs() + static_cast<double>(limit.count());
    while (MonotonicMs() < end) {
        const auto left = std::chrono::milliseconds(static_cast<int64_t>(end - MonotonicMs()) + 1);
        DongleEvent e = NextEvent(sim, left);
        if (e.kind == DongleEvent::Kind::kNone) break;
        events.push_back(e);
        if (e.kind == kind && (!also || also(e))) break;
    }
    return events;
}

std::vector<DongleEvent> Packets(const std::vector<DongleEvent>& events) {
    std::vector<DongleEvent> packets;
    for (const auto& e : events) {
        if (e.kind == DongleEvent::Kind::kPacket) packets.push_back(e);
    }
    return packets;
}

// The wall-clock times of the operation-log lines whose message is `message`.
std::vector<std::chrono::system_clock::time_point> LogTimes(const std::string& log,
                                                            const std::string& message) {
    std::vector<std::chrono::system_clock::time_point> times;
    size_t start = 0;
    for (size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = log.substr(start, end - start);
        if (!line.ends_with("," + message)) continue;
        std::tm t{};
        int ms = 0;
        if (std::sscanf(line.c_str(), "DEBUG,%d/%d/%d,%d:%d:%d.%d,", &t.tm_year, &t.tm_mon,
                        &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec, &ms) != 7) {
            continue;
        }
        t.tm_year -= 1900;
        t.tm_mon -= 1;
        t.tm_isdst = -1;
        times.push_back(std::chrono::system_clock::from_time_t(std::mktime(&t)) +
                        std::chrono::milliseconds(ms));
    }
    return times;
}

// True when every line of the operation log is whole: it ends with CR LF and each line has
// the six fields of the layout.
::testing::AssertionResult LinesAreWhole(const std::string& log) {
    if (!log.empty() && !log.ends_with("\r\n")) {
        return ::testing::AssertionFailure() << "the log ends inside a line";
    }
    size_t start = 0;
    for (size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = log.substr(start, end - start);
        if (line.rfind("DEBUG,", 0) != 0 || std::count(line.begin(), line.end(), ',') < 5) {
            return ::testing::AssertionFailure() << "torn line: " << line;
        }
    }
    return ::testing::AssertionSuccess();
}

// Starts the player without the superuser's right to pass over file permissions, so that it
// meets them as every user's program does even when the tests run as root. The right is left
// out of the capabilities that a helper thread can hand on through exec; the test keeps its own.
std::unique_ptr<PlayerProcess> StartAsUser(const TempDir& dir, const std::string& ini,
                                           const std::vector<std::string>& arguments,
                                           const std::vector<std::string>& env) {
    std::unique_ptr<PlayerProcess> player;
    std::thread([&] {
        if (::geteuid() == 0) {
            for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
                if (::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0) return;
            }
        }
        player = std::make_unique<PlayerProcess>(dir, ini, arguments, env);
    }).join();
    return player;
}

// Whether `pid` may pass over file permissions (CAP_DAC_OVERRIDE in its effective set).
bool MayOverrideFilePermissions(pid_t pid) {
    const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
    const auto at = status.find("CapEff:\t");
    if (at == std::string::npos) return false;
    const unsigned long long effective = std::stoull(status.substr(at + 8, 16), nullptr, 16);
    return (effective >> CAP_DAC_OVERRIDE) & 1;
}

// The arguments that play clip.mp4 at once with `dir`/moves.csv, one line a second.
std::vector<std::string> PlayClipWithMoves(const TempDir& dir) {
    WriteFile(dir / "moves.csv", LineEverySecond(20));
    return {Media("clip.mp4"), "--play-file", dir / "moves.csv", "--play"};
}

// Whether the virtual dongle came up: its port and link lines were read.
bool PluggedIn(DevSimProcess& sim) {
    return sim.Started() && ReadUntil(sim, DongleEvent::Kind::kLink, 20s).size() == 2u;
}

// Ends the virtual dongle and reads what it reports up to its packet count: all that the
// player wrote is in there, however late the dongle got round to reading it.
std::vector<DongleEvent> ReadToTheEnd(DevSimProcess& sim) {
    sim.Signal(SIGTERM);
    return ReadUntil(sim, DongleEvent::Kind::kCount, 20s);
}

// ---------------------------------------------------------------------------------------------
// The dongle pulled out during playback and plugged in again, with the real programs.

// The bounds on how soon the player reacts allow for the time a busy machine kept the player,
// the virtual dongle or the test waiting for a processor around then (SchedulerWaits).
TEST(DongleProcess, UnplugAndReplugDuringPlaybackArePickedUpWithinTheWriteBound) {
    TempDir dir;
    const std::string serial = dir / "serial";
    fs::create_directories(serial);
    PlayerProcess player(dir, kDongleIni, PlayClipWithMoves(dir),
                         {"KESTRUNE_SERIAL_DIR=" + serial});
    ASSERT_GT(player.Pid(), 0);
    // Playing before the dongle comes: plug-in, unplug and replug all fall inside playback.
    // The volume is set up on libvlc's first report of the time: the clock runs from then on.
    ASSERT_TRUE(WaitFor(
        [&] {
            const std::string log = OperationLogText(dir);
            return log.find(",MediaPlayerPlaying\r\n") != std::string::npos &&
                   log.find(",音量初期化\r\n") != std::string::npos;
        },
        kStartLimit));

    DevSimProcess sim(
        {"--dir", serial, "--epoch-ms", "--unplug-after", "1.5", "--replug-after", "1.5"});
    ASSERT_TRUE(sim.Started());
    SchedulerWaits waits({player.Pid(), sim.Pid(), static_cast<pid_t>(::gettid())});
    const auto plugged = ReadUntil(sim, DongleEvent::Kind::kLink, 20s);
    ASSERT_FALSE(plugged.empty());
    ASSERT_EQ(plugged.back().kind, DongleEvent::Kind::kLink);
    const auto beforeUnplug = ReadUntil(sim, DongleEvent::Kind::kUnplugged, 20s);
    ASSERT_FALSE(beforeUnplug.empty());
    ASSERT_EQ(beforeUnplug.back().kind, DongleEvent::Kind::kUnplugged);
    const auto unplugged = beforeUnplug.back();
    auto packets = Packets(beforeUnplug);
    // Plugged in while playing: the device is stopped first, then gets the line in force.
    ASSERT_GE(packets.size(), 2u);
    EXPECT_EQ(packets[0].command, kStopCommand);
    EXPECT_EQ(packets[1].command & 0x80, 0x80);
    const auto soonAfterTheStop = [&](const std::vector<DongleEvent>& p) {
        return p[1].arrivalMs - p[0].arrivalMs <
               500 + waits.Between(p[0].arrivalMs, p[1].arrivalMs);
    };
    EXPECT_TRUE(soonAfterTheStop(packets)) << "the line in force came late after the stop";
    const DongleEvent lastBeforeUnplug = packets.back();
    const int lastLine = lastBeforeUnplug.command & 0x7F;

    const auto replug = ReadUntil(sim, DongleEvent::Kind::kReplugged, 20s);
    ASSERT_FALSE(replug.empty());
    ASSERT_EQ(replug.back().kind, DongleEvent::Kind::kReplugged);
    EXPECT_TRUE(Packets(replug).empty()) << "packets while no dongle was plugged in";
    const auto replugged = replug.back();

    // Picked up again: stop, then the line in force, then the play file goes on.
    int moves = 0;
    const auto after = ReadUntil(sim, DongleEvent::Kind::kPacket, 20s, [&](const DongleEvent& e) {
        return e.command != kStopCommand && ++moves == 2;
    });
    packets = Packets(after);
    ASSERT_GE(packets.size(), 3u) << "the play file did not go on after the replug";
    EXPECT_EQ(packets[0].command, kStopCommand);
    EXPECT_LE(
        packets[0].arrivalMs - replugged.readMs,
        UsbDongle::kWriteTimeoutMs +
            waits.Between(replugged.readMs - UsbDongle::kWriteTimeoutMs, packets[0].arrivalMs))
        << "the replugged dongle was picked up late";
    // About 1.5 s of playback passed without the dongle: the line in force is a later one, and
    // no further on than the time that passed (the clock runs at most a second ahead of
    // libvlc's report).
    const int inForce = packets[1].command & 0x7F;
    EXPECT_GT(inForce, lastLine) << "the line sent after the replug is an old one";
    const double passedMs = packets[1].arrivalMs - lastBeforeUnplug.arrivalMs;
    EXPECT_LE(inForce, lastLine + 1 + static_cast<int>(std::ceil(passedMs / 1000)))
        << passedMs << " ms after line " << lastLine;
    EXPECT_TRUE(soonAfterTheStop(packets)) << "the line in force came late after the stop";

    // Each change of the devices was handled on the user-interface thread within the bound.
    ASSERT_TRUE(player.Running());
    const std::string log = OperationLogText(dir);
    const auto changes = LogTimes(log, "DBT_DEVNODES_CHANGED");
    for (const auto& [what, seen] :
         {std::pair{"plug-in", plugged.back()}, std::pair{"unplug", unplugged},
          std::pair{"replug", replugged}}) {
        // The test may read of the change late, and the player may handle it late.
        const auto slack = std::chrono::milliseconds(
            static_cast<int64_t>(waits.Between(seen.readMs - 1000, seen.readMs + 1000)));
        const auto at = seen.readWall;
        const bool handled = std::any_of(changes.begin(), changes.end(), [&](const auto& t) {
            return t >= at - 100ms - slack &&
                   t <= at + std::chrono::milliseconds(UsbDongle::kWriteTimeoutMs) + slack;
        });
        EXPECT_TRUE(handled) << "the " << what << " was not logged within "
                             << UsbDongle::kWriteTimeoutMs << " ms\n"
                             << log;
    }

    ASSERT_EQ(::kill(player.Pid(), SIGTERM), 0);
    EXPECT_EQ(player.WaitExit(kStartLimit), 0);
    const auto end = Packets(ReadToTheEnd(sim));
    ASSERT_FALSE(end.empty());
    EXPECT_EQ(end.back().command, kStopCommand);
}

// ---------------------------------------------------------------------------------------------
// A session that ends with SIGHUP (terminal closed) or SIGINT (Ctrl+C) while the device moves.

class StopOnSignal : public ::testing::TestWithParam<int> {};

TEST_P(StopOnSignal, TheStopPacketIsTheLastThingTheDongleGetsBeforeTheExit) {
    TempDir dir;
    const std::string serial = dir / "serial";
    DevSimProcess sim({"--dir", serial, "--epoch-ms"});
    ASSERT_TRUE(PluggedIn(sim));
    PlayerProcess player(dir, kDongleIni, PlayClipWithMoves(dir),
                         {"KESTRUNE_SERIAL_DIR=" + serial});
    ASSERT_GT(player.Pid(), 0);
    auto events = ReadUntil(sim, DongleEvent::Kind::kPacket, kStartLimit,
                            [](const DongleEvent& e) { return e.command != kStopCommand; });
    ASSERT_FALSE(Packets(events).empty()) << "the device never moved";

    // The dongle reads (and times) a packet when it gets a processor.
    SchedulerWaits waits({sim.Pid()});
    const double signalled = MonotonicMs();
    ASSERT_EQ(::kill(player.Pid(), GetParam()), 0);
    EXPECT_EQ(player.WaitExit(kStartLimit), 0);
    const double exited = MonotonicMs();
    const auto tail = ReadToTheEnd(sim);
    ASSERT_FALSE(tail.empty());
    ASSERT_EQ(tail.back().kind, DongleEvent::Kind::kCount);
    events.insert(events.end(), tail.begin(), tail.end());
    const auto packets = Packets(events);
    ASSERT_GE(packets.size(), 2u);
    EXPECT_EQ(packets.back().command, kStopCommand);
    EXPECT_GE(packets.back().arrivalMs, signalled);
    EXPECT_LE(packets.back().arrivalMs, exited + waits.Between(signalled, packets.back().arrivalMs))
        << "the stop packet came after the exit";

    // Nothing else reached the device: its own count agrees with the packets seen.
    EXPECT_EQ(tail.back().text, "devsim: " + std::to_string(packets.size()) + " packets");
}

INSTANTIATE_TEST_SUITE_P(Signals, StopOnSignal, ::testing::Values(SIGHUP, SIGINT),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

// ---------------------------------------------------------------------------------------------
// The player ends without closing in order while the device moves: killed (SIGKILL, as the
// out-of-memory killer does), crashed (SIGSEGV) or aborted (SIGABRT). Its stop guard sends the
// stop packet within a second (after a crash or an abort, again once the player has gone). An
// orderly end (SIGTERM) sends what it always has, and the guard adds nothing.

class EndDuringPlayback : public ::testing::TestWithParam<int> {};

TEST_P(EndDuringPlayback, TheStopPacketFollowsTheLastMotionPacketWithinASecond) {
    const int signo = GetParam();
    TempDir dir;
    const std::string serial = dir / "serial";
    DevSimProcess sim({"--dir", serial, "--epoch-ms"});
    ASSERT_TRUE(PluggedIn(sim));
    // A crash ends a release build at once; a sanitizer build's handler would report first.
    PlayerProcess player(dir, kDongleIni, PlayClipWithMoves(dir),
                         {"KESTRUNE_SERIAL_DIR=" + serial,
                          "ASAN_OPTIONS=detect_leaks=0:handle_segv=0:handle_abort=0"});
    ASSERT_GT(player.Pid(), 0);
    auto events = ReadUntil(sim, DongleEvent::Kind::kPacket, kStartLimit,
                            [](const DongleEvent& e) { return e.command != kStopCommand; });
    ASSERT_FALSE(Packets(events).empty()) << "the device never moved";
    const pid_t guard = player.GuardPid();
    ASSERT_GT(guard, 0) << "no stop guard runs beside the player";

    // The guard and the dongle write and time the packet when they get a processor.
    SchedulerWaits waits({sim.Pid(), guard});
    const double signalled = MonotonicMs();
    ASSERT_EQ(::kill(player.Pid(), signo), 0);
    EXPECT_EQ(player.WaitExit(kStartLimit), signo == SIGTERM ? 0 : 128 + signo);
    // The guard leaves with the player; whatever it was to send is sent by then.
    EXPECT_TRUE(WaitFor([&] { return ::kill(guard, 0) != 0; }, kStartLimit))
        << "the guard outlived the player";
    const auto tail = ReadToTheEnd(sim);
    ASSERT_FALSE(tail.empty());
    ASSERT_EQ(tail.back().kind, DongleEvent::Kind::kCount);
    events.insert(events.end(), tail.begin(), tail.end());
    const auto packets = Packets(events);

    // After the last motion packet, the stop packet and nothing else; after a crash or an
    // abort once more at the end (the first as the signal came).
    const auto lastMove = std::find_if(packets.rbegin(), packets.rend(),
                                       [](const auto& p) { return p.command != kStopCommand; });
    ASSERT_NE(lastMove, packets.rend());
    const bool crash = signo == SIGSEGV || signo == SIGABRT;
    ASSERT_EQ(lastMove - packets.rbegin(), crash ? 2 : 1) << "stop packets after the last move";
    const double stoppedMs = lastMove.base()->arrivalMs;
    EXPECT_GE(stoppedMs, signalled);
    EXPECT_LE(stoppedMs - signalled, 1000 + waits.Between(signalled, stoppedMs))
        << "the stop packet came late";
    // Nothing more reached the device: its own count agrees with the packets seen.
    EXPECT_EQ(tail.back().text, "devsim: " + std::to_string(packets.size()) + " packets");
}

INSTANTIATE_TEST_SUITE_P(Signals, EndDuringPlayback,
                         ::testing::Values(SIGKILL, SIGSEGV, SIGABRT, SIGTERM),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

// Standard output and error are a pipe whose reader has gone (kestrune ... 2>&1 | head -c 1):
// the player's writes there fail, and it plays on and closes in order. The DVD's clock traces
// (KESTRUNE_TRACE=1) write on every tick.
TEST(ClosedOutput, ThePlayerPlaysOnAndClosesInOrder) {
    TempDir dir;
    const std::string serial = dir / "serial";
    DevSimProcess sim({"--dir", serial, "--epoch-ms"});
    ASSERT_TRUE(PluggedIn(sim));
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
    platform::UniqueFd reader(pipe[0]);
    platform::UniqueFd writer(pipe[1]);
    WriteFile(dir / "moves.csv", LineEverySecond(20));
    PlayerProcess player(dir, kDongleIni, {Media("dvd"), "--play-file", dir / "moves.csv"},
                         {"KESTRUNE_SERIAL_DIR=" + serial, "KESTRUNE_TRACE=1"}, writer.Get());
    ASSERT_GT(player.Pid(), 0);
    writer.Reset();
    // As head -c 1 does: one byte, then the reader is gone.
    pollfd said{reader.Get(), POLLIN, 0};
    ASSERT_EQ(::poll(&said, 1, 20000), 1) << "the player wrote nothing";
    char byte = 0;
    ASSERT_EQ(::read(reader.Get(), &byte, 1), 1);
    reader.Reset();

    // Two lines later the player still runs and writes its traces.
    int moves = 0;
    const auto events =
        ReadUntil(sim, DongleEvent::Kind::kPacket, kStartLimit,
                  [&](const DongleEvent& e) { return e.command != kStopCommand && ++moves == 2; });
    ASSERT_EQ(moves, 2) << "the device did not go on moving";
    ASSERT_TRUE(player.Running()) << "the player ended with status " << player.WaitExit(0ms);
    ASSERT_EQ(::kill(player.Pid(), SIGTERM), 0);
    EXPECT_EQ(player.WaitExit(kStartLimit), 0);
    const auto end = Packets(ReadToTheEnd(sim));
    ASSERT_FALSE(end.empty());
    EXPECT_EQ(end.back().command, kStopCommand);
}

// Closing while libvlc is still setting up the picture: the video output must be gone before
// the window is, or it crashes inside the X11 OpenGL driver. The moment is hit on some of the
// tries only, so the close comes at several delays after playback starts.
TEST(CloseProcess, ClosingJustAsThePictureStartsEndsInOrder) {
    for (const int delayMs : {0, 15, 30, 45, 60, 75, 90}) {
        SCOPED_TRACE("closed " + std::to_string(delayMs) + " ms after playing");
        TempDir dir;
        PlayerProcess player(dir, "", {Media("clip.mp4"), "--play"});
        ASSERT_GT(player.Pid(), 0);
        ASSERT_TRUE(WaitFor(
            [&] {
                return OperationLogText(dir).find(",MediaPlayerPlaying\r\n") != std::string::npos;
            },
            kStartLimit));
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        ASSERT_EQ(::kill(player.Pid(), SIGTERM), 0);
        EXPECT_EQ(player.WaitExit(kStartLimit), 0);
    }
}

// ---------------------------------------------------------------------------------------------
// The operation log cannot be written: its folder is read-only, or the file may grow no more.

TEST(LogProcess, AReadOnlyLogFolderIsShownOnceAndThePlayerStillDrivesTheDevice) {
    TempDir dir;
    const std::string logFolder = dir / "share/QUAMBERPlayer/log";
    fs::create_directories(logFolder);
    fs::permissions(logFolder, fs::perms::owner_read | fs::perms::owner_exec);
    const std::string serial = dir / "serial";
    DevSimProcess sim({"--dir", serial, "--epoch-ms"});
    ASSERT_TRUE(PluggedIn(sim));

    const auto player =
        StartAsUser(dir, kDongleIni, PlayClipWithMoves(dir), {"KESTRUNE_SERIAL_DIR=" + serial});
    ASSERT_TRUE(player && player->Pid() > 0);
    const pid_t pid = player->Pid();
    ASSERT_TRUE(WaitFor([&] { return !FindWindows(pid, kFileErrorCaption).empty(); }, kStartLimit));
    ASSERT_FALSE(MayOverrideFilePermissions(pid));
    EXPECT_EQ(FindWindows(pid, "ディレクトリ操作エラー").size(), 0u);
    ASSERT_TRUE(DismissBox(pid, kFileErrorCaption));

    // The window comes up after the box and plays: the device moves.
    ASSERT_TRUE(WaitFor([&] { return WindowExists(pid, kMainTitle); }, kStartLimit));
    const auto moved = ReadUntil(sim, DongleEvent::Kind::kPacket, kStartLimit,
                                 [](const DongleEvent& e) { return e.command != kStopCommand; });
    ASSERT_FALSE(Packets(moved).empty());
    EXPECT_TRUE(FindWindows(pid, kFileErrorCaption).empty()) << "a dropped line showed a box again";

    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    EXPECT_EQ(player->WaitExit(kStartLimit), 0);
    const auto end = Packets(ReadToTheEnd(sim));
    ASSERT_FALSE(end.empty());
    EXPECT_EQ(end.back().command, kStopCommand);
    EXPECT_TRUE(testing_support::ListFiles(logFolder).empty());
}

// The player plays clip.mp4 into the virtual dongle, and its operation log can be made to grow
// no further: RLIMIT_FSIZE stands in for a full disk (writes past it fail, and raise SIGXFSZ).
class FullLog : public ::testing::Test {
protected:
    void SetUp() override {
        // The player must cope on its own: it may not inherit an ignored SIGXFSZ from the test.
        ::signal(SIGXFSZ, SIG_DFL);
        sim = std::make_unique<DevSimProcess>(
            std::vector<std::string>{"--dir", serial, "--epoch-ms"});
        ASSERT_TRUE(PluggedIn(*sim));
        player = std::make_unique<PlayerProcess>(dir, kDongleIni, PlayClipWithMoves(dir),
                                                 std::vector{"KESTRUNE_SERIAL_DIR=" + serial});
        pid = player->Pid();
        ASSERT_GT(pid, 0);
        ASSERT_FALSE(
            Packets(ReadUntil(*sim, DongleEvent::Kind::kPacket, kStartLimit,
                              [](const DongleEvent& e) { return e.command != kStopCommand; }))
                .empty());
        const auto files = testing_support::ListFiles(logFolder);
        ASSERT_EQ(files.size(), 1u);
        logFile = logFolder + "/" + files[0];
    }

    // Lets the player's files grow to `bytes` at most (RLIM_INFINITY: as much as they like).
    ::testing::AssertionResult LimitFiles(rlim_t bytes) const {
        rlimit limit{};
        if (::prlimit(pid, RLIMIT_FSIZE, nullptr, &limit) != 0) {
            return ::testing::AssertionFailure() << "cannot read the limit";
        }
        limit.rlim_cur = std::min(bytes, limit.rlim_max);
        if (::prlimit(pid, RLIMIT_FSIZE, &limit, nullptr) != 0) {
            return ::testing::AssertionFailure() << "cannot set the limit";
        }
        return ::testing::AssertionSuccess();
    }

    TempDir dir;
    const std::string serial = dir / "serial";
    const std::string logFolder = dir / "share/QUAMBERPlayer/log";
    std::unique_ptr<DevSimProcess> sim;
    std::unique_ptr<PlayerProcess> player;
    pid_t pid = -1;
    std::string logFile;
};

TEST_F(FullLog, ShowsOneBoxWhilePlaybackGoesOn) {
    ASSERT_TRUE(WaitFor([&] { return WindowExists(pid, kMainTitle); }, kStartLimit));
    ASSERT_TRUE(LimitFiles(fs::file_size(logFile)));
    const std::string kept = ReadFile(logFile);

    // A device change is logged: the line does not fit.
    WriteFile(serial + "/not-a-dongle", "");
    int status = -1;
    ASSERT_TRUE(WaitFor(
        [&] {
            status = player->WaitExit(20ms);
            return status != -1 || !FindWindows(pid, kFileErrorCaption).empty();
        },
        30s));
    ASSERT_EQ(status, -1) << "the player ended with status " << status;
    // Playback and the device go on while the box is up.
    const auto during = ReadUntil(*sim, DongleEvent::Kind::kPacket, 20s,
                                  [](const DongleEvent& e) { return e.command != kStopCommand; });
    EXPECT_FALSE(Packets(during).empty()) << "the device stopped with the box";
    ASSERT_TRUE(DismissBox(pid, kFileErrorCaption));
    // Another line that does not fit: one box for the whole failing stretch.
    fs::remove(serial + "/not-a-dongle");
    EXPECT_FALSE(WaitFor([&] { return !FindWindows(pid, kFileErrorCaption).empty(); }, 1s));
    EXPECT_EQ(ReadFile(logFile), kept) << "the log changed past its limit";

    // Room again: the lines from now on are written.
    ASSERT_TRUE(LimitFiles(RLIM_INFINITY));
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    EXPECT_EQ(player->WaitExit(kStartLimit), 0);
    const auto end = Packets(ReadToTheEnd(*sim));
    ASSERT_FALSE(end.empty());
    EXPECT_EQ(end.back().command, kStopCommand);
    const std::string log = ReadFile(logFile);
    ASSERT_EQ(log.rfind(kept, 0), 0u) << "the lines before the limit were not kept";
    const std::string added = testing_support::Cp932ToUtf8(log.substr(kept.size()));
    EXPECT_NE(added.find(kStopLine), std::string::npos) << added;
    EXPECT_EQ(added.find("DBT_DEVNODES_CHANGED"), std::string::npos)
        << "a line from the full stretch came back";
    EXPECT_TRUE(LinesAreWhole(testing_support::Cp932ToUtf8(log)));
}

// The log stops taking lines just before the close, with room for part of a line: the close's
// own line is the first to fail. Its box waits for later; the device is stopped, the player ends
// at once, and the log holds whole lines only.
TEST_F(FullLog, AtTheCloseHoldsUpNeitherTheStopNorTheEnd) {
    ASSERT_TRUE(LimitFiles(fs::file_size(logFile) + 10));
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    EXPECT_EQ(player->WaitExit(kStartLimit), 0) << "the close waited";
    const auto end = Packets(ReadToTheEnd(*sim));
    ASSERT_FALSE(end.empty());
    EXPECT_EQ(end.back().command, kStopCommand);
    EXPECT_TRUE(LinesAreWhole(testing_support::Cp932ToUtf8(ReadFile(logFile))));
}

// ---------------------------------------------------------------------------------------------
// Two copies started together with the same data folder.

TEST(TwoCopies, StartedTogetherBothRunAndEachLogLineHasOneOwner) {
    // Log files are named by the second, so whether both copies want the same one depends on
    // when they open it; a few tries make the clash all but certain, and each try must be sane.
    bool clashed = false;
    for (int attempt = 0; attempt < 3 && !clashed; ++attempt) {
        SCOPED_TRACE("attempt " + std::to_string(attempt));
        TempDir first;
        TempDir second;
        fs::create_directories(first / "share");
        fs::create_symlink(first / "share", second / "share");
        PlayerProcess a(first, "");
        PlayerProcess b(second, "");
        ASSERT_GT(a.Pid(), 0);
        ASSERT_GT(b.Pid(), 0);

        int boxes = 0;
        for (PlayerProcess* p : {&a, &b}) {
            const pid_t pid = p->Pid();
            ASSERT_TRUE(WaitFor(
                [&] {
                    return WindowExists(pid, kMainTitle) ||
                           !FindWindows(pid, kFileErrorCaption).empty();
                },
                kStartLimit));
            if (!FindWindows(pid, kFileErrorCaption).empty()) {
                ++boxes;
                ASSERT_TRUE(DismissBox(pid, kFileErrorCaption));
            }
            ASSERT_TRUE(WaitFor([&] { return WindowExists(pid, kMainTitle); }, kStartLimit));
        }
        for (PlayerProcess* p : {&a, &b}) ASSERT_EQ(::kill(p->Pid(), SIGTERM), 0);
        EXPECT_EQ(a.WaitExit(kStartLimit), 0);
        EXPECT_EQ(b.WaitExit(kStartLimit), 0);

        const std::string folder = first / "share/QUAMBERPlayer/log";
        const auto files = testing_support::ListFiles(folder);
        ASSERT_TRUE(files.size() == 1 || files.size() == 2) << files.size() << " log files";
        clashed = files.size() == 1;
        // Same second: the second copy is refused the file with one box and logs nothing.
        // Different seconds: each copy has its own file and no box.
        EXPECT_EQ(boxes, clashed ? 1 : 0);
        for (const auto& name : files) {
            const std::string text = testing_support::Cp932ToUtf8(ReadFile(folder + "/" + name));
            EXPECT_TRUE(LinesAreWhole(text)) << name;
            size_t stops = 0;
            for (size_t at = 0; (at = text.find(kStopLine, at)) != std::string::npos; ++at) ++stops;
            EXPECT_EQ(stops, 1u) << name << ":\n" << text;
        }
    }
    RecordProperty("same_second", clashed ? "yes" : "no");
}

}  // namespace
