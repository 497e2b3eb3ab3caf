// The serial port on real pseudo-terminals left at the kernel's defaults, as a freshly plugged
// adapter is: the bytes go out unchanged, nothing the device sends is echoed or obeyed, and
// the ini's settings are applied while the rest of the line's framing is kept.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <ostream>
#include <string>

#include "platform/DeviceAccess.h"
#include "platform/PosixSerialPort.h"
#include "platform/UniqueFd.h"
#include "support/FreshPty.h"
#include "support/Processes.h"
#include "support/TestSupport.h"
#include "support/UserAccess.h"

namespace {

using namespace std::chrono_literals;
using platform::PortSettings;
using platform::PosixSerialPort;
using platform::WriteResult;
using testing_support::AttributesOf;
using testing_support::HasKernelDefaults;
using testing_support::ReadBytes;

// A fresh pseudo-terminal whose slave the port under test opens, configured as the player
// configures it.
struct Pty : testing_support::FreshPty {
    Pty() : FreshPty(testing_support::OpenFreshPty()) {}

    ::testing::AssertionResult OpenPort(PosixSerialPort& port, const PortSettings& settings) {
        if (path.empty()) return ::testing::AssertionFailure() << "no pseudo-terminal";
        if (const int error = port.Open(path)) {
            return ::testing::AssertionFailure() << "open: " << std::strerror(error);
        }
        if (const int error = port.Configure(settings)) {
            return ::testing::AssertionFailure() << "configure: " << std::strerror(error);
        }
        return ::testing::AssertionSuccess();
    }

    // Whether the slave's output is stopped: a pseudo-terminal offers no room while it is.
    [[nodiscard]] bool OutputStopped() const {
        pollfd p{slave.Get(), POLLOUT, 0};
        return ::poll(&p, 1, 0) == 0;
    }
};

PortSettings IniSettings() {
    PortSettings s;
    s.baudRate = 9600;
    s.parity = 0;
    s.dataBits = 8;
    s.stopBits = 0;
    s.dtrControl = 1;  // a pseudo-terminal has no modem lines: not a refusal
    s.rtsControl = 0;
    return s;
}

struct SettingsCase {
    const char* name;
    PortSettings settings;
};
void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }
const SettingsCase kSettingsCases[] = {{"NothingNamed", {}}, {"AllNamed", IniSettings()}};

class PortAtKernelDefaults : public ::testing::TestWithParam<SettingsCase> {};

