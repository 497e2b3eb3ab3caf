#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "authoring/LineRecorder.h"
#include "authoring/Recording.h"

namespace {

std::string Text(const std::vector<CSV_LINE>& lines) { return FormatPlayFile(lines); }

// The middle tenth of the width stops the device; beyond it, the side sets the direction
// (right: the setting's) and the distance the speed, 100 at the edge and past it.
TEST(Recording, ThePointersPlaceAcrossTheVideoSetsTheCommand) {
    struct Case {
        double x;
        int direction;
        int speed;
    };
    for (const Case& c : {Case{500, 0, 0}, Case{450, 0, 0}, Case{550, 0, 0}, Case{560, 0, 2},
                          Case{775, 0, 50}, Case{1000, 0, 100}, Case{1200, 0, 100},
                          Case{225, 1, 50}, Case{0, 1, 100}, Case{-30, 1, 100}}) {
        const uint8_t command = PointerCommand(c.x, 1000, 0);
        EXPECT_EQ(CommandSpeed(command), c.speed) << c.x;
        if (c.speed > 0) EXPECT_EQ(CommandDirection(command), c.direction) << c.x;
    }
    EXPECT_EQ(PointerCommand(1000, 1000, 1), MakeCommand(1, 100));
    EXPECT_EQ(PointerCommand(0, 1000, 1), MakeCommand(0, 100));
    EXPECT_EQ(PointerCommand(10, 0, 0), 0);
}

// The commands are kept earlier by the reaction time, never before the video's start and never
// back in time; the stretch ends where the recording ended, as shifted.
TEST(Recording, KeepsTheCommandsEarlierByTheReactionTime) {
    Recording recording(10'000, 200, 0);
    recording.Add(10'500, MakeCommand(0, 40));
    recording.Add(10'520, MakeCommand(0, 50));  // same tenth as the one before: it wins
    recording.Add(11'400, 0);
    const RecordedStretch stretch = recording.End(12'000);
    EXPECT_EQ(stretch.fromMs, 9'800);
    EXPECT_EQ(stretch.toMs, 11'800);
    EXPECT_EQ(Text(PunchIn({}, stretch)), "103,0,50\n112,0,0\n");

    Recording early(100, 200, MakeCommand(1, 30));
    early.Add(150, MakeCommand(1, 60));
    EXPECT_EQ(early.End(1'000).fromMs, 0);
    EXPECT_EQ(Text(PunchIn({}, early.End(1'000))), "0,1,60\n8,0,0\n");
}

// Recording over a play file replaces only the recorded stretch: before it, inside it, after
// it, over its first and its last line; from the stretch's end the line then in force goes on.
TEST(Recording, APunchInReplacesOnlyTheRecordedStretch) {
    const std::vector<CSV_LINE> script = {
        {10, MakeCommand(0, 20)}, {30, MakeCommand(1, 40)}, {50, 0}, {70, MakeCommand(0, 80)}};
    auto stretch = [](int64_t from, int64_t to, std::vector<std::pair<int64_t, uint8_t>> c) {
        return RecordedStretch{from, to, std::move(c)};
    };
    // Inside: the stretch, then the line in force at its end (1,40 from 3 s) again at 4.5 s.
    EXPECT_EQ(
        Text(PunchIn(script, stretch(2'000, 4'500, {{2'000, MakeCommand(0, 90)}, {3'500, 0}}))),
        "10,0,20\n20,0,90\n35,0,0\n45,1,40\n50,0,0\n70,0,80\n");
    // Before the script's first line, ending on it: the script goes on from there.
    EXPECT_EQ(Text(PunchIn(script, stretch(0, 1'000, {{0, MakeCommand(1, 10)}}))),
              "0,1,10\n10,0,20\n30,1,40\n50,0,0\n70,0,80\n");
    // After its last line.
    EXPECT_EQ(Text(PunchIn(script, stretch(9'000, 9'500, {{9'000, MakeCommand(1, 5)}}))),
              "10,0,20\n30,1,40\n50,0,0\n70,0,80\n90,1,5\n95,0,80\n");
    // Over all of its lines: from the stretch's end, the last one, in force then, goes on.
    EXPECT_EQ(
        Text(PunchIn(script, stretch(0, 9'000, {{0, 0}, {4'000, MakeCommand(0, 33)}, {8'950, 0}}))),
        "40,0,33\n89,0,0\n90,0,80\n");
    // A stretch that ends where the script already has that command writes no extra line.
    EXPECT_EQ(Text(PunchIn(script, stretch(1'000, 3'000, {{1'000, MakeCommand(0, 60)}}))),
              "10,0,60\n30,1,40\n50,0,0\n70,0,80\n");
}

}  // namespace
