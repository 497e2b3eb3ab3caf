#pragma once

// The link to the motion device through the USB radio dongle: the configured device names
// and port settings, discovery of the dongle among the serial devices, the port and the paced
// command packets. When to send what is the SyncDriver's. Owned by the playback session; set
// up (Init) on the user-interface thread, then used on the device thread only, where its
// pacing waits and bounded writes hold nobody but that thread.
//
// Packet: 01 01 command (bit 7 direction, bits 0-6 speed); the stop packet is 01 01 00.
// Packets are at least 100 ms apart; each is traced through the logger before it is written.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "configuration/DongleSettings.h"
#include "platform/DeviceFolder.h"
#include "platform/SerialPort.h"
#include "platform/Timing.h"

class Logger;

class UsbDongle {
public:
    // What the link reaches the system through; tests give their own.
    struct Platform {
        std::unique_ptr<platform::SerialPort> port;
        std::unique_ptr<platform::DeviceFolder> devices;
        std::unique_ptr<platform::Timing> timing;
    };

    static constexpr uint32_t kPacketSpacingMs = 100;
    static constexpr uint32_t kCloseDelayMs = 100;
    // How long a write may wait for a device that does not take the bytes.
    static constexpr int kWriteTimeoutMs = 500;

    // The serial devices of the system, a real port and the system clock.
    UsbDongle();
    explicit UsbDongle(Platform platform);
    ~UsbDongle();
    UsbDongle(const UsbDongle&) = delete;
    UsbDongle& operator=(const UsbDongle&) = delete;

    // Called when the dongle's port is refused for lack of permission (EACCES, EPERM), after
    // the logger line, at most once in the life of this object: the device node the dongle's
    // entry resolves to and the name of the group that owns it (empty when unknown). Called
    // from inside OpenPort, so it must not call back into the link.
    using AccessDeniedHandler =
        std::function<void(const std::string& devicePath, const std::string& group)>;
    void SetAccessDeniedHandler(AccessDeniedHandler handler) {
        onAccessDenied_ = std::move(handler);
    }

    // Takes the device names and, when there are any, the port settings, then looks for the
    // dongle. `logger` is lent and must outlive this object.
    void Init(Logger* logger, const DongleSettings& settings);
    // Looks for the first serial device whose name contains a configured name.
    bool Discover();
    // The configured name that matched the present dongle; empty when none is known.
    [[nodiscard]] std::string GetDeviceName() const { return record_.matchedName; }

    // After the system's serial devices changed: looks for the dongle again and, when it is
    // there, opens its port and sends the stop packet; when it is gone, waits 100 ms and
    // closes the port. True when the dongle was found.
    bool Reattach();

    void OpenPort();
    // Sends the stop packet when the port is open, waits 100 ms and closes it.
    void ClosePort();
    // Writes one packet; `time` (tenths of a second) is traced, and a negative one means
    // there is nothing to send.
    void SendCommand(uint8_t command, int64_t time);
    void SendStop() { SendCommand(0, 0); }
    // Whether the last packet written told the device to turn (its speed is not 0) and the
    // port is still open.
    [[nodiscard]] bool IsMoving() const { return port_->IsOpen() && (packet_[2] & 0x7F) != 0; }
    // After a failed write: closes without a stop packet, rediscovers and reopens.
    void Reconnect();

    [[nodiscard]] bool IsPortOpen() const { return port_->IsOpen(); }
    [[nodiscard]] const std::vector<std::string>& DeviceNames() const { return deviceNames_; }
    [[nodiscard]] const platform::PortSettings& GetPortSettings() const { return portSettings_; }
    [[nodiscard]] std::string GetPortName() const { return record_.portName; }

private:
    // Sleeps out what is left of the 100 ms since the last packet.
    void WaitForSpacing();

    // The last discovery's result; all empty when nothing was found.
    struct DeviceRecord {
        static constexpr size_t kMaxName = 255;
        static constexpr size_t kMaxPort = 63;
        std::string matchedName;
        std::string portName;
        std::string friendlyName;
    };

    Logger* logger_ = nullptr;
    std::vector<std::string> deviceNames_;
    DeviceRecord record_;
    platform::PortSettings portSettings_;
    uint8_t packet_[3] = {0x01, 0x01, 0x00};
    uint32_t lastSendTime_ = 0;
    AccessDeniedHandler onAccessDenied_;
    bool accessDeniedShown_ = false;

    std::unique_ptr<platform::SerialPort> port_;
    std::unique_ptr<platform::DeviceFolder> devices_;
    std::unique_ptr<platform::Timing> timing_;
};