INSTANTIATE_TEST_SUITE_P(PosixSerialPort, PortAtKernelDefaults, ::testing::ValuesIn(kSettingsCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(PortAtKernelDefaults, EveryCommandByteArrivesUnchanged) {
    Pty pty;
    ASSERT_TRUE(HasKernelDefaults(AttributesOf(pty.path)));
    PosixSerialPort port;
    ASSERT_TRUE(pty.OpenPort(port, GetParam().settings));

    std::string sent;
    for (int command = 0x00; command <= 0xE4; ++command) {  // 0x0a, 0x0d, 0x11, 0x13 among them
        const uint8_t packet[3] = {0x01, 0x01, static_cast<uint8_t>(command)};
        ASSERT_EQ(port.Write(packet, 3, 500), WriteResult::kWritten) << command;
        sent.append(reinterpret_cast<const char*>(packet), 3);
    }
    EXPECT_EQ(ReadBytes(pty.master.Get(), sent.size()), sent);
}

// What the device sends reaches the port's input as it is, comes back to the device never,
// and an XOFF among it does not hold the next packet.
TEST_P(PortAtKernelDefaults, DeviceBytesAreNeitherEchoedNorObeyed) {
    Pty pty;
    PosixSerialPort port;
    ASSERT_TRUE(pty.OpenPort(port, GetParam().settings));

    const std::string fromDevice = "\x13\x0d\x0a\x11\x03\x13 talk \x13";
    ASSERT_EQ(::write(pty.master.Get(), fromDevice.data(), fromDevice.size()),
              static_cast<ssize_t>(fromDevice.size()));
    // Once the bytes can be read on the port's side the terminal has handled them: an echo
    // would be on its way to the device ahead of the next packet.
    EXPECT_EQ(ReadBytes(pty.slave.Get(), fromDevice.size()), fromDevice);
    EXPECT_FALSE(pty.OutputStopped());

    const uint8_t packet[3] = {0x01, 0x01, 0x0A};
    EXPECT_EQ(port.Write(packet, 3, 500), WriteResult::kWritten);
    EXPECT_EQ(ReadBytes(pty.master.Get(), 3), std::string("\x01\x01\x0A", 3));
}

// Output that was stopped before the port was opened flows once it is configured.
TEST(PosixSerialPort, OutputStoppedBeforeTheOpenFlowsAgain) {
    struct Case {
        const char* how;
        void (*stop)(const Pty&);
    } cases[] = {
        {"an XOFF from the device",
         [](const Pty& pty) { ASSERT_EQ(::write(pty.master.Get(), "\x13", 1), 1); }},
        {"a program's tcflow(TCOOFF)",
         [](const Pty& pty) { ASSERT_EQ(::tcflow(pty.slave.Get(), TCOOFF), 0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        Pty pty;
        c.stop(pty);
        ASSERT_TRUE(testing_support::WaitFor([&] { return pty.OutputStopped(); }, 20s));

        PosixSerialPort port;
        ASSERT_TRUE(pty.OpenPort(port, {}));
        const uint8_t packet[3] = {0x01, 0x01, 0x13};
        EXPECT_EQ(port.Write(packet, 3, 500), WriteResult::kWritten);
        EXPECT_EQ(ReadBytes(pty.master.Get(), 3), std::string("\x01\x01\x13", 3));
    }
}

TEST(PosixSerialPort, SetsWhatTheIniNamesKeepsTheRestOfTheFrameAndGoesRaw) {
    // A pseudo-terminal always keeps 8 bits without parity enable, so the frame is followed
    // through the bits it does keep; ApplySettings is checked for the others below.
    constexpr tcflag_t kFrame = PARODD | CMSPAR | CSTOPB;
    constexpr tcflag_t kBefore = PARODD | CSTOPB;
    PortSettings baud;
    baud.baudRate = 9600;
    baud.dtrControl = 1;
    PortSettings parityAndSize;
    parityAndSize.parity = 0;
    parityAndSize.dataBits = 8;
    PortSettings stop;
    stop.stopBits = 0;
    stop.rtsControl = 0;
    struct Case {
        const char* name;
        PortSettings settings;
        speed_t speed;
        tcflag_t frame;
    } cases[] = {
        {"nothing named", {}, B4800, kBefore},
        {"baud rate and DTR", baud, B9600, kBefore},
        {"parity and data bits", parityAndSize, B4800, CSTOPB},
        {"stop bits and RTS", stop, B4800, PARODD},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Pty pty;
        termios before = AttributesOf(pty.path);
        ASSERT_TRUE(HasKernelDefaults(before));
        before.c_cflag = (before.c_cflag & ~kFrame) | kBefore;
        ASSERT_EQ(::cfsetspeed(&before, B4800), 0);
        ASSERT_EQ(::tcsetattr(pty.slave.Get(), TCSANOW, &before), 0);

        PosixSerialPort port;
        ASSERT_TRUE(pty.OpenPort(port, c.settings));
        const termios after = AttributesOf(pty.path);
        EXPECT_EQ(::cfgetospeed(&after), c.speed);
        EXPECT_EQ(::cfgetispeed(&after), c.speed);
        EXPECT_EQ(after.c_cflag & kFrame, c.frame);
        EXPECT_EQ(after.c_cflag & (CREAD | CLOCAL), CREAD | CLOCAL);
        EXPECT_EQ(after.c_oflag & OPOST, 0u);
        EXPECT_EQ(after.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | IXANY | ISTRIP), 0u);
        EXPECT_EQ(after.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
        EXPECT_EQ(after.c_cc[VMIN], 1);
        EXPECT_EQ(after.c_cc[VTIME], 0);
    }
}

TEST(PosixSerialPort, RawModeLeavesTheIniSettingsAlone) {
    termios tio{};
    tio.c_iflag = tio.c_oflag = tio.c_cflag = tio.c_lflag = ~tcflag_t{0};
    PosixSerialPort::MakeRaw(tio);
    constexpr tcflag_t kIni = CBAUD | CBAUDEX | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
    EXPECT_EQ(tio.c_cflag & kIni, kIni);
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tio.c_iflag & (INPCK | IGNPAR), INPCK | IGNPAR);  // parity checks go with parity
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP | PARMRK), 0u);
    EXPECT_EQ(tio.c_oflag & (OPOST | ONLCR | OCRNL), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ISIG | IEXTEN), 0u);
}

TEST(PosixSerialPort, AppliesParityDataAndStopBits) {
    struct Case {
        uint8_t parity, dataBits, stopBits;
        tcflag_t set, clear;
    } cases[] = {
        {0, 8, 0, CS8, PARENB | CSTOPB},
        {1, 7, 2, PARENB | PARODD | CS7 | CSTOPB, CMSPAR},
        {2, 8, 0xFF, PARENB | CS8, PARODD | CMSPAR},
        {3, 5, 0, PARENB | PARODD | CMSPAR | CS5, CSTOPB},
        {4, 6, 0, PARENB | CMSPAR | CS6, PARODD},
    };
    for (const auto& c : cases) {
        termios tio{};
        tio.c_cflag = CS8 | CSTOPB;
        PortSettings s;
        s.parity = c.parity;
        s.dataBits = c.dataBits;
        s.stopBits = c.stopBits;
        ASSERT_TRUE(PosixSerialPort::ApplySettings(s, tio)) << int(c.parity);
        EXPECT_EQ(tio.c_cflag & c.set, c.set) << int(c.parity);
        EXPECT_EQ(tio.c_cflag & c.clear, 0u) << int(c.parity);
        EXPECT_EQ(tio.c_cflag & CSIZE, c.set & CSIZE) << int(c.parity);
    }
}

TEST(PosixSerialPort, RefusesSettingsThePortCannotTake) {
    Pty pty;
    PosixSerialPort port;
    ASSERT_EQ(port.Open(pty.path), 0);
    PortSettings rate;
    rate.baudRate = 12345;
    PortSettings oneAndAHalf;
    oneAndAHalf.stopBits = 1;
    PortSettings nine;
    nine.dataBits = 9;
    PortSettings parity;
    parity.parity = 5;
    for (const auto& s : {rate, oneAndAHalf, nine, parity}) EXPECT_EQ(port.Configure(s), EINVAL);
}

TEST(PosixSerialPort, OpenReportsErrno) {
    PosixSerialPort port;
    EXPECT_EQ(port.Open("/nonexistent/tty"), ENOENT);
    EXPECT_FALSE(port.IsOpen());
}

// A serial device belongs to a group (dialout) the user must be in; a user outside it is
// refused, and the lookup names the node behind the link and that group.
TEST(PosixSerialPort, ANodeOfAGroupTheUserIsNotInIsRefusedAndItsGroupNamed) {
    const group* dialout = ::getgrnam("dialout");
    if (dialout == nullptr) GTEST_SKIP() << "no dialout group here";
    const gid_t dialoutGid = dialout->gr_gid;
    Pty pty;
    // Owned by nobody and the device group, as udev leaves a serial device.
    if (::chown(pty.path.c_str(), ::geteuid() == 0 ? 65534 : -1, dialoutGid) != 0) {
        GTEST_SKIP() << "cannot give the terminal to dialout: " << std::strerror(errno);
    }
    ASSERT_EQ(::chmod(pty.path.c_str(), 0660), 0);
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(pty.path.c_str(), 0), 0);
    }
    testing_support::TempDir dir;
    const std::string link = dir / "usb-Kestrune_Dongle-if00";
    ASSERT_EQ(::symlink(pty.path.c_str(), link.c_str()), 0);

    PosixSerialPort port;
    {
        testing_support::ScopedUserFileAccess user;
        EXPECT_EQ(port.Open(link), EACCES);
    }
    EXPECT_FALSE(port.IsOpen());
    const auto node = platform::LookUpDeviceNode(link);
    EXPECT_EQ(node.path, pty.path);
    EXPECT_EQ(node.group, "dialout");
}

