// The device link on a real pseudo-terminal found through a real device folder, left at the
// kernel's defaults as a freshly plugged adapter is: the pacing of the writes and what the
// device gets, an unplug and replug during playback, and a device the user may not open.

#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "device/UsbDongle.h"
#include "log/Logger.h"
#include "platform/PosixSerialPort.h"
#include "platform/UniqueFd.h"
#include "player/TimecodeAdjuster.h"
#include "support/FreshPty.h"
#include "support/TestSupport.h"
#include "support/UserAccess.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::UniqueFd;
using testing_support::TempDir;

// A dongle: a fresh pseudo-terminal whose slave is linked into the device folder.
class VirtualDongle {
public:
    explicit VirtualDongle(const std::string& link) : link_(link) { Plug(); }
    ~VirtualDongle() { Unplug(); }

    void Plug() {
        auto pty = testing_support::OpenFreshPty();
        ASSERT_FALSE(pty.path.empty());
        path_ = pty.path;
        master_ = std::move(pty.master);
        slave_ = std::move(pty.slave);
        std::filesystem::create_symlink(pty.path, link_);
    }

    void Unplug() {
        if (!master_.Valid()) return;
        std::filesystem::remove(link_);
        slave_.Reset();
        master_.Reset();
    }

    [[nodiscard]] const std::string& SlavePath() const { return path_; }

    // The packets written to the port since the last call.
    std::vector<std::string> TakePackets() {
        pending_ += testing_support::ReadAllWritten(master_.Get(), slave_.Get());
        std::vector<std::string> packets;
        for (; pending_.size() >= 3; pending_.erase(0, 3)) packets.push_back(pending_.substr(0, 3));
        return packets;
    }

private:
    std::string link_;
    std::string path_;
    UniqueFd master_;
    UniqueFd slave_;
    std::string pending_;
};

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
    UsbDongleSerialTest() {
        EXPECT_EQ(::getcwd(previous, sizeof previous), previous);
        EXPECT_EQ(::chdir(dir.Path().c_str()), 0);
        testing_support::WriteFile(dir / "Kestrune.ini",
                                   "[USB_DONGLE]\nDEVICE_NAME=Virtual_Dongle\n"
                                   "[COM_PORT]\nBAUD_RATE=9600\nDATA_BITS=8\n");
        std::filesystem::create_directory(dir / "serial");
    }
    ~UsbDongleSerialTest() override { EXPECT_EQ(::chdir(previous), 0); }

    std::unique_ptr<UsbDongle> MakeDongle() {
        auto dongle = std::make_unique<UsbDongle>(
            UsbDongle::Platform{std::make_unique<TimedPort>(writes),
                                std::make_unique<platform::DirectoryDeviceFolder>(dir / "serial"),
                                std::make_unique<platform::SystemTiming>()});
        dongle->Init(&logger);
        return dongle;
    }

    TempDir dir;
    std::vector<TimedPort::WriteStart> writes;
    char previous[4096] = {};
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
    dongle->Resume(0);
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

TEST_F(UsbDongleSerialTest, UnplugDuringPlaybackThenReplug) {
    const std::string link = dir / "serial/usb-Kestrune_Virtual_Dongle-if00";
    VirtualDongle device(link);
    auto dongle = MakeDongle();
    testing_support::WriteFile(dir / "play.csv", "0,1,40\n10,0,60\n30,1,80\n50,0,20\n");
    dongle->LoadPlayFile(dir / "play.csv");
    dongle->SetMediaReady(60000);
    dongle->Resume(0);
    dongle->Tick(0);
    ASSERT_EQ(device.TakePackets().size(), 1u);

    device.Unplug();
    dongle->Tick(1000);  // the write fails: closed, rediscovery finds nothing
    EXPECT_FALSE(dongle->IsPortOpen());
    EXPECT_EQ(logger.messages.back(), "利用可能デバイスが見つかりませんでした");
    dongle->Tick(1040);
    dongle->Tick(3000);  // nothing is written anywhere
    EXPECT_FALSE(dongle->IsPortOpen());

    device.Plug();
    dongle->OnDevicesChanged(kStatePlaying, 3100);
    dongle->Tick(3100);  // reopened, stop packet, and the line in force on the same tick
    EXPECT_TRUE(dongle->IsPortOpen());
    const auto packets = device.TakePackets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0], std::string("\x01\x01\x00", 3));
    EXPECT_EQ(packets[1], std::string("\x01\x01\xD0", 3));
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
    dongle->Resume(0);
    EXPECT_FALSE(dongle->IsPortOpen());
    EXPECT_EQ(logger.messages.back(),
              "COMポート(" + node + ")がオープンできませんでした (" + std::to_string(EACCES) + ")");
    dongle->OnDevicesChanged(kStateStopped, 0);
    dongle->Reconnect();
    EXPECT_FALSE(dongle->IsPortOpen());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].first, node);
    EXPECT_EQ(told[0].second, "dialout");
}

}  // namespace
