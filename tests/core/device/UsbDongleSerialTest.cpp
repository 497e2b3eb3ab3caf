// The device link on a real pseudo-terminal found through a real device folder, left at the
// kernel's defaults as a freshly plugged adapter is: the pacing of the writes and what the
// device gets, and a device the user may not open.

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "device/UsbDongle.h"
#include "log/Logger.h"
#include "platform/PosixSerialPort.h"
#include "support/TestSupport.h"
#include "support/UserAccess.h"
#include "support/VirtualDongle.h"

namespace {

using Clock = std::chrono::steady_clock;
using testing_support::TempDir;
using testing_support::VirtualDongle;

// The player's port, noting as each write begins when that was and how long the calling thread
// had waited for a processor by then.
class TimedPort final : public platform::SerialPort {
public:
    struct WriteStart {
        Clock::time_point at;
        double waitedMs;
    };
    explicit TimedPort(std::vector<WriteStart>& writes) : writes_(writes) {}

    int Open(const std::string& path) override { return port_.Open(path); }
    int Configure(const platform::PortSettings& settings) override {
        return port_.Configure(settings);
    }
    platform::WriteResult Write(const uint8_t* data, size_t size, int timeoutMs) override {
        writes_.push_back({Clock::now(), testing_support::SchedulerWaitMs()});
        return port_.Write(data, size, timeoutMs);
    }
    void Close() override { port_.Close(); }
    [[nodiscard]] bool IsOpen() const override { return port_.IsOpen(); }

private:
    platform::PosixSerialPort port_;
    std::vector<WriteStart>& writes_;
};

class UsbDongleSerialTest : public ::testing::Test {
protected:
    UsbDongleSerialTest() { std::filesystem::create_directory(dir / "serial"); }

    std::unique_ptr<UsbDongle> MakeDongle() {
        auto dongle = std::make_unique<UsbDongle>(
            UsbDongle::Platform{std::make_unique<TimedPort>(writes),
                                std::make_unique<platform::DirectoryDeviceFolder>(dir / "serial"),
                                std::make_unique<platform::SystemTiming>()});
        DongleSettings settings;
        settings.deviceNames = {"Virtual_Dongle"};
        settings.port.baudRate = 9600;
        settings.port.dataBits = 8;
        dongle->Init(&logger, settings);
        return dongle;
    }

    TempDir dir;
    std::vector<TimedPort::WriteStart> writes;
    testing_support::RecordingLogger logger;
};

// The spacing is timed where the link makes it, as each write begins: a reader on the device's
// side would time it as late as the scheduler wakes it (two packets may reach a late reader
// together). The link measures 100 ms from its own clock reading before a write; a busy machine
// may hold the thread between that reading and the write, which the bound allows for.
TEST_F(UsbDongleSerialTest, PacketsGoOutAtLeast100MsApart) {
    VirtualDongle device(dir / "serial/usb-Kestrune_Virtual_Dongle-if00");
    auto dongle = MakeDongle();
    EXPECT_EQ(logger.messages.back(), "利用デバイス : usb-Kestrune_Virtual_Dongle-if00");
    dongle->OpenPort();
    ASSERT_TRUE(dongle->IsPortOpen());
    const auto start = Clock::now();
    const double waitedBefore = testing_support::SchedulerWaitMs();
    dongle->SendCommand(0x85, 1);
    dongle->SendCommand(0x0A, 2);  // a line feed and a carriage return go out as they are
    dongle->SendCommand(0x0D, 3);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(195));
    ASSERT_EQ(writes.size(), 3u);
    for (size_t i = 1; i < writes.size(); ++i) {
        const double held =
            writes[i - 1].waitedMs - (i == 1 ? waitedBefore : writes[i - 2].waitedMs);
        const double apartMs =
            std::chrono::duration<double, std::milli>(writes[i].at - writes[i - 1].at).count();
        EXPECT_GE(apartMs, 95 - held) << "packet " << i;
    }
    // The device gets them as they are, in order.
    const auto packets = device.TakePackets();
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0], std::string("\x01\x01\x85", 3));
    EXPECT_EQ(packets[1], std::string("\x01\x01\x0A", 3));
    EXPECT_EQ(packets[2], std::string("\x01\x01\x0D", 3));
}

// A dongle of the dialout group, which the user is not in: refused with EACCES, and the owner
// is told once which device and group, however often the link tries again.
TEST_F(UsbDongleSerialTest, ADongleTheUserMayNotOpenIsToldOnceWithItsGroup) {
    const group* dialout = ::getgrnam("dialout");
    if (dialout == nullptr) GTEST_SKIP() << "no dialout group here";
    VirtualDongle device(dir / "serial/usb-Kestrune_Virtual_Dongle-if00");
    const std::string node = device.SlavePath();
    if (::chown(node.c_str(), ::geteuid() == 0 ? 65534 : -1, dialout->gr_gid) != 0) {
        GTEST_SKIP() << "cannot give the terminal to dialout: " << std::strerror(errno);
    }
    ASSERT_EQ(::chmod(node.c_str(), ::geteuid() == 0 ? 0660 : 0), 0);

    testing_support::ScopedUserFileAccess user;
    auto dongle = MakeDongle();
    std::vector<std::pair<std::string, std::string>> told;
    dongle->SetAccessDeniedHandler(
        [&](const std::string& path, const std::string& group) { told.emplace_back(path, group); });
    dongle->OpenPort();
    EXPECT_FALSE(dongle->IsPortOpen());
    EXPECT_EQ(logger.messages.back(),
              "COMポート(" + node + ")がオープンできませんでした (" + std::to_string(EACCES) + ")");
    dongle->Reattach();
    dongle->Reconnect();
    EXPECT_FALSE(dongle->IsPortOpen());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].first, node);
    EXPECT_EQ(told[0].second, "dialout");
}

}  // namespace
