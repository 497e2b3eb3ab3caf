// The serial port on real pseudo-terminals.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "platform/PosixSerialPort.h"
#include "platform/UniqueFd.h"
#include "support/TestSupport.h"

namespace {

using platform::PortSettings;
using platform::PosixSerialPort;
using platform::UniqueFd;
using platform::WriteResult;

struct Pty : testing_support::RawPty {
    Pty() : RawPty(testing_support::OpenRawPty()) {}
    std::string ReadAll(int waitMs = 200) {
        std::string bytes;
        pollfd p{master.Get(), POLLIN, 0};
        while (::poll(&p, 1, waitMs) > 0) {
            char buffer[256];
            const ssize_t n = ::read(master.Get(), buffer, sizeof buffer);
            if (n <= 0) break;
            bytes.append(buffer, static_cast<size_t>(n));
        }
        return bytes;
    }
};

termios Attributes(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    termios tio{};
    ::tcgetattr(fd.Get(), &tio);
    return tio;
}

TEST(PosixSerialPort, WritesThePacketBytesUnchanged) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    PosixSerialPort port;
    ASSERT_EQ(port.Open(pty.path), 0);
    const uint8_t packet[3] = {0x01, 0x01, 0x0A};  // 0x0A must not become CR LF
    EXPECT_EQ(port.Write(packet, 3, 500), WriteResult::kWritten);
    EXPECT_EQ(pty.ReadAll(), std::string("\x01\x01\x0A", 3));
}

TEST(PosixSerialPort, OpenReportsErrno) {
    PosixSerialPort port;
    EXPECT_EQ(port.Open("/nonexistent/tty"), ENOENT);
    EXPECT_FALSE(port.IsOpen());
}

TEST(PosixSerialPort, ChangesOnlyWhatTheSettingsSet) {
    Pty pty;
    termios before = Attributes(pty.path);
    before.c_cflag = (before.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB;
    ::tcsetattr(pty.slave.Get(), TCSANOW, &before);
    before = Attributes(pty.path);

    PosixSerialPort port;
    ASSERT_EQ(port.Open(pty.path), 0);
    PortSettings settings;
    settings.baudRate = 9600;
    settings.dtrControl = 1;  // a pseudo-terminal has no modem lines: not a refusal
    ASSERT_EQ(port.Configure(settings), 0);
    const termios after = Attributes(pty.path);
    EXPECT_EQ(cfgetospeed(&after), B9600);
    EXPECT_EQ(after.c_cflag & ~CBAUD, before.c_cflag & ~CBAUD);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
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

TEST(PosixSerialPort, AWriteToADeviceThatStopsReadingGivesUpInTime) {
    Pty pty;  // nobody reads the master: the terminal's buffer fills up
    PosixSerialPort port;
    ASSERT_EQ(port.Open(pty.path), 0);
    const uint8_t packet[3] = {1, 1, 0};
    WriteResult result = WriteResult::kWritten;
    std::chrono::milliseconds blocked{0};
    for (int i = 0; i < 100000 && result == WriteResult::kWritten; ++i) {
        const auto start = std::chrono::steady_clock::now();
        result = port.Write(packet, 3, 500);
        blocked = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
    }
    EXPECT_EQ(result, WriteResult::kTimedOut);
    EXPECT_GE(blocked.count(), 450);
    EXPECT_LE(blocked.count(), 1500);
}

TEST(PosixSerialPort, AWriteAfterTheDeviceIsGoneFails) {
    Pty pty;
    PosixSerialPort port;
    ASSERT_EQ(port.Open(pty.path), 0);
    pty.slave.Reset();
    pty.master.Reset();  // the device vanishes
    const uint8_t packet[3] = {1, 1, 0};
    EXPECT_EQ(port.Write(packet, 3, 500), WriteResult::kFailed);
}

}  // namespace
