// Runs the virtual dongle kestrune-devsim and talks to it the way the player does: through
// the link, with the player's own serial port where the bytes matter and with a plain
// exclusive non-blocking open where the descriptor itself is looked at. The port must come at
// the kernel's defaults, as a freshly plugged adapter does, and the dongle may talk back.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/PosixSerialPort.h"
#include "platform/UniqueFd.h"
#include "support/FreshPty.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using platform::PosixSerialPort;
using platform::UniqueFd;
using platform::WriteResult;
using testing_support::AttributesOf;
using testing_support::HasKernelDefaults;
using testing_support::MonotonicMs;
using testing_support::TempDir;

constexpr const char* kDefaultName = "usb-Kestrune_Virtual_Dongle-if00";

using DevSim = testing_support::DevSimProcess;

// A packet line split into its arrival time and the rest ("  01 01 cc  direction D speed S").
struct PacketLine {
    std::string time;
    std::string rest;
    [[nodiscard]] double Ms() const { return std::atof(time.c_str()); }
};

PacketLine SplitPacketLine(const std::string& line) {
    const auto space = line.find(' ');
    if (space == std::string::npos) return {line, ""};
    return {line.substr(0, space), line.substr(space)};
}

// The player's own port on the simulator's link, opened and set up as the player does.
class Player {
public:
    explicit Player(const std::string& link) {
        error_ = port_.Open(link);
        if (error_ == 0) error_ = port_.Configure({});
    }
    [[nodiscard]] ::testing::AssertionResult Ready() const {
        if (error_ == 0) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << std::strerror(error_);
    }
    [[nodiscard]] ::testing::AssertionResult Send(const std::vector<uint8_t>& bytes) {
        if (port_.Write(bytes.data(), bytes.size(), 500) == WriteResult::kWritten) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "the write failed or timed out";
    }

private:
    PosixSerialPort port_;
    int error_ = 0;
};

// Opens the port as the player does, without setting it up.
UniqueFd OpenLikePlayer(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Valid() && ::ioctl(fd.Get(), TIOCEXCL) != 0) fd.Reset();
    return fd;
}

::testing::AssertionResult Send(const UniqueFd& fd, std::vector<uint8_t> bytes) {
    const ssize_t n = ::write(fd.Get(), bytes.data(), bytes.size());
    if (n == static_cast<ssize_t>(bytes.size())) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "write returned " << n << ": " << std::strerror(errno);
}

int ExclusiveFlag(int fd) {
    int flag = -1;
    ::ioctl(fd, TIOCGEXCL, &flag);
    return flag;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> EnvironmentWith(const std::string& entry) {
    const std::string name = entry.substr(0, entry.find('=') + 1);
    std::vector<std::string> env = {entry};
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind(name, 0) != 0) env.emplace_back(*e);
    }
    return env;
}

TEST(DevSimTest, PublishesTheSlaveDeviceReplacingAStaleLink) {
    TempDir dir;
    std::filesystem::create_directories(dir / "links");
    const std::string link = dir / "links/" + kDefaultName;
    ASSERT_EQ(::symlink("/dev/pts/999999", link.c_str()), 0);

    DevSim sim({"--dir", dir / "links"});
    ASSERT_TRUE(sim.Started());
    const auto plugged = sim.ExpectPlugged();
    EXPECT_TRUE(std::regex_match(plugged.port, std::regex("/dev/pts/[0-9]+"))) << plugged.port;
    EXPECT_EQ(plugged.link, link);
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), plugged.port);
    struct stat st {};
    ASSERT_EQ(::stat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(testing_support::ListFiles(dir / "links"), std::vector<std::string>{kDefaultName});
}

