#pragma once

// A pseudo-terminal left at the kernel's terminal defaults, the stand-in for a freshly plugged
// USB serial adapter: output processing (NL written as CR NL), echo, line editing, signals and
// XON/XOFF flow control, all on the slave, which is the side the player opens. The master is
// the device's end: it has no processing of its own for what the slave writes, and what is
// written to it passes through the slave's input processing (echo, CR mapping, XON/XOFF).

#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <string>

#include "platform/UniqueFd.h"

namespace testing_support {

struct FreshPty {
    platform::UniqueFd master;
    platform::UniqueFd slave;  // held open by the test, as the kernel holds a plugged adapter
    std::string path;          // the slave's device node
};
[[nodiscard]] FreshPty OpenFreshPty();

// The terminal settings of the device node at `path`, read through a descriptor of its own.
[[nodiscard]] termios AttributesOf(const std::string& path);

// Success when `tio` has the kernel defaults that break a binary protocol, else which it lacks.
[[nodiscard]] ::testing::AssertionResult HasKernelDefaults(const termios& tio);

// Reads `fd` until `count` bytes have come or `limit` has passed; what came.
[[nodiscard]] std::string ReadBytes(int fd, size_t count,
                                    std::chrono::milliseconds limit = std::chrono::seconds(20));

// Reads from `master` all that was written to `slave` before the call, and what comes with it.
// The kernel hands the bytes written to one end on to the other through a worker of its own,
// so a read right after a write may come before them; a marker written to `slave` behind them
// (FF FE FD, which no stream of packets holds: each starts 01 01) tells when they are through.
// The marker is left out; on a timeout, what came.
[[nodiscard]] std::string ReadAllWritten(
    int master, int slave, std::chrono::milliseconds limit = std::chrono::seconds(20));

}  // namespace testing_support