TEST(PosixSerialPort, TheLookUpOfANodeThatIsNotThereKeepsThePath) {
    const auto node = platform::LookUpDeviceNode("/nonexistent/ttyUSB9");
    EXPECT_EQ(node.path, "/nonexistent/ttyUSB9");
    EXPECT_EQ(node.group, "");
}

TEST(PosixSerialPort, AWriteToADeviceThatStopsReadingGivesUpInTime) {
    Pty pty;  // nobody reads the master: the terminal's buffer fills up
    PosixSerialPort port;
    ASSERT_TRUE(pty.OpenPort(port, {}));
    const uint8_t packet[3] = {1, 1, 0};
    WriteResult result = WriteResult::kWritten;
    double blocked = 0;
    double held = 0;  // of it, waiting for a processor, however long a busy machine makes that
    for (int i = 0; i < 100000 && result == WriteResult::kWritten; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const double waitedBefore = testing_support::SchedulerWaitMs();
        result = port.Write(packet, 3, 500);
        held = testing_support::SchedulerWaitMs() - waitedBefore;
        blocked =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    }
    EXPECT_EQ(result, WriteResult::kTimedOut);
    EXPECT_GE(blocked, 450);
    EXPECT_LE(blocked - held, 1500);
}

TEST(PosixSerialPort, AWriteAfterTheDeviceIsGoneFails) {
    Pty pty;
    PosixSerialPort port;
    ASSERT_TRUE(pty.OpenPort(port, {}));
    pty.slave.Reset();
    pty.master.Reset();  // the device vanishes
    const uint8_t packet[3] = {1, 1, 0};
    EXPECT_EQ(port.Write(packet, 3, 500), WriteResult::kFailed);
}

}  // namespace