TEST(DevSimTest, DefaultFolderFollowsXdgRuntimeDirElseTmp) {
    TempDir dir;
    std::filesystem::create_directories(dir / "runtime");
    {
        DevSim sim({}, EnvironmentWith("XDG_RUNTIME_DIR=" + (dir / "runtime")));
        const auto plugged = sim.ExpectPlugged();
        EXPECT_EQ(plugged.link, dir / "runtime/kestrune-devsim/" + kDefaultName);
        EXPECT_EQ(std::filesystem::status(dir / "runtime/kestrune-devsim").permissions(),
                  std::filesystem::perms::owner_all);
        sim.Signal(SIGTERM);
        EXPECT_EQ(sim.WaitExit(), 0);
    }
    {
        // An unusable runtime folder: the per-user folder in /tmp, under a name of the test's
        // own so as not to disturb a simulator the user runs.
        const std::string name = "devsim-test-" + std::to_string(::getpid());
        const std::string folder = "/tmp/kestrune-devsim-" + std::to_string(::getuid());
        DevSim sim({"--name", name}, EnvironmentWith("XDG_RUNTIME_DIR=" + (dir / "missing")));
        const auto plugged = sim.ExpectPlugged();
        EXPECT_EQ(plugged.link, folder + "/" + name);
        EXPECT_TRUE(Exists(folder + "/" + name));
        sim.Signal(SIGTERM);
        EXPECT_EQ(sim.WaitExit(), 0);
        EXPECT_FALSE(Exists(folder + "/" + name));
        ::rmdir(folder.c_str());  // only when empty
    }
}

TEST(DevSimTest, PrintsAndRecordsThePlayersPacketsHoweverTheyAreCut) {
    TempDir dir;
    const std::string record = dir / "packets.csv";
    DevSim sim({"--dir", dir / "links", "--record", record, "--epoch-ms"});
    const auto plugged = sim.ExpectPlugged();
    Player port(plugged.link);
    ASSERT_TRUE(port.Ready());

    const double start = MonotonicMs();
    ASSERT_TRUE(port.Send({0x01, 0x01, 0xB2}));
    const PacketLine whole = SplitPacketLine(sim.Line());
    const double afterWhole = MonotonicMs();

    // Split with a pause; the command byte is a line feed, which only a raw port leaves alone.
    ASSERT_TRUE(port.Send({0x01}));
    std::this_thread::sleep_for(150ms);
    const double secondHalf = MonotonicMs();
    ASSERT_TRUE(port.Send({0x01, 0x0A}));
    const PacketLine split = SplitPacketLine(sim.Line());

    // Two in one write, the first a carriage return.
    ASSERT_TRUE(port.Send({0x01, 0x01, 0x0D, 0x01, 0x01, 0xE4}));
    const PacketLine first = SplitPacketLine(sim.Line());
    const PacketLine second = SplitPacketLine(sim.Line());
    const double end = MonotonicMs();

    EXPECT_EQ(whole.rest, "  01 01 b2  direction 1 speed 50");
    EXPECT_EQ(split.rest, "  01 01 0a  direction 0 speed 10");
    EXPECT_EQ(first.rest, "  01 01 0d  direction 0 speed 13");
    EXPECT_EQ(second.rest, "  01 01 e4  direction 1 speed 100");
    // Times on the caller's own monotonic clock; a split packet arrives with its last byte.
    EXPECT_GE(whole.Ms(), start);
    EXPECT_LE(whole.Ms(), afterWhole);
    EXPECT_GE(split.Ms(), secondHalf);
    EXPECT_LE(first.Ms(), second.Ms());
    EXPECT_LE(second.Ms(), end);

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Line(), "devsim: 4 packets");
    EXPECT_EQ(sim.WaitExit(), 0);
    EXPECT_EQ(testing_support::ReadFile(record),
              "arrival_ms,byte0,byte1,byte2,direction,speed\n" + whole.time + ",01,01,b2,1,50\n" +
                  split.time + ",01,01,0a,0,10\n" + first.time + ",01,01,0d,0,13\n" + second.time +
                  ",01,01,e4,1,100\n");
}

