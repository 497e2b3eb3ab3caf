#pragma once

// The serial port the dongle is reached through. An interface so that the device link can be
// tested without hardware; PosixSerialPort is the real one. Used from the user-interface
// thread only.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/TtyOutput.h"

namespace platform {

// Settings from the ini file's [COM_PORT] section. -1 (255 for the 8-bit ones) means "keep
// what the port has".
struct PortSettings {
    int32_t baudRate = -1;
    uint8_t parity = 0xFF;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t dataBits = 0xFF;  // 5 to 8
    uint8_t stopBits = 0xFF;  // 0 one, 1 one and a half, 2 two
    int dtrControl = -1;      // 1 on, 0 off
    int rtsControl = -1;
};

class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens the device for exclusive use; 0 or the errno of the failure.
    [[nodiscard]] virtual int Open(const std::string& path) = 0;
    // Puts the port into raw mode (the bytes go out and come in unchanged, nothing is echoed
    // and no byte stops the output), then applies the settings that are set and keeps the
    // rest; 0 or an errno (EINVAL for a setting the port cannot take). The port stays open
    // either way.
    [[nodiscard]] virtual int Configure(const PortSettings& settings) = 0;
    // Writes all bytes, waiting at most `timeoutMs` for a port that does not take them.
    [[nodiscard]] virtual WriteResult Write(const uint8_t* data, size_t size, int timeoutMs) = 0;
    // Lets the port go: what is queued gets kDrainTimeoutMs to go out, the rest is dropped.
    virtual void Close() = 0;
    [[nodiscard]] virtual bool IsOpen() const = 0;
};

}  // namespace platform
