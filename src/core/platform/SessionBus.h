#pragma once

// The desktop's message bus. libdbus, asked for a session bus that nothing names, goes looking
// for one by forking a launcher from the thread that asked. libvlc asks from a decoder's thread
// as the picture comes up (to keep the screen saver off), Qt from its own bus thread. A fork
// from a process of many threads may hang in the child before the launcher starts (a lock that
// another thread held at the fork stays held there); the decoder then waits for the child
// forever, the picture never comes, and the stop and the close wait behind it. A bus launched
// that way would carry no screen saver anyway. So a process that finds no session bus says so
// before its first thread, and nothing forks to look for one.

#include <optional>
#include <string>

namespace platform {

// The address to give DBUS_SESSION_BUS_ADDRESS, or nullopt to leave it as it is. `address` is
// its current value and `runtimeDir` XDG_RUNTIME_DIR's (nullptr when unset). A set address is
// kept, even an empty one (it fails without a fork); so is a bus at <runtimeDir>/bus, which is
// found without one: a socket owned by the user. Anything else gets "disabled:".
[[nodiscard]] std::optional<std::string> SessionBusOverride(const char* address,
                                                            const char* runtimeDir);

// Applies the override to this process's environment. Call before any thread starts.
void SettleSessionBus();

}  // namespace platform
