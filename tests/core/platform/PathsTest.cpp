#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "platform/LocalClock.h"
#include "platform/Paths.h"
#include "support/TestSupport.h"

namespace {

using testing_support::ScopedEnv;

struct DirectoryCase {
    std::string path;
    std::string expected;
};

class DirectoryOf : public testing::TestWithParam<DirectoryCase> {};

TEST_P(DirectoryOf, KeepsFolderWithSlash) {
    EXPECT_EQ(platform::DirectoryOf(GetParam().path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Paths, DirectoryOf,
                         testing::Values(DirectoryCase{"/a/b/c", "/a/b/"}, DirectoryCase{"c", ""},
                                         DirectoryCase{"", ""}, DirectoryCase{"/c", "/"},
                                         DirectoryCase{"/a/b/", "/a/b/"},
                                         DirectoryCase{"rel/dir/exe", "rel/dir/"}));

TEST(ModuleDirectory, IsFolderOfRunningBinary) {
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string expected = exe.substr(0, exe.rfind('/') + 1);

    const std::string first = platform::GetModuleDirectory();
    ASSERT_FALSE(first.empty());
    EXPECT_TRUE(first.ends_with('/')) << first;
    EXPECT_EQ(first, expected);
    EXPECT_TRUE(std::filesystem::exists(first + std::filesystem::path(exe).filename().string()));
    EXPECT_EQ(platform::GetModuleDirectory(), first);
}

struct AppDataCase {
    std::string name;
    std::optional<std::string> xdg;
    std::optional<std::string> home;
    std::optional<std::string> expected;
};

class AppDataFolder : public testing::TestWithParam<AppDataCase> {};

TEST_P(AppDataFolder, FollowsEnvironment) {
    const auto& c = GetParam();
    ScopedEnv xdg("XDG_DATA_HOME", c.xdg);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(platform::GetAppDataFolder(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, AppDataFolder,
    testing::Values(AppDataCase{"AbsoluteXdgWins", "/data/xdg", "/home/u", "/data/xdg"},
                    AppDataCase{"AbsoluteXdgWithoutHome", "/data/xdg", std::nullopt, "/data/xdg"},
                    AppDataCase{"RelativeXdgIgnored", "rel/xdg", "/home/u", "/home/u/.local/share"},
                    AppDataCase{"EmptyXdgIgnored", "", "/home/u", "/home/u/.local/share"},
                    AppDataCase{"HomeOnly", std::nullopt, "/home/u", "/home/u/.local/share"},
                    AppDataCase{"Neither", std::nullopt, std::nullopt, std::nullopt},
                    AppDataCase{"RelativeXdgWithoutHome", "rel/xdg", std::nullopt, std::nullopt}),
    [](const auto& info) { return info.param.name; });

}  // namespace

// The DVD clock takes differences of these readings: they must be real milliseconds. Each
// reading is held between readings of the system's own clock, however long a busy machine
// takes between them.
TEST(SystemLocalClock, EpochMillisecondsAdvanceWithTheClock) {
    const auto systemMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    const int64_t beforeFirst = systemMs();
    const platform::LocalTime first = platform::SystemClock().Now();
    const int64_t afterFirst = systemMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int64_t beforeSecond = systemMs();
    const platform::LocalTime second = platform::SystemClock().Now();
    const int64_t afterSecond = systemMs();
    EXPECT_GE(first.epochMilliseconds, beforeFirst);
    EXPECT_LE(first.epochMilliseconds, afterFirst);
    EXPECT_GE(second.epochMilliseconds, beforeSecond);
    EXPECT_LE(second.epochMilliseconds, afterSecond);
    EXPECT_GE(second.epochMilliseconds - first.epochMilliseconds, 50);
    EXPECT_EQ(second.epochMilliseconds % 1000, second.millisecond);
}
