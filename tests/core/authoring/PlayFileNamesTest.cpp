#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "authoring/PlayFileNames.h"
#include "support/TestSupport.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// A made play file takes the video's name, then the next free number; what is there, a file,
// a folder or a dangling link, is never written over.
TEST(PlayFileNames, ANewPlayFileTakesTheNextFreeNameBesideItsVideo) {
    EXPECT_EQ(NumberedPlayFile("/v/My clip.v2.mp4", 1), "/v/My clip.v2.csv");
    EXPECT_EQ(NumberedPlayFile("/v/My clip.v2.mp4", 3), "/v/My clip.v2 (3).csv");
    EXPECT_EQ(NumberedPlayFile("clip", 2), "clip (2).csv");
    EXPECT_EQ(DraftPathFor("/v/映像.mkv"), "/v/映像.csv");

    TempDir dir;
    const std::string video = dir / "clip.mp4";
    std::string error;
    EXPECT_EQ(SaveNewPlayFile(video, {{5, 0x8A}}, &error), dir / "clip.csv");
    EXPECT_EQ(ReadFile(dir / "clip.csv"), "5,1,10\n");
    std::filesystem::create_directory(dir / "clip (2).csv");
    std::filesystem::create_symlink(dir / "nowhere", dir / "clip (3).csv");
    EXPECT_EQ(SaveNewPlayFile(video, {{7, 3}}, &error), dir / "clip (4).csv");
    EXPECT_EQ(ReadFile(dir / "clip (4).csv"), "7,0,3\n");
    EXPECT_EQ(ReadFile(dir / "clip.csv"), "5,1,10\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "nowhere"));

    // A folder that cannot be written: no name, and the reason.
    EXPECT_EQ(SaveNewPlayFile("/proc/clip.mp4", {{1, 1}}, &error), "");
    EXPECT_NE(error.find("/proc"), std::string::npos) << error;
}

}  // namespace