TEST(DevSimTest, ReportsStrayBytesAndFindsTheNextPacket) {
    TempDir dir;
    DevSim sim({"--dir", dir.Path()});
    Player port(sim.ExpectPlugged().link);
    ASSERT_TRUE(port.Ready());

    ASSERT_TRUE(
        port.Send({0xFF, 0x01, 0x01, 0x32, 0x01, 0x05, 0x01, 0x01, 0x85, 0x01, 0x01, 0x7F}));
    EXPECT_EQ(sim.Line(), "devsim: stray byte ff");
    EXPECT_EQ(SplitPacketLine(sim.Line()).rest, "  01 01 32  direction 0 speed 50");
    EXPECT_EQ(sim.Line(), "devsim: stray byte 01");
    EXPECT_EQ(sim.Line(), "devsim: stray byte 05");
    EXPECT_EQ(SplitPacketLine(sim.Line()).rest, "  01 01 85  direction 1 speed 5");
    EXPECT_EQ(SplitPacketLine(sim.Line()).rest, "  01 01 7f  direction 0 speed 127");
    EXPECT_EQ(sim.Line(), "devsim: speed 127 out of range");

    // An unfinished packet at the end is stray too, and the strays are counted.
    ASSERT_TRUE(port.Send({0x07, 0x01, 0x01}));
    EXPECT_EQ(sim.Line(), "devsim: stray byte 07");
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Line(), "devsim: stray byte 01");
    EXPECT_EQ(sim.Line(), "devsim: stray byte 01");
    EXPECT_EQ(sim.Line(), "devsim: 6 stray bytes");
    EXPECT_EQ(sim.Line(), "devsim: 3 packets");
    EXPECT_EQ(sim.WaitExit(), 0);
}

// The player's end of the link is as a freshly plugged adapter leaves it, before the player
// has set it up and again after a replug, whatever the player did to the old one.
TEST(DevSimTest, LeavesThePortAtTheKernelsDefaults) {
    const testing_support::FreshPty fresh = testing_support::OpenFreshPty();
    ASSERT_FALSE(fresh.path.empty());
    termios defaults{};
    ASSERT_EQ(::tcgetattr(fresh.slave.Get(), &defaults), 0);
    ASSERT_TRUE(HasKernelDefaults(defaults));

    TempDir dir;
    // Three seconds to look at the port before the unplug: room for a busy machine.
    DevSim sim({"--dir", dir.Path(), "--unplug-after", "3", "--replug-after", "0.1"});
    const std::string link = sim.ExpectPlugged().link;
    const auto expectDefaults = [&](const char* when) {
        SCOPED_TRACE(when);
        const termios tio = AttributesOf(link);
        EXPECT_TRUE(HasKernelDefaults(tio));
        EXPECT_EQ(tio.c_iflag, defaults.c_iflag);
        EXPECT_EQ(tio.c_oflag, defaults.c_oflag);
        EXPECT_EQ(tio.c_lflag, defaults.c_lflag);
        EXPECT_EQ(tio.c_cflag, defaults.c_cflag);
    };
    expectDefaults("as plugged in");
    {
        Player player(link);  // makes its port raw
        ASSERT_TRUE(player.Ready());
        EXPECT_FALSE(HasKernelDefaults(AttributesOf(link)));
        EXPECT_EQ(sim.Line(), "devsim: unplugged");
    }
    EXPECT_FALSE(sim.ExpectPlugged().link.empty());
    EXPECT_EQ(sim.Line(), "devsim: replugged");
    expectDefaults("after a replug");
}

