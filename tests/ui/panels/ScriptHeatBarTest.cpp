// The play file's heat on the control bar's seek slider: worked out for the slider's travel,
// again whenever that travel changes, and cleared without a script or a length.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "log/OutputLog.h"
#include "panels/BottomDlg.h"
#include "panels/BottomMainDlg.h"
#include "support/TestSupport.h"
#include "widgets/BitmapSlider.h"

namespace {

using testing_support::TempDir;

CSV_LINE Line(int64_t tenths, int direction, int speed) {
    return {tenths, static_cast<uint8_t>(direction * 128 + speed)};
}

class ScriptHeatBar : public ::testing::Test {
protected:
    CBitmapSlider& Slider() {
        return *static_cast<CBitmapSlider*>(host->Bar()->Control(CBottomMainDlg::IDC_SEEK_SLIDER));
    }

    TempDir dir;
    testing_support::ScopedEnv dataHome{"XDG_DATA_HOME", dir / "share"};
    testing_support::RecordingMessageBoxes boxes;
    OutputLog log{boxes, platform::SystemClock()};
    QWidget main;
    std::unique_ptr<CBottomDlg> host = std::make_unique<CBottomDlg>(&main, log);
};

TEST_F(ScriptHeatBar, FollowsTheScriptAndTheSeekSlidersTravel) {
    // 10 s of media: at rest for the first half, then full speed.
    const std::vector<CSV_LINE> lines{Line(0, 0, 0), Line(50, 0, 100)};
    host->SetScriptHeat(lines, 10000);
    const auto expectHalves = [&](const char* when) {
        const std::vector<HeatColumn>& heat = Slider().Heat();
        ASSERT_EQ(static_cast<int>(heat.size()), Slider().HeatWidth()) << when;
        EXPECT_EQ(heat.front().speed, 0) << when;
        EXPECT_EQ(heat.back().speed, 100) << when;
    };
    expectHalves("the bar's artwork");
    EXPECT_EQ(Slider().HeatWidth(), 266);  // 280 pixels less the 14-pixel thumb

    Slider().SetMargins(10, 0, 20, 0);
    expectHalves("narrower travel");
    EXPECT_EQ(Slider().HeatWidth(), 236);

    const struct {
        const char* name;
        std::vector<CSV_LINE> lines;
        int64_t lengthMs;
    } clearing[] = {{"no lines", {}, 10000}, {"no length", lines, 0}};
    for (const auto& c : clearing) {
        host->SetScriptHeat(lines, 10000);
        host->SetScriptHeat(c.lines, c.lengthMs);
        EXPECT_FALSE(Slider().HasHeat()) << c.name;
    }
    host->SetScriptHeat(lines, 10000);
    host->ClearScriptHeat();
    Slider().SetMargins(0, 0, 0, 0);  // a cleared script stays cleared
    EXPECT_FALSE(Slider().HasHeat());
}

}  // namespace
