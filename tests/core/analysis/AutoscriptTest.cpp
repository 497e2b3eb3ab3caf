#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "analysis/Autoscript.h"
#include "authoring/AutoscriptArguments.h"
#include "authoring/LineRecorder.h"
#include "authoring/PlayFileNames.h"
#include "support/TestSupport.h"

namespace {

using testing_support::TempDir;

const std::string kMedia = KESTRUNE_TEST_MEDIA;

// Runs kestrune-autoscript with `arguments`: its exit status and what it wrote to standard
// error.
std::pair<int, std::string> RunTool(const std::string& arguments) {
    const std::string command =
        "'" KESTRUNE_BINARY_DIR "/kestrune-autoscript' " + arguments + " 2>&1 >/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return {-1, ""};
    std::string output;
    char text[512];
    while (std::fgets(text, sizeof text, pipe) != nullptr) output += text;
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// The options as the command line gives them; anything it cannot use is an error naming it.
TEST(AutoscriptArguments, TakesTheOptionsAndNamesWhatItCannotUse) {
    const AutoscriptArguments all =
        ParseAutoscriptArguments({"clip.mp4", "-o", "out.csv", "--fov", "90", "--full-speed",
                                  "45.5", "--right-direction", "1", "--force"});
    EXPECT_EQ(all.error, "");
    EXPECT_EQ(all.video, "clip.mp4");
    EXPECT_EQ(all.output, "out.csv");
    EXPECT_EQ(all.options.fovDeg, 90.0);
    EXPECT_EQ(all.options.fullSpeedDegPerS, 45.5);
    EXPECT_EQ(all.options.rightDirection, 1);
    EXPECT_TRUE(all.force);
    const AutoscriptArguments plain = ParseAutoscriptArguments({"clip.mp4"});
    EXPECT_EQ(plain.options.fovDeg, 60.0);
    EXPECT_EQ(plain.options.fullSpeedDegPerS, 60.0);
    EXPECT_EQ(plain.options.rightDirection, 0);
    EXPECT_FALSE(plain.force);

    const std::vector<std::pair<std::vector<std::string>, std::string>> wrong = {
        {{}, "no video"},
        {{"a.mp4", "b.mp4"}, "one video at a time: b.mp4"},
        {{"a.mp4", "--fov"}, "--fov needs a value"},
        {{"a.mp4", "--fov", "0"}, "--fov takes degrees above 0, at most 180: 0"},
        {{"a.mp4", "--fov", "200"}, "--fov takes degrees above 0, at most 180: 200"},
        {{"a.mp4", "--fov", "6O"}, "--fov takes degrees above 0, at most 180: 6O"},
        {{"a.mp4", "--full-speed", "-3"}, "--full-speed takes degrees a second above 0: -3"},
        {{"a.mp4", "--full-speed", "nan"}, "--full-speed takes degrees a second above 0: nan"},
        {{"a.mp4", "--right-direction", "2"}, "--right-direction takes 0 or 1: 2"},
        {{"a.mp4", "-o", ""}, "-o needs a file name"},
        {{"a.mp4", "--speed"}, "unknown option --speed"},
    };
    for (const auto& [arguments, error] : wrong) {
        EXPECT_EQ(ParseAutoscriptArguments(arguments).error, error);
    }
    EXPECT_TRUE(ParseAutoscriptArguments({"--help"}).help);
}

// A generated video (29.97 frames a second) whose camera rests, turns right at 30 deg/s,
// rests, turns left at 20 deg/s, cuts to a shot that turns right at 40 deg/s, and rests: the
// draft has each turn's direction and speed from within a tenth of its start, and stops at
// the cut.
TEST(Autoscript, DraftsTheTurnsOfAGeneratedVideo) {
    int frames = 0;
    const AutoscriptResult result =
        DraftPlayFile(kMedia + "/turning.mp4", DraftOptions{}, [&](int64_t, int64_t total) {
            ++frames;
            EXPECT_GT(total, 6'000'000);
            return true;
        });
    ASSERT_EQ(result.error, "");
    EXPECT_EQ(result.frames, frames);
    EXPECT_EQ(result.frames, 209);  // 7 s
    struct Expected {
        int64_t tenth;
        int direction;
        int speed;
    };
    const std::vector<Expected> expected = {{10, 0, 50}, {25, 0, 0},  {35, 1, 33},
                                            {50, 0, 0},  {53, 0, 67}, {60, 0, 0}};
    ASSERT_EQ(result.lines.size(), expected.size()) << FormatPlayFile(result.lines);
    for (size_t i = 0; i < expected.size(); ++i) {
        const CSV_LINE& line = result.lines[i];
        EXPECT_NEAR(line.time, expected[i].tenth, 1) << FormatPlayFile(result.lines);
        EXPECT_EQ(CommandDirection(line.command), expected[i].direction) << i;
        EXPECT_NEAR(CommandSpeed(line.command), expected[i].speed, 3) << i;
    }
    const AutoscriptResult stopped = DraftPlayFile(kMedia + "/turning.mp4", DraftOptions{},
                                                   [](int64_t, int64_t) { return false; });
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_TRUE(stopped.lines.empty());
}

// The tool writes the draft beside the video, never over a file without --force, and says
// why it cannot read a video, with exit status 1 and no file.
TEST(Autoscript, TheToolWritesBesideTheVideoAndNeverOverAFileUnlessForced) {
    TempDir dir;
    std::filesystem::copy_file(kMedia + "/turning.mp4", dir / "my turn.mp4");
    const auto [status, said] = RunTool(Quoted(dir / "my turn.mp4"));
    EXPECT_EQ(status, 0) << said;
    EXPECT_NE(said.find("lines to " + (dir / "my turn.csv")), std::string::npos) << said;
    const std::string draft = testing_support::ReadFile(dir / "my turn.csv");
    EXPECT_EQ(draft.rfind("10,0,", 0), 0u) << draft;
    struct stat info {};
    ASSERT_EQ(::stat((dir / "my turn.csv").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);

    testing_support::WriteFile(dir / "mine.csv", "5,1,20\n");
    EXPECT_EQ(RunTool(Quoted(dir / "my turn.mp4") + " -o " + Quoted(dir / "mine.csv")).first, 1);
    EXPECT_EQ(testing_support::ReadFile(dir / "mine.csv"), "5,1,20\n");
    std::string error;
    EXPECT_FALSE(SavePlayFile(dir / "mine.csv", {{1, 2}}, false, &error));
    EXPECT_EQ(error, dir / "mine.csv" + " exists (--force replaces it)");
    EXPECT_EQ(
        RunTool(Quoted(dir / "my turn.mp4") + " -o " + Quoted(dir / "mine.csv") + " --force").first,
        0);
    EXPECT_EQ(testing_support::ReadFile(dir / "mine.csv"), draft);

    std::filesystem::copy_file(kMedia + "/not-a-video.mp4", dir / "broken.mp4");
    const auto [brokenStatus, brokenSaid] = RunTool(Quoted(dir / "broken.mp4"));
    EXPECT_EQ(brokenStatus, 1);
    EXPECT_NE(brokenSaid.find("broken.mp4"), std::string::npos) << brokenSaid;
    EXPECT_FALSE(std::filesystem::exists(dir / "broken.csv"));
    EXPECT_EQ(RunTool(Quoted(dir / "missing.mp4")).first, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.csv"));
    EXPECT_EQ(RunTool("--fov").first, 2);
    // Nothing of the temporary files stays behind.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        ++files;
    }
    EXPECT_EQ(files, 4);
}

}  // namespace
