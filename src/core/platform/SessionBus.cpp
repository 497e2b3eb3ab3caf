#include "platform/SessionBus.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace platform {

std::optional<std::string> SessionBusOverride(const char* address, const char* runtimeDir) {
    if (address != nullptr) return std::nullopt;
    if (runtimeDir != nullptr && runtimeDir[0] != '\0') {
        // What libdbus accepts there before it would launch a bus of its own.
        struct stat info {};
        const std::string socket = std::string(runtimeDir) + "/bus";
        if (::stat(socket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) &&
            info.st_uid == ::getuid()) {
            return std::nullopt;
        }
    }
    return "disabled:";
}

void SettleSessionBus() {
    const auto address =
        SessionBusOverride(std::getenv("DBUS_SESSION_BUS_ADDRESS"), std::getenv("XDG_RUNTIME_DIR"));
    if (address) ::setenv("DBUS_SESSION_BUS_ADDRESS", address->c_str(), 1);
}

}  // namespace platform
