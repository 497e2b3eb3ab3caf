#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "authoring/LineRecorder.h"

namespace {

std::string Recorded(const std::vector<std::pair<int64_t, uint8_t>>& commands) {
    LineRecorder recorder;
    for (const auto& [ms, command] : commands) recorder.Add(ms, command);
    return FormatPlayFile(recorder.Lines());
}

// Lines come only where the command changes, in tenths, at most one a tenth: the last command
// of a tenth wins, and a tenth that ends where the line before left the device writes nothing.
// The device starts at rest; a stop is a stop whichever way it was set to turn; time never
// goes back.
TEST(LineRecorder, WritesALineOnlyWhereTheCommandChangesAtMostOneATenth) {
    const uint8_t right30 = MakeCommand(0, 30);
    const uint8_t left30 = MakeCommand(1, 30);
    EXPECT_EQ(Recorded({{0, 0}, {40, 0}, {1230, right30}, {1270, right30}, {2000, 0}}),
              "12,0,30\n20,0,0\n");
    // A change and a change back within a tenth, and a change at its end.
    EXPECT_EQ(Recorded({{500, right30}, {1010, left30}, {1060, right30}, {1120, left30}}),
              "5,0,30\n11,1,30\n");
    EXPECT_EQ(Recorded({{500, right30}, {530, left30}}), "5,1,30\n");
    EXPECT_EQ(Recorded({{500, right30}, {530, 0}}), "");
    EXPECT_EQ(
        Recorded({{0, MakeCommand(1, 0)}, {300, right30}, {400, MakeCommand(1, 0)}, {480, 0}}),
        "3,0,30\n4,0,0\n");
    EXPECT_EQ(Recorded({{1000, right30}, {900, left30}, {-5, left30}}), "10,0,30\n");
    // Speeds are kept within 0..100, directions 0 or 1.
    EXPECT_EQ(MakeCommand(7, 250), MakeCommand(1, 100));
    EXPECT_EQ(CommandSpeed(MakeCommand(0, -3)), 0);
}

}  // namespace
