#pragma once

// A serial port through a tty device: opened non-blocking and exclusive (TIOCEXCL), set up
// with termios, written with a bounded wait, closed with a bounded drain. While it is open,
// the process's stop guard (if one runs) holds a copy of it.
//
// A freshly plugged adapter comes with the kernel's terminal defaults, made for a login
// session: NL written as CR NL, echo of what the device sends, line editing, signals and
// XON/XOFF flow control (a 0x13 from the device stops all output). Configure therefore puts
// the line into raw mode every time, and on top of that applies the settings the ini names.

#include <termios.h>

#include <optional>

#include "platform/SerialPort.h"
#include "platform/UniqueFd.h"

namespace platform {

class PosixSerialPort final : public SerialPort {
public:
    PosixSerialPort() = default;
    ~PosixSerialPort() override { Close(); }
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    [[nodiscard]] int Open(const std::string& path) override;
    [[nodiscard]] int Configure(const PortSettings& settings) override;
    [[nodiscard]] WriteResult Write(const uint8_t* data, size_t size, int timeoutMs) override;
    void Close() override;
    [[nodiscard]] bool IsOpen() const override { return fd_.Valid(); }

    // termios speed constant for a rate in bits per second, if termios has one.
    [[nodiscard]] static std::optional<speed_t> SpeedFor(int32_t baudRate);
    // Changes `tio` as the settings say; false for a setting it cannot express.
    [[nodiscard]] static bool ApplySettings(const PortSettings& settings, termios& tio);
    // Turns off everything the terminal does to the bytes (output and input processing, echo,
    // line editing, signals, software flow control, hardware handshake), enables the receiver
    // and ignores the modem status lines. Speed, parity, data and stop bits are left as they
    // are: those are the ini's to change.
    static void MakeRaw(termios& tio);

private:
    UniqueFd fd_;
};

}  // namespace platform
