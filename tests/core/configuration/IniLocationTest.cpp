#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "configuration/IniLocation.h"
#include "configuration/Profile.h"
#include "support/TestSupport.h"
#include "support/UserAccess.h"

namespace {

using configuration::FindIniFile;
using configuration::IniChoice;
using configuration::IniSearchPath;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(IniSearchPath, NextToTheProgramThenTheUsersConfigFolderThenTheSystems) {
    struct Case {
        const char* module;
        const char* xdg;
        const char* home;
        std::vector<std::string> places;
    };
    const Case cases[] = {
        {"/opt/k/",
         "/home/u/.cfg",
         "/home/u",
         {"/opt/k/Kestrune.ini", "/home/u/.cfg/kestrune/Kestrune.ini",
          "/etc/kestrune/Kestrune.ini"}},
        // An unset, empty or relative XDG_CONFIG_HOME means ~/.config.
        {"/opt/k/",
         nullptr,
         "/home/u",
         {"/opt/k/Kestrune.ini", "/home/u/.config/kestrune/Kestrune.ini",
          "/etc/kestrune/Kestrune.ini"}},
        {"/opt/k/",
         "",
         "/home/u/",
         {"/opt/k/Kestrune.ini", "/home/u/.config/kestrune/Kestrune.ini",
          "/etc/kestrune/Kestrune.ini"}},
        {"/opt/k/",
         "cfg",
         "/home/u",
         {"/opt/k/Kestrune.ini", "/home/u/.config/kestrune/Kestrune.ini",
          "/etc/kestrune/Kestrune.ini"}},
        // No usable home at all, and an executable whose folder is unknown.
        {"", nullptr, "relative", {"/etc/kestrune/Kestrune.ini"}},
        {"/usr/lib/kestrune",
         "/x/",
         nullptr,
         {"/usr/lib/kestrune/Kestrune.ini", "/x/kestrune/Kestrune.ini",
          "/etc/kestrune/Kestrune.ini"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IniSearchPath(c.module, c.xdg, c.home), c.places)
            << c.module << " " << (c.xdg ? c.xdg : "(unset)") << " " << (c.home ? c.home : "");
    }
}

TEST(FindIniFile, TakesTheFirstReadableFileAndPassesOverFoldersAndMissingOnes) {
    TempDir dir;
    const std::string missing = dir / "a/Kestrune.ini";
    const std::string folder = dir / "b/Kestrune.ini";
    const std::string file = dir / "c/Kestrune.ini";
    const std::string later = dir / "d/Kestrune.ini";
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(dir / "c");
    std::filesystem::create_directories(dir / "d");
    WriteFile(file, "[SYNC]\nOFFSET_MS=50\n");
    WriteFile(later, "[SYNC]\nOFFSET_MS=90\n");

    EXPECT_EQ(FindIniFile({missing, folder, file, later}), file);
    EXPECT_EQ(FindIniFile({later, file}), later);
    EXPECT_EQ(FindIniFile({missing, folder}), std::nullopt);
    EXPECT_EQ(FindIniFile({}), std::nullopt);

    // A file the user may not read is not the one: the next place's settings apply.
    ASSERT_EQ(::chmod(file.c_str(), 0), 0);
    testing_support::ScopedUserFileAccess asUser;
    EXPECT_EQ(FindIniFile({missing, file, later}), later);
}

TEST(IniChoice, TheDebugWindowLineNamesTheFileOrEveryPlaceLookedAt) {
    EXPECT_EQ((IniChoice{"/home/u/.config/kestrune/Kestrune.ini", {}}).Describe(),
              "設定ファイル：/home/u/.config/kestrune/Kestrune.ini");
    EXPECT_EQ(
        (IniChoice{std::nullopt, {"/a/Kestrune.ini", "/etc/kestrune/Kestrune.ini"}}).Describe(),
        "設定ファイルなし（既定値を使用）：/a/Kestrune.ini、/etc/kestrune/Kestrune.ini");
}

// The readers follow the chosen file; with none chosen every value is its default.
TEST(UseIniFile, SteersEveryReaderThatNamesNoFile) {
    TempDir dir;
    const std::string previous = profile::IniFile();
    WriteFile(dir / "Kestrune.ini", "[DEBUG]\nLOG_LEVEL=2\n");
    profile::UseIniFile(dir / "Kestrune.ini");
    EXPECT_EQ(profile::GetInt("DEBUG", "LOG_LEVEL", 0), 2);
    profile::UseIniFile("");
    EXPECT_EQ(profile::GetInt("DEBUG", "LOG_LEVEL", 7), 7);
    profile::UseIniFile(previous);
}

}  // namespace
