#pragma once

// The link to the motion device through the USB radio dongle: the configured device names
// and port settings, discovery of the dongle among the serial devices, the port, the paced
// command packets and the current play script with its synchronisation tick. Owned by the
// main window, created during its initialisation. Used from the user-interface thread only.
//
// Packet: 01 01 command (bit 7 direction, bits 0-6 speed); the stop packet is 01 01 00.
// Packets are at least 100 ms apart; each is traced through the logger before it is written.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/DeviceFolder.h"
#include "platform/SerialPort.h"
#include "platform/Timing.h"
#include "sync/PlayScript.h"

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
        onAccessDenied = std::move(handler);
    }

    // Reads the device names and, when there are any, the port settings, then looks for the
    // dongle. `logger` is lent and must outlive this object.
    void Init(Logger* logger);
    // Looks for the first serial device whose name contains a configured name.
    bool Discover();
    // The configured name that matched the present dongle; empty when none is known.
    [[nodiscard]] std::string GetDeviceName() const { return record.matchedName; }

    // The system's serial devices changed. Handled at once unless the player is busy, else
    // on the next tick.
    void OnDevicesChanged(int playerState, int64_t t);
    void HandleDeviceChange(int64_t t);

    // Replaces the script with the file's lines; the old script is gone even if this fails.
    bool LoadPlayFile(const std::string& path);

    // The player reported a length: from now on play, pause, stop and ticks reach the link.
    void SetMediaReady(int64_t length);
    [[nodiscard]] bool IsMediaReady() const { return mediaReady; }
    // One synchronisation step at adjusted player time `t` (ms).
    void Tick(int64_t t);
    // The player is playing at `t`: position the script and (re)open the port.
    void Resume(int64_t t);
    void Reposition(int64_t t);

    void OpenPort();
    // Sends the stop packet when the port is open, waits 100 ms and closes it.
    void ClosePort();
    // Writes one packet; `time` (tenths of a second) is traced, and a negative one means
    // there is nothing to send.
    void SendCommand(uint8_t command, int64_t time);
    void SendStop() { SendCommand(0, 0); }
    // After a failed write: closes without a stop packet, rediscovers and reopens.
    void Reconnect();

    [[nodiscard]] bool IsPortOpen() const { return port->IsOpen(); }
    [[nodiscard]] const std::vector<std::string>& DeviceNames() const { return deviceNames; }
    [[nodiscard]] const platform::PortSettings& GetPortSettings() const { return portSettings; }
    [[nodiscard]] std::string GetPortName() const { return record.portName; }
    [[nodiscard]] const PlayScript* Script() const { return script.get(); }

private:
    // The last discovery's result; all empty when nothing was found.
    struct DeviceRecord {
        static constexpr size_t kMaxName = 255;
        static constexpr size_t kMaxPort = 63;
        std::string matchedName;
        std::string portName;
        std::string friendlyName;
    };

    Logger* logger = nullptr;
    std::vector<std::string> deviceNames;
    DeviceRecord record;
    bool devicesChanged = false;
    platform::PortSettings portSettings;
    uint8_t packet[3] = {0x01, 0x01, 0x00};
    uint32_t lastSendTime = 0;
    std::unique_ptr<PlayScript> script;
    bool mediaReady = false;
    AccessDeniedHandler onAccessDenied;
    bool accessDeniedShown = false;

    std::unique_ptr<platform::SerialPort> port;
    std::unique_ptr<platform::DeviceFolder> devices;
    std::unique_ptr<platform::Timing> timing;
};
