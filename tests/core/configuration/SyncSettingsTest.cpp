// The user's offset as the ini gives it: read like the other integer keys, kept within ±5 s.

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

}  // namespace