// Every command byte reaches the dongle as it is through the player's port, line feed,
// carriage return, XON and XOFF included, and the stream never leaves its frame.
TEST(DevSimTest, ThePlayersPortDeliversEveryCommandUnchanged) {
    TempDir dir;
    DevSim sim({"--dir", dir.Path()});
    Player player(sim.ExpectPlugged().link);
    ASSERT_TRUE(player.Ready());
    int packets = 0;
    for (int command = 0x00; command <= 0xE4; ++command, ++packets) {
        SCOPED_TRACE(command);
        ASSERT_TRUE(player.Send({0x01, 0x01, static_cast<uint8_t>(command)}));
        char expected[64];
        std::snprintf(expected, sizeof expected, "  01 01 %02x  direction %d speed %d", command,
                      command >> 7, command & 0x7F);
        ASSERT_EQ(SplitPacketLine(sim.Line()).rest, expected);
        if ((command & 0x7F) > 100) {
            ASSERT_EQ(sim.Line(),
                      "devsim: speed " + std::to_string(command & 0x7F) + " out of range");
        }
    }
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Line(), "devsim: " + std::to_string(packets) + " packets");  // no stray bytes
    EXPECT_EQ(sim.WaitExit(), 0);
}

// A dongle that talks: the bytes reach the player's side in order, once at their times after
// the port is opened and repeated at their period.
TEST(DevSimTest, TalksBackInOrderAtTheGivenTimes) {
    TempDir dir;
    DevSim sim({"--dir", dir.Path(), "--talk", "500:11,300:13,300:0a0d", "--talk-every", "200:41"});
    const std::string link = sim.ExpectPlugged().link;
    const double opened = MonotonicMs();
    // The player's side, read as the player's raw port would read it.
    const UniqueFd reader(::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(reader.Valid()) << std::strerror(errno);
    termios tio{};
    ASSERT_EQ(::tcgetattr(reader.Get(), &tio), 0);
    PosixSerialPort::MakeRaw(tio);
    ASSERT_EQ(::tcsetattr(reader.Get(), TCSANOW, &tio), 0);

    // Due at 200, 300, 300, 400, 500 and 600 ms after the open.
    const std::string expected = "\x41\x13\x0a\x0d\x41\x11\x41";
    std::string heard;
    std::vector<double> times;
    while (heard.size() < expected.size()) {
        const std::string more = testing_support::ReadBytes(reader.Get(), 1);
        if (more.empty()) break;
        heard += more;
        times.push_back(MonotonicMs());
    }
    EXPECT_EQ(heard, expected);
    ASSERT_EQ(times.size(), expected.size());
    EXPECT_GE(times[0], opened + 200);
    EXPECT_GE(times[1], opened + 300);
    EXPECT_GE(times[5], opened + 500);
    for (const char* line : {"devsim: sent 41", "devsim: sent 13", "devsim: sent 0a 0d",
                             "devsim: sent 41", "devsim: sent 11", "devsim: sent 41"}) {
        EXPECT_EQ(sim.Line(), line);
    }
}

// An XOFF from the dongle neither stops the player's output nor comes back to the dongle.
TEST(DevSimTest, AnXoffFromTheDongleDoesNotStopThePlayer) {
    TempDir dir;
    DevSim sim({"--dir", dir.Path(), "--talk", "300:13,300:0d"});
    const std::string link = sim.ExpectPlugged().link;
    Player player(link);
    ASSERT_TRUE(player.Ready());
    EXPECT_EQ(sim.Line(), "devsim: sent 13");
    EXPECT_EQ(sim.Line(), "devsim: sent 0d");
    // Once the bytes wait in the port's input the terminal has dealt with them: an XOFF
    // obeyed would never get there, and an echo would reach the dongle before what follows.
    const UniqueFd watcher(::open(link.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(watcher.Valid()) << std::strerror(errno);
    const bool arrived = testing_support::WaitFor(
        [&] {
            int waiting = 0;
            return ::ioctl(watcher.Get(), FIONREAD, &waiting) == 0 && waiting == 2;
        },
        20s);
    ASSERT_TRUE(arrived) << "the dongle's bytes never reached the player's input";

    ASSERT_TRUE(player.Send({0x01, 0x01, 0x13}));
    EXPECT_EQ(SplitPacketLine(sim.Line()).rest, "  01 01 13  direction 0 speed 19");
    ASSERT_TRUE(player.Send({0x01, 0x01, 0x91}));
    EXPECT_EQ(SplitPacketLine(sim.Line()).rest, "  01 01 91  direction 1 speed 17");
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Line(), "devsim: 2 packets");
    EXPECT_EQ(sim.WaitExit(), 0);
}

// What happened to a name in a watched folder first: IN_DELETE, IN_MOVED_TO, ..., or 0.
uint32_t FirstChange(int watch, const std::string& name) {
    alignas(inotify_event) char buffer[4096];
    const ssize_t n = ::read(watch, buffer, sizeof buffer);
    for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if (event->len > 0 && name == event->name) return event->mask;
    }
    return 0;
}

TEST(DevSimTest, UnplugFailsThePlayersWritesAndReplugOffersAFreshPort) {
    TempDir dir;
    // Three seconds to write before the unplug: room for a busy machine.
    DevSim sim({"--dir", dir.Path(), "--unplug-after", "3", "--replug-after", "0.5"});
    const auto before = sim.ExpectPlugged();
    // The folder is watched: the unplug's removal of the link shows even when the test looks
    // after the replug has put a new one in its place.
    const UniqueFd watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    ASSERT_GE(::inotify_add_watch(watch.Get(), dir.Path().c_str(), IN_DELETE | IN_MOVED_TO), 0);
    const UniqueFd oldPort = OpenLikePlayer(before.link);
    ASSERT_TRUE(oldPort.Valid());
    ASSERT_TRUE(Send(oldPort, {0x01, 0x01, 0x81}));
    EXPECT_EQ(SplitPacketLine(sim.Line()).rest, "  01 01 81  direction 1 speed 1");

    EXPECT_EQ(sim.Line(), "devsim: unplugged");
    const uint8_t packet[] = {0x01, 0x01, 0x00};
    errno = 0;
    EXPECT_EQ(::write(oldPort.Get(), packet, sizeof packet), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(FirstChange(watch.Get(), kDefaultName), IN_DELETE) << "the link was not removed";

    const auto after = sim.ExpectPlugged();
    EXPECT_EQ(sim.Line(), "devsim: replugged");
    EXPECT_EQ(after.link, before.link);
    EXPECT_EQ(std::filesystem::read_symlink(after.link).string(), after.port);
    const UniqueFd newPort = OpenLikePlayer(after.link);
    ASSERT_TRUE(newPort.Valid()) << std::strerror(errno);
    ASSERT_TRUE(Send(newPort, {0x01, 0x01, 0x14}));
    EXPECT_EQ(SplitPacketLine(sim.Line()).rest, "  01 01 14  direction 0 speed 20");

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Line(), "devsim: 2 packets");
    EXPECT_EQ(sim.WaitExit(), 0);
}

// A pseudo-terminal keeps the exclusive-use flag until its master is closed, so a player that
// closed the port and opened it again at once would be refused; the simulator drops the flag
// after an open and whenever bytes arrive.
TEST(DevSimTest, DropsTheExclusiveUseFlagSoThePlayerCanReopen) {
    TempDir dir;
    DevSim sim({"--dir", dir.Path()});
    const std::string link = sim.ExpectPlugged().link;
    {
        const UniqueFd player = OpenLikePlayer(link);
        ASSERT_TRUE(player.Valid());
        EXPECT_TRUE(
            testing_support::WaitFor([&] { return ExclusiveFlag(player.Get()) == 0; }, 20s));

        // The simulator stops watching after an open once it has dropped the flag: set again,
        // only the next packet drops it.
        ASSERT_EQ(::ioctl(player.Get(), TIOCEXCL), 0);
        ASSERT_TRUE(Send(player, {0x01, 0x01, 0x00}));
        EXPECT_EQ(SplitPacketLine(sim.Line()).rest, "  01 01 00  direction 0 speed 0");
        EXPECT_EQ(ExclusiveFlag(player.Get()), 0);
    }
    const UniqueFd again = OpenLikePlayer(link);
    ASSERT_TRUE(again.Valid()) << std::strerror(errno);
    ASSERT_TRUE(Send(again, {0x01, 0x01, 0x80}));
    EXPECT_EQ(SplitPacketLine(sim.Line()).rest, "  01 01 80  direction 1 speed 0");
}

TEST(DevSimTest, TerminationSignalsRemoveTheLinkAndPrintTheCount) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(::strsignal(signal));
        TempDir dir;
        const double spawned = MonotonicMs();
        DevSim sim({"--dir", dir.Path()});
        const std::string link = sim.ExpectPlugged().link;
        const UniqueFd port = OpenLikePlayer(link);
        ASSERT_TRUE(port.Valid());
        ASSERT_TRUE(Send(port, {0x01, 0x01, 0x40}));
        const PacketLine packet = SplitPacketLine(sim.Line());
        EXPECT_EQ(packet.rest, "  01 01 40  direction 0 speed 64");
        // Milliseconds since the simulator started.
        EXPECT_GE(packet.Ms(), 0.0);
        EXPECT_LE(packet.Ms(), MonotonicMs() - spawned);

        sim.Signal(signal);
        EXPECT_EQ(sim.Line(), "devsim: 1 packets");
        EXPECT_EQ(sim.WaitExit(), 0);
        EXPECT_FALSE(Exists(link));
        const uint8_t stop[] = {0x01, 0x01, 0x00};
        errno = 0;
        EXPECT_EQ(::write(port.Get(), stop, sizeof stop), -1);
        EXPECT_EQ(errno, EIO);
    }
}

