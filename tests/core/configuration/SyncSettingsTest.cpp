// The user's offset as the ini gives it, read like the other integer keys and kept within ±5 s,
// and the DVD clock it asks for.

#include <gtest/gtest.h>

#include <string>

#include "configuration/SyncSettings.h"
#include "support/TestSupport.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

TEST(SyncSettings, TheOffsetIsReadAsAnIntegerAndKeptWithinFiveSeconds) {
    struct Case {
        const char* ini;
        int offset;
    } cases[] = {
        {"", 0},
        {"[SYNC]\nOFFSET_MS=\n", 0},
        {"[SYNC]\nOFFSET_MS=150\n", 150},
        {"[sync]\noffset_ms = -300 ms\n", -300},
        {"[SYNC]\nOFFSET_MS=5000\n", 5000},
        {"[SYNC]\nOFFSET_MS=-7000\n", -5000},
        {"[SYNC]\nOFFSET_MS=99999999999\n", 5000},
        {"[SYNC]\nOFFSET_MS=later\n", 0},
        {"[OTHER]\nOFFSET_MS=100\n", 0},
    };
    for (const auto& c : cases) {
        const TempDir dir;
        WriteFile(dir / "Kestrune.ini", c.ini);
        EXPECT_EQ(ReadSyncOffsetMs(dir / "Kestrune.ini"), c.offset) << c.ini;
    }
}

// Exactly "WHOLE_SECOND" keeps the old DVD clock, as the keywords count their letter case;
// anything else follows the picture.
TEST(SyncSettings, OnlyWholeSecondKeepsTheOldDvdClock) {
    struct Case {
        const char* ini;
        bool wholeSecond;
    } cases[] = {
        {"", false},
        {"[SYNC]\nDVD_CLOCK=WHOLE_SECOND\n", true},
        {"[sync]\ndvd_clock = WHOLE_SECOND \n", true},
        {"[SYNC]\nDVD_CLOCK=whole_second\n", false},
        {"[SYNC]\nDVD_CLOCK=PICTURE\n", false},
        {"[SYNC]\nDVD_CLOCK=\n", false},
        {"[OTHER]\nDVD_CLOCK=WHOLE_SECOND\n", false},
    };
    for (const auto& c : cases) {
        const TempDir dir;
        WriteFile(dir / "Kestrune.ini", c.ini);
        EXPECT_EQ(ReadDvdWholeSecondClock(dir / "Kestrune.ini"), c.wholeSecond) << c.ini;
    }
}

}  // namespace
