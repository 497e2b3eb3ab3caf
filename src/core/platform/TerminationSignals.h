#pragma once

// SIGTERM, SIGINT and SIGHUP are turned into a byte on a pipe so that the user-interface
// thread can close the main window in an orderly way (stop packet, log line) instead of the
// process dying with the device still running.

namespace platform {

// Installs the handlers once; returns the pipe's read end (non-blocking), or -1 on failure.
// Each signal writes its number as one byte.
[[nodiscard]] int InstallTerminationSignals();

}  // namespace platform