TEST(DevSimTest, DurationEndsTheRun) {
    TempDir dir;
    const double start = MonotonicMs();
    DevSim sim({"--dir", dir.Path(), "--duration", "0.3"});
    const std::string link = sim.ExpectPlugged().link;
    EXPECT_EQ(sim.Line(), "devsim: 0 packets");
    EXPECT_EQ(sim.WaitExit(), 0);
    EXPECT_GE(MonotonicMs() - start, 300.0);
    EXPECT_FALSE(Exists(link));
}

TEST(DevSimTest, RefusesBadCommandLinesAndUnusablePlaces) {
    TempDir dir;
    {
        DevSim sim({"--help"});
        EXPECT_EQ(sim.Line(), "usage: kestrune-devsim [OPTIONS]");
        EXPECT_EQ(sim.WaitExit(), 0);
    }
    const std::vector<std::vector<std::string>> badLines = {
        {"--bogus"},
        {"--dir"},
        {"--duration", "-1"},
        {"--duration", "soon"},
        {"--name", "a/b"},
        {"--name", ".."},
        {"--replug-after", "1"},
        {"--talk", "100"},
        {"--talk", "x:13"},
        {"--talk", "100:1"},
        {"--talk", "100:zz"},
        {"--talk", "100:13,"},
        {"--talk", "-5:13"},
        {"--talk-every", "0:13"},
    };
    for (auto args : badLines) {
        SCOPED_TRACE(args.front() + " " + args.back());
        if (args.front() != "--dir") args.insert(args.begin(), {"--dir", dir / "links"});
        DevSim sim(args);
        EXPECT_EQ(sim.Line(), "<end>");
        EXPECT_EQ(sim.WaitExit(), 2);
    }
    EXPECT_FALSE(Exists(dir / "links"));

    // A record that cannot be written, and a file in the link's place that is not a link.
    testing_support::WriteFile(dir / "not-a-link", "keep");
    const std::vector<std::vector<std::string>> failing = {
        {"--dir", dir.Path(), "--record", dir / "missing/packets.csv"},
        {"--dir", dir.Path(), "--name", "not-a-link"},
    };
    for (const auto& args : failing) {
        SCOPED_TRACE(args.back());
        DevSim sim(args);
        EXPECT_EQ(sim.Line(), "<end>");
        EXPECT_EQ(sim.WaitExit(), 1);
    }
    EXPECT_EQ(testing_support::ReadFile(dir / "not-a-link"), "keep");
    EXPECT_EQ(testing_support::ListFiles(dir.Path()), std::vector<std::string>{"not-a-link"});
}

}  // namespace
