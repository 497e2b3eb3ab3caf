#include <gtest/gtest.h>

#include <filesystem>

#include "configuration/CommandLine.h"
#include "support/TestSupport.h"

namespace {

TEST(CommandLine, ReadsVideoPlayFileAndPlay) {
    struct Case {
        std::vector<std::string> arguments;
        std::string video, playFile;
        bool play;
        bool error;
    } cases[] = {
        {{}, "", "", false, false},
        {{"a.mp4"}, "a.mp4", "", false, false},
        {{"a.mp4", "--play-file", "p.csv", "--play"}, "a.mp4", "p.csv", true, false},
        {{"--play", "--play-file=p.txt", "a b.mkv"}, "a b.mkv", "p.txt", true, false},
        {{"--", "--odd-name.mp4"}, "--odd-name.mp4", "", false, false},
        {{"--play-file"}, "", "", false, true},
        {{"--volume", "3"}, "", "", false, true},
        {{"a.mp4", "b.mp4"}, "a.mp4", "", false, true},
        // An empty VIDEO (an unset variable in a script) is one: another after it is refused,
        // as before it.
        {{""}, "", "", false, false},
        {{"", "b.mp4"}, "", "", false, true},
        {{"b.mp4", ""}, "", "", false, true},
    };
    for (const auto& c : cases) {
        const CommandLine line = ParseCommandLine(c.arguments);
        const std::string what = c.arguments.empty() ? "(none)" : c.arguments[0];
        EXPECT_EQ(line.error.empty(), !c.error) << what;
        if (c.error) continue;
        EXPECT_EQ(line.video, c.video) << what;
        EXPECT_EQ(line.playFile, c.playFile) << what;
        EXPECT_EQ(line.play, c.play) << what;
    }
    EXPECT_TRUE(ParseCommandLine({"--help"}).help);
    EXPECT_TRUE(ParseCommandLine({"a.mp4", "--fullscreen"}).fullScreen);
}

TEST(CommandLine, RepeatIsOffUnlessAsked) {
    EXPECT_FALSE(ParseCommandLine({"a.mp4", "--play"}).repeat);
    const CommandLine line = ParseCommandLine({"a.mp4", "--repeat", "--play"});
    EXPECT_TRUE(line.error.empty());
    EXPECT_TRUE(line.repeat);
    EXPECT_TRUE(line.play);
    EXPECT_EQ(line.video, "a.mp4");
    // After "--" it is a file name like any other.
    const CommandLine named = ParseCommandLine({"--", "--repeat"});
    EXPECT_FALSE(named.repeat);
    EXPECT_EQ(named.video, "--repeat");
}

TEST(CompanionPlayFile, PrefersCsvThenTxtBesideTheVideo) {
    testing_support::TempDir dir;
    const std::string video = dir / "film.take1.mp4";
    EXPECT_EQ(CompanionPlayFile(video), std::nullopt);
    testing_support::WriteFile(dir / "film.take1.txt", "1,0,0\n");
    EXPECT_EQ(CompanionPlayFile(video), dir / "film.take1.txt");
    testing_support::WriteFile(dir / "film.take1.csv", "1,0,0\n");
    EXPECT_EQ(CompanionPlayFile(video), dir / "film.take1.csv");
    // A folder of that name is no play file; a video without extension works too.
    testing_support::WriteFile(dir / "plain.csv", "1,0,0\n");
    EXPECT_EQ(CompanionPlayFile(dir / "plain"), dir / "plain.csv");
    EXPECT_EQ(CompanionPlayFile(dir / "plain.csv"), std::nullopt);
}

TEST(IsDvdSource, KnowsDvdFoldersImagesAndLocations) {
    testing_support::TempDir dir;
    std::filesystem::create_directories(dir / "Movie/VIDEO_TS");
    testing_support::WriteFile(dir / "disc.ISO", "x");
    testing_support::WriteFile(dir / "clip.mp4", "x");
    EXPECT_TRUE(IsDvdSource("dvd:///dev/sr0"));
    EXPECT_TRUE(IsDvdSource(dir / "Movie"));
    EXPECT_TRUE(IsDvdSource(dir / "Movie/VIDEO_TS/"));
    EXPECT_TRUE(IsDvdSource(dir / "disc.ISO"));
    EXPECT_FALSE(IsDvdSource(dir / "clip.mp4"));
    EXPECT_FALSE(IsDvdSource(dir.Path()));
    EXPECT_FALSE(IsDvdSource(dir / "missing.iso"));
    // Names that are reserved in a location are plain names on disk.
    std::filesystem::create_directories(dir / "disc #5 100%41/VIDEO_TS");
    testing_support::WriteFile(dir / "ディスク 1 ?.iso", "x");
    EXPECT_TRUE(IsDvdSource(dir / "disc #5 100%41"));
    EXPECT_TRUE(IsDvdSource(dir / "ディスク 1 ?.iso"));
}

TEST(IsDvdSource, GoesByTheWholeFolderNameInAnyCase) {
    testing_support::TempDir dir;
    // Copied and lower-cased discs spell VIDEO_TS in other cases.
    std::filesystem::create_directories(dir / "copy/video_ts");
    std::filesystem::create_directories(dir / "mixed/Video_TS");
    // A name that only ends in it is an ordinary folder, and so is one holding a file of it.
    std::filesystem::create_directories(dir / "my_video_ts/clips");
    std::filesystem::create_directories(dir / "notes");
    testing_support::WriteFile(dir / "notes/VIDEO_TS", "x");
    EXPECT_TRUE(IsDvdSource(dir / "copy"));
    EXPECT_TRUE(IsDvdSource(dir / "copy/video_ts"));
    EXPECT_TRUE(IsDvdSource(dir / "mixed"));
    EXPECT_FALSE(IsDvdSource(dir / "my_video_ts"));
    EXPECT_FALSE(IsDvdSource(dir / "my_video_ts/"));
    EXPECT_FALSE(IsDvdSource(dir / "notes"));
}

}  // namespace
