// The synchronisation driver with the real device link on a pseudo-terminal left at the
// kernel's defaults, found through a real device folder: the dongle unplugged while the video
// plays and plugged in again.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "device/UsbDongle.h"
#include "platform/DeviceFolder.h"
#include "platform/PosixSerialPort.h"
#include "platform/Timing.h"
#include "player/PlayerClock.h"
#include "support/HandClock.h"
#include "support/TestSupport.h"
#include "support/VirtualDongle.h"
#include "sync/DeviceLoop.h"
#include "sync/SyncDriver.h"

namespace {

using testing_support::HandClock;
using testing_support::TempDir;
using testing_support::VirtualDongle;

TEST(SyncDriverSerial, UnplugDuringPlaybackThenReplug) {
    const TempDir dir;
    std::filesystem::create_directory(dir / "serial");
    const std::string link = dir / "serial/usb-Kestrune_Virtual_Dongle-if00";
    VirtualDongle device(link);
    testing_support::RecordingLogger logger;
    UsbDongle dongle(
        UsbDongle::Platform{std::make_unique<platform::PosixSerialPort>(),
                            std::make_unique<platform::DirectoryDeviceFolder>(dir / "serial"),
                            std::make_unique<platform::SystemTiming>()});
    DongleSettings settings;
    settings.deviceNames = {"Virtual_Dongle"};
    dongle.Init(&logger, settings);
    HandClock clock;
    clock.state = PlayerState::kPlaying;  // a device change waits for the next tick
    const auto loop = DeviceLoop::Inline();
    SyncDriver driver(
        clock, dongle, &logger, [](const std::string&) {}, *loop);
    testing_support::WriteFile(dir / "play.csv", "0,1,40\n10,0,60\n30,1,80\n50,0,20\n");
    ASSERT_TRUE(driver.LoadPlayFile(dir / "play.csv"));
    driver.OnMediaReady();
    driver.OnPlaying();
    driver.OnTick();
    ASSERT_EQ(device.TakePackets().size(), 1u);

    device.Unplug();
    clock.now = 1000;
    driver.OnTick();  // the write fails: closed, rediscovery finds nothing
    EXPECT_FALSE(dongle.IsPortOpen());
    EXPECT_EQ(logger.messages.back(), "利用可能デバイスが見つかりませんでした");
    clock.now = 1040;
    driver.OnTick();
    clock.now = 3000;
    driver.OnTick();  // nothing is written anywhere
    EXPECT_FALSE(dongle.IsPortOpen());

    device.Plug();
    clock.now = 3100;
    driver.OnDevicesChanged();
    driver.OnTick();  // reopened, stop packet, and the line in force on the same tick
    EXPECT_TRUE(dongle.IsPortOpen());
    const auto packets = device.TakePackets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0], std::string("\x01\x01\x00", 3));
    EXPECT_EQ(packets[1], std::string("\x01\x01\xD0", 3));
}

}  // namespace
