#pragma once

// The link to the motion device through the USB radio dongle: configuration from the ini
// file, discovery of the dongle's serial port and the command packets. Owned by the main
// window, created during its initialisation. Used from the user-interface thread only.

#include <cstdint>
#include <string>
#include <vector>

class Logger;

// Port settings from the [COM_PORT] section; -1 (255 for the 8-bit ones) means "keep the
// port's own value".
struct PortSettings {
    int32_t baudRate = -1;
    uint8_t parity = 0xFF;
    uint8_t dataBits = 0xFF;
    uint8_t stopBits = 0xFF;
    int dtrControl = -1;
    int rtsControl = -1;
};

class UsbDongle {
public:
    UsbDongle() = default;
    UsbDongle(const UsbDongle&) = delete;
    UsbDongle& operator=(const UsbDongle&) = delete;

    // Reads the device names and, when there are any, the port settings. `logger` is lent
    // and must outlive this object.
    void Init(Logger* logger);

    // The configured name that matched the present dongle; empty when none is known.
    [[nodiscard]] std::string GetDeviceName() const { return matchedName; }

    // The system's serial devices changed. Handled at once unless the player is busy.
    void OnDevicesChanged(int playerState, int64_t t);

    // Sends the stop packet when the port is open, waits, and closes it.
    void ClosePort();
    // Writes the stop packet; dropped while the port is closed.
    void SendStop();

    // The player reported a length: from now on play, pause, stop and ticks reach the device
    // link. Never cleared.
    void SetMediaReady(int64_t length);
    [[nodiscard]] bool IsMediaReady() const { return mediaReady; }
    // The player reports that it is playing at `t` ms.
    void Resume(int64_t t);

    [[nodiscard]] const std::vector<std::string>& DeviceNames() const { return deviceNames; }
    [[nodiscard]] const PortSettings& GetPortSettings() const { return portSettings; }
    [[nodiscard]] bool DevicesChangePending() const { return devicesChanged; }

private:
    Logger* logger = nullptr;
    std::vector<std::string> deviceNames;
    PortSettings portSettings;
    std::string matchedName;
    bool devicesChanged = false;
    bool mediaReady = false;
};
