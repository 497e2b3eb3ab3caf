#pragma once

// Writing to a serial port's descriptor and letting it go, both bounded in time: shared by the
// port itself and by the stop guard's process, which may use nothing but system calls (no
// allocation), as it is forked from the player.
//
// A USB serial adapter's driver waits, at the last close, for queued output to go out: up to
// its closing_wait, 30 s by default, when the device has stopped taking bytes. Pseudo-terminals
// never wait.

#include <cstddef>
#include <cstdint>

namespace platform {

enum class WriteResult { kWritten, kFailed, kTimedOut };

// How long a port is given to send what is queued before it is closed.
inline constexpr int kDrainTimeoutMs = 500;

// Writes all bytes to the non-blocking descriptor `fd`, waiting at most `timeoutMs` for a port
// that does not take them.
[[nodiscard]] WriteResult WriteWithin(int fd, const uint8_t* data, size_t size, int timeoutMs);

// Bytes the port still has to send (0 when it cannot tell: pseudo-terminals queue nothing).
[[nodiscard]] int QueuedOutput(int fd);

// Waits up to `timeoutMs` for the port to send what is queued, throws away what is left, and
// closes `fd`. `queued` reads what is left to send (QueuedOutput but in tests).
void DrainAndClose(int fd, int timeoutMs, int (*queued)(int fd) = QueuedOutput);

}  // namespace platform
