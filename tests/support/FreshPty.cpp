#include "support/FreshPty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace testing_support {

FreshPty OpenFreshPty() {
    FreshPty pty;
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return pty;
    pty.master.Reset(master);
    pty.slave.Reset(slave);
    pty.path = name;
    return pty;
}

termios AttributesOf(const std::string& path) {
    const platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK));
    termios tio{};
    ::tcgetattr(fd.Get(), &tio);
    return tio;
}

::testing::AssertionResult HasKernelDefaults(const termios& tio) {
    struct Flag {
        const char* name;
        tcflag_t termios::*field;
        tcflag_t bits;
    };
    static constexpr Flag kFlags[] = {
        {"OPOST|ONLCR", &termios::c_oflag, OPOST | ONLCR},
        {"ICRNL", &termios::c_iflag, ICRNL},
        {"IXON", &termios::c_iflag, IXON},
        {"ECHO", &termios::c_lflag, ECHO},
        {"ICANON", &termios::c_lflag, ICANON},
        {"ISIG", &termios::c_lflag, ISIG},
    };
    for (const auto& flag : kFlags) {
        if ((tio.*flag.field & flag.bits) != flag.bits) {
            return ::testing::AssertionFailure() << flag.name << " is off";
        }
    }
    return ::testing::AssertionSuccess();
}

std::string ReadBytes(int fd, size_t count, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    std::string bytes;
    while (bytes.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
}

std::string ReadAllWritten(int master, int slave, std::chrono::milliseconds limit) {
    static constexpr char kMarker[] = "\xFF\xFE\xFD";
    constexpr size_t kMarkerSize = sizeof kMarker - 1;
    const auto end = std::chrono::steady_clock::now() + limit;
    std::string bytes;
    size_t sent = 0;
    while (std::chrono::steady_clock::now() < end) {
        // The slave's buffer may be full: the marker goes in as reading makes room.
        if (sent < kMarkerSize) {
            const int flags = ::fcntl(slave, F_GETFL);
            ::fcntl(slave, F_SETFL, flags | O_NONBLOCK);
            const ssize_t n = ::write(slave, kMarker + sent, kMarkerSize - sent);
            ::fcntl(slave, F_SETFL, flags);
            if (n > 0) sent += static_cast<size_t>(n);
        }
        if (sent == kMarkerSize) {
            if (const auto at = bytes.find(kMarker, 0, kMarkerSize); at != std::string::npos) {
                return bytes.erase(at, kMarkerSize);
            }
        }
        pollfd in{master, POLLIN, 0};
        if (::poll(&in, 1, 10) <= 0) continue;
        char buffer[4096];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
}

}  // namespace testing_support
