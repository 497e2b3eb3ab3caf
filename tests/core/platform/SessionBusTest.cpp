#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>

#include "platform/SessionBus.h"
#include "platform/UniqueFd.h"
#include "support/TestSupport.h"

namespace {

using platform::SessionBusOverride;
using testing_support::TempDir;

// A listening socket at `path`, as a bus daemon leaves it; open while the result lives.
platform::UniqueFd ListenAt(const std::string& path) {
    platform::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (!fd.Valid() ||
        ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.Get(), 1) != 0) {
        ADD_FAILURE() << "cannot listen at " << path;
    }
    return fd;
}

TEST(SessionBus, AnAddressTheSessionGaveIsKept) {
    TempDir runtime;
    EXPECT_EQ(SessionBusOverride("unix:path=/run/user/1000/bus", nullptr), std::nullopt);
    EXPECT_EQ(SessionBusOverride("unix:path=/run/user/1000/bus", runtime.Path().c_str()),
              std::nullopt);
    // Set but empty: libdbus fails on it at once, without looking further.
    EXPECT_EQ(SessionBusOverride("", nullptr), std::nullopt);
    EXPECT_EQ(SessionBusOverride("disabled:", nullptr), std::nullopt);
}

TEST(SessionBus, TheUsersBusSocketInTheRuntimeFolderIsKept) {
    TempDir runtime;
    const auto bus = ListenAt(runtime / "bus");
    EXPECT_EQ(SessionBusOverride(nullptr, runtime.Path().c_str()), std::nullopt);
}

// Whatever would send libdbus to launch a bus of its own.
TEST(SessionBus, WithNoBusFoundNoneIsLookedFor) {
    TempDir runtime;
    EXPECT_EQ(SessionBusOverride(nullptr, nullptr), "disabled:");
    EXPECT_EQ(SessionBusOverride(nullptr, ""), "disabled:");
    EXPECT_EQ(SessionBusOverride(nullptr, runtime.Path().c_str()), "disabled:") << "no bus";
    EXPECT_EQ(SessionBusOverride(nullptr, (runtime / "missing").c_str()), "disabled:");

    testing_support::WriteFile(runtime / "bus", "");
    EXPECT_EQ(SessionBusOverride(nullptr, runtime.Path().c_str()), "disabled:") << "a file";
    ASSERT_EQ(::unlink((runtime / "bus").c_str()), 0);

    ASSERT_EQ(::mkdir((runtime / "bus").c_str(), 0700), 0);
    EXPECT_EQ(SessionBusOverride(nullptr, runtime.Path().c_str()), "disabled:") << "a folder";
    ASSERT_EQ(::rmdir((runtime / "bus").c_str()), 0);

    // Another user's bus is refused by libdbus: ours to say only as root, who may hand it over.
    const auto bus = ListenAt(runtime / "bus");
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown((runtime / "bus").c_str(), 4242, 4242), 0);
        EXPECT_EQ(SessionBusOverride(nullptr, runtime.Path().c_str()), "disabled:")
            << "another user's";
    }
}

TEST(SessionBus, SettlingWritesTheOverrideIntoTheEnvironment) {
    TempDir runtime;
    {
        testing_support::ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
        testing_support::ScopedEnv folder("XDG_RUNTIME_DIR", runtime.Path());
        platform::SettleSessionBus();
        ASSERT_NE(std::getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr);
        EXPECT_STREQ(std::getenv("DBUS_SESSION_BUS_ADDRESS"), "disabled:");
    }
    {
        testing_support::ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", "unix:abstract=x");
        platform::SettleSessionBus();
        EXPECT_STREQ(std::getenv("DBUS_SESSION_BUS_ADDRESS"), "unix:abstract=x");
    }
}

}  // namespace
