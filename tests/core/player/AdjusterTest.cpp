#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "player/DVDAdjuster.h"
#include "player/FileAdjuster.h"
#include "support/TestSupport.h"

namespace {

class FakePlayer final : public PlayerTime {
public:
    [[nodiscard]] int64_t GetTime() const override { return time; }
    void SetTime(int64_t ms) override { seeks.push_back(ms); }
    [[nodiscard]] PlayerState GetState() const override { return state; }
    [[nodiscard]] std::optional<int64_t> ReportSeenAt(int64_t reported) const override {
        return reported == time ? announcedAt : std::nullopt;
    }

    int64_t time = 0;
    PlayerState state = PlayerState::kPlaying;
    std::vector<int64_t> seeks;
    // When the player announced `time`, if it tells.
    std::optional<int64_t> announcedAt;
};

class FakeMonotonicClock final : public platform::MonotonicClock {
public:
    [[nodiscard]] int64_t NowMs() const override { return now; }
    int64_t now = 0;
};

TEST(TimecodeAdjuster, BaseReadsZeroAndIgnoresSeeks) {
    TimecodeAdjuster adjuster;
    adjuster.SetTime(5000);
    adjuster.Reset();
    EXPECT_EQ(adjuster.GetTime(), 0);
}

// ---------------------------------------------------------------------------------------------
// FileAdjuster

class FileAdjusterTest : public testing::Test {
protected:
    // The player reports `reported`; the adjuster is read at monotonic time `at`.
    int64_t ReadAt(int64_t at, int64_t reported) {
        clock.now = at;
        player.time = reported;
        return adjuster.GetTime();
    }

    FakePlayer player;
    FakeMonotonicClock clock;
    FileAdjuster adjuster{player, clock};
};

TEST_F(FileAdjusterTest, ReadsAndSeeksExactValues) {
    EXPECT_EQ(ReadAt(777, 123456), 123456);
    adjuster.SetTime(5000);
    EXPECT_EQ(player.seeks, std::vector<int64_t>{5000});
}

class FileAdjusterNotPlaying : public FileAdjusterTest,
                               public testing::WithParamInterface<PlayerState> {};

TEST_P(FileAdjusterNotPlaying, ReadsReportedTimeUnchangedAndRestartsOnResume) {
    EXPECT_EQ(ReadAt(0, 1000), 1000);
    EXPECT_EQ(ReadAt(300, 1000), 1300);
    player.state = GetParam();
    EXPECT_EQ(ReadAt(400, 1000), 1000);
    EXPECT_EQ(ReadAt(5000, 1000), 1000);
    EXPECT_EQ(ReadAt(5000, -1), -1);
    // Playing again, the time spent standing still must not count.
    player.state = PlayerState::kPlaying;
    EXPECT_EQ(ReadAt(6000, 1000), 1000);
    EXPECT_EQ(ReadAt(6040, 1000), 1040);
}

INSTANTIATE_TEST_SUITE_P(States, FileAdjusterNotPlaying,
                         testing::Values(PlayerState::kNothingSpecial, PlayerState::kOpening,
                                         PlayerState::kBuffering, PlayerState::kPaused,
                                         PlayerState::kStopped, PlayerState::kEnded,
                                         PlayerState::kError));

// libvlc's reporting pattern: a new value every 250 to 500 ms. Read every 40 ms, the clock
// must advance smoothly and stay close to real time.
TEST_F(FileAdjusterTest, SmoothsCoarseReportsWhilePlaying) {
    const std::vector<int64_t> reports{151, 401, 900, 1151, 1401, 1900, 2151, 2401, 2900, 3151};
    size_t next = 0;
    int64_t previous = 0;
    for (int64_t now = 160; now <= 3400; now += 40) {
        while (next + 1 < reports.size() && reports[next + 1] <= now) ++next;
        const int64_t reading = ReadAt(now, reports[next]);
        SCOPED_TRACE("at " + std::to_string(now));
        EXPECT_GE(reading, now - 40);
        EXPECT_LE(reading, now);
        if (now > 160) {
            EXPECT_GE(reading - previous, 0);
            EXPECT_LE(reading - previous, 80);
        }
        previous = reading;
    }
}

// libvlc reports 0 for 300 to 500 ms at the start, though its picture shows 60 to 150 ms in:
// the clock runs on from 0 after 120 ms, never back when the first report is behind it, and
// no further than 500 ms without a report.
TEST_F(FileAdjusterTest, RunsOnFromTheStartUntilTheFirstReport) {
    EXPECT_EQ(ReadAt(1000, 0), 0);
    EXPECT_EQ(ReadAt(1120, 0), 0);
    EXPECT_EQ(ReadAt(1200, 0), 80);
    EXPECT_EQ(ReadAt(1440, 0), 320);
    EXPECT_EQ(ReadAt(1480, 300), 320);  // behind: held
    EXPECT_EQ(ReadAt(1520, 300), 340);
    EXPECT_EQ(ReadAt(1560, 300), 380);
    EXPECT_EQ(ReadAt(1600, 600), 600);  // ahead: taken
}

TEST_F(FileAdjusterTest, WithoutAnyReportTheStartRunsOnHalfASecondAtMost) {
    EXPECT_EQ(ReadAt(0, 0), 0);
    EXPECT_EQ(ReadAt(620, 0), 500);
    EXPECT_EQ(ReadAt(5000, 0), 500);
    EXPECT_EQ(ReadAt(5040, 150), 500);
}

// Repeat plays the file again from 0: the new start runs on like the first one, where
// waiting for libvlc's first report skipped the lines of the first 400 ms.
TEST_F(FileAdjusterTest, ARestartAtTheEndStartsAfresh) {
    EXPECT_EQ(ReadAt(0, 19900), 19900);
    player.state = PlayerState::kEnded;
    EXPECT_EQ(ReadAt(200, 20000), 20000);
    player.state = PlayerState::kPlaying;
    EXPECT_EQ(ReadAt(300, 0), 0);
    EXPECT_EQ(ReadAt(480, 0), 60);
    EXPECT_EQ(ReadAt(800, 400), 400);
    EXPECT_EQ(ReadAt(840, 400), 440);
}

TEST_F(FileAdjusterTest, RunsAtMostOneSecondPastLastReport) {
    EXPECT_EQ(ReadAt(0, 1900), 1900);
    EXPECT_EQ(ReadAt(960, 1900), 2860);
    EXPECT_EQ(ReadAt(1000, 1900), 2900);
    EXPECT_EQ(ReadAt(4000, 1900), 2900);
}

// After reading 5000 at 0 and 5600 at 600, the player reports a new value at 600. A report
// that rises is evidence, weighed with the earlier and slewed in at 2 ms per 40 ms; one that
// falls is held over, unless it falls more than a second below the highest report.
struct NewReportCase {
    int64_t report;
    int64_t first;       // read at 600
    int64_t fortyLater;  // read at 640
};

class FileAdjusterNewReport : public FileAdjusterTest,
                              public testing::WithParamInterface<NewReportCase> {};

TEST_P(FileAdjusterNewReport, NeverGoesBackUnlessReportJumpsBackOverOneSecond) {
    const NewReportCase c = GetParam();
    ReadAt(0, 5000);
    EXPECT_EQ(ReadAt(600, 5000), 5600);
    EXPECT_EQ(ReadAt(600, c.report), c.first);
    EXPECT_EQ(ReadAt(640, c.report), c.fortyLater);
}

INSTANTIATE_TEST_SUITE_P(Reports, FileAdjusterNewReport,
                         testing::Values(NewReportCase{5620, 5600, 5642},  // ahead: slewed in
                                         NewReportCase{5580, 5600, 5638},  // behind: held
                                         NewReportCase{5500, 5600, 5638},
                                         NewReportCase{4600, 5600, 5640},    // falls: held over
                                         NewReportCase{3999, 3999, 4039}));  // jumps: followed

// libvlc announces each new time as it comes: the clock runs from that moment, not from when
// it was read. A time announced before a pause is evidence only from the resume: it was
// announced long before the picture moved on from it.
TEST_F(FileAdjusterTest, RunsFromWhenATimeWasAnnouncedButNotFromBeforeAPause) {
    player.announcedAt = 970;
    EXPECT_EQ(ReadAt(1000, 5000), 5030);
    EXPECT_EQ(ReadAt(1040, 5000), 5070);
    player.state = PlayerState::kPaused;
    EXPECT_EQ(ReadAt(1100, 5130), 5130);
    player.time = 5130;
    player.announcedAt = 1090;
    // Ten seconds later playback resumes (Play resets the adjuster) on the same report.
    clock.now = 11100;
    player.state = PlayerState::kPlaying;
    adjuster.Reset();
    EXPECT_EQ(ReadAt(11100, 5130), 5130);
    EXPECT_EQ(ReadAt(11140, 5130), 5170);
}

class FileAdjusterRestart : public FileAdjusterTest, public testing::WithParamInterface<bool> {};

TEST_P(FileAdjusterRestart, SeekOrResetMayGoBack) {
    const bool seek = GetParam();
    ReadAt(0, 5000);
    EXPECT_EQ(ReadAt(500, 5000), 5500);
    if (seek) {
        adjuster.SetTime(4800);
        adjuster.SetTime(4700);
        // Until the player takes the seek, its old position is stale, though within a second
        // of the target: the clock stands at the target.
        EXPECT_EQ(ReadAt(540, 5000), 4700);
        EXPECT_EQ(ReadAt(580, 5000), 4700);
    } else {
        adjuster.Reset();
    }
    EXPECT_EQ(ReadAt(600, 4700), 4700);
    EXPECT_EQ(ReadAt(640, 4700), 4740);
}

INSTANTIATE_TEST_SUITE_P(SeekAndReset, FileAdjusterRestart, testing::Bool());

// After a seek the clock reads the target until the player reports a time near it, then runs
// on from there, never back below it for report jitter; playing kWaitLimitMs without such a
// report, it follows the player again.
struct SeekStep {
    int64_t at;
    int64_t reported;
    PlayerState state;
    int64_t expected;
    // Playback (re)started just before this reading, the player then in this state.
    std::optional<PlayerState> restartIn = std::nullopt;
};

struct SeekCase {
    const char* name;
    PlayerState stateAtSeek;
    std::vector<SeekStep> steps;
};

void PrintTo(const SeekCase& c, std::ostream* os) { *os << c.name; }

// Playing at 5500 (libvlc reported 5000 half a second ago), the player seeks to 12000 at 500.
template <typename Adjuster, typename Clock>
void RunSeekCase(const SeekCase& c, FakePlayer& player, Clock& setClock, Adjuster& adjuster,
                 int64_t target) {
    player.state = c.stateAtSeek;
    adjuster.SetTime(target);
    for (const SeekStep& step : c.steps) {
        setClock(step.at);
        if (step.restartIn) {
            player.state = *step.restartIn;
            adjuster.Reset();
        }
        player.state = step.state;
        player.time = step.reported;
        EXPECT_EQ(adjuster.GetTime(), step.expected)
            << c.name << ": at " << step.at << " reported " << step.reported;
    }
}

class FileAdjusterSeek : public FileAdjusterTest, public testing::WithParamInterface<SeekCase> {};

TEST_P(FileAdjusterSeek, ReadsTheTargetUntilThePlayerReportsNearIt) {
    ReadAt(0, 5000);
    ASSERT_EQ(ReadAt(500, 5000), 5500);
    auto setClock = [&](int64_t at) { clock.now = at; };
    RunSeekCase(GetParam(), player, setClock, adjuster, 12000);
    EXPECT_EQ(player.seeks, std::vector<int64_t>{12000});
}

constexpr PlayerState kPlaying = PlayerState::kPlaying;
constexpr PlayerState kPaused = PlayerState::kPaused;

INSTANTIATE_TEST_SUITE_P(
    Players, FileAdjusterSeek,
    testing::Values(
        // libvlc 3.0 on a local file: the target at once, the next report 400 ms in.
        SeekCase{"answered at once",
                 kPlaying,
                 {{500, 12000, kPlaying, 12000},
                  {540, 12000, kPlaying, 12040},
                  {960, 12000, kPlaying, 12460},
                  {1000, 12401, kPlaying, 12460},  // behind: held
                  {1100, 12401, kPlaying, 12501}}},
        SeekCase{"the old position for a while, then the target",
                 kPlaying,
                 {{500, 5000, kPlaying, 12000},
                  {540, 5250, kPlaying, 12000},
                  {900, 5500, kPlaying, 12000},
                  {1000, 11900, kPlaying, 12000},  // landed behind: never below the target
                  {1140, 11900, kPlaying, 12040}}},
        SeekCase{"answered, then the old position and 0 before its input moved",
                 kPlaying,
                 {{500, 12000, kPlaying, 12000},
                  {540, 5000, kPlaying, 12040},
                  {600, 0, kPlaying, 12100},
                  {700, 12150, kPlaying, 12150}}},
        // libvlc 3.0 seeking while the media opens: the target, then 0 for half a second.
        SeekCase{"seeked as playback started",
                 PlayerState::kOpening,
                 {{500, 12000, PlayerState::kOpening, 12000},
                  {560, 0, PlayerState::kOpening, 12000},
                  {600, 0, kPlaying, 12000},
                  {1100, 0, kPlaying, 12000},
                  {1200, 12151, kPlaying, 12151},
                  {1240, 12151, kPlaying, 12191}}},
        // Busy, libvlc read 0 while paused; after the resume it lands just behind the target.
        SeekCase{"paused",
                 kPaused,
                 {{500, 12000, kPaused, 12000},
                  {600, 5000, kPaused, 12000},
                  {5000, 0, kPaused, 12000},
                  {5100, 11993, kPlaying, 12000, kPaused},
                  {5140, 11993, kPlaying, 12033}}},
        SeekCase{"paused, the old position after the resume",
                 kPaused,
                 {{500, 5000, kPaused, 12000},
                  {5100, 5000, kPlaying, 12000, kPaused},
                  {5500, 5000, kPlaying, 12000},
                  {5600, 12100, kPlaying, 12100}}},
        SeekCase{"never near: followed after three seconds of playing",
                 kPlaying,
                 {{500, 5000, kPlaying, 12000},
                  {3400, 7900, kPlaying, 12000},
                  {3500, 8000, kPlaying, 8000},
                  {3540, 8000, kPlaying, 8040}}},
        SeekCase{"never near: time paused does not count",
                 kPlaying,
                 {{500, 5000, kPlaying, 12000},
                  {2000, 6500, kPaused, 12000},
                  {9000, 6500, kPaused, 12000},
                  {9100, 6500, kPlaying, 12000, kPaused},
                  {12000, 9400, kPlaying, 12000},
                  {12100, 9500, kPlaying, 9500}}},
        SeekCase{"stopped before it landed: the next start runs from 0",
                 kPlaying,
                 {{500, 5000, kPlaying, 12000},
                  {600, 0, PlayerState::kEnded, 0},
                  {700, 0, kPlaying, 0, PlayerState::kOpening},
                  {900, 0, kPlaying, 80}}},
        SeekCase{"restarted from the end before any reading: runs from 0",
                 kPlaying,
                 {{700, 0, kPlaying, 0, PlayerState::kOpening}, {900, 0, kPlaying, 80}}},
        SeekCase{"nothing opened: not waited for",
                 PlayerState::kNothingSpecial,
                 {{500, -1, PlayerState::kNothingSpecial, -1}, {600, 5000, kPaused, 5000}}}));

// ---------------------------------------------------------------------------------------------
// DVDAdjuster

constexpr int64_t kWall = 1'700'000'000'000;
using Times = std::pair<int64_t, int64_t>;

class DVDAdjusterTest : public testing::Test {
protected:
    // The player reports `playerTime`; the adjuster is read `at` ms after kWall.
    int64_t ReadAt(int64_t at, int64_t playerTime) {
        clock.time.epochMilliseconds = kWall + at;
        player.time = playerTime;
        return adjuster.GetTime();
    }
    // Seeks, so that reading player time 5000 at kWall gives 5000 with nothing to make up.
    void StartSecondFiveAtWall() {
        adjuster.SetTime(5000);
        ASSERT_EQ(ReadAt(0, 5000), 5000);
    }

    FakePlayer player;
    testing_support::FixedClock clock{platform::LocalTime{2026, 1, 2, 3, 4, 5, 0, kWall}};
    DVDAdjuster adjuster{player, clock};
};

// After a seek the player could not take (nothing was opened yet), a reading is the scaled
// whole second as it is.
class DVDAdjusterPeriod : public DVDAdjusterTest, public testing::WithParamInterface<Times> {};

TEST_P(DVDAdjusterPeriod, ScalesAndTruncatesToWholeSecond) {
    const auto [playerTime, period] = GetParam();
    player.state = PlayerState::kNothingSpecial;
    adjuster.SetTime(0);
    player.state = PlayerState::kPlaying;
    EXPECT_EQ(ReadAt(250, playerTime), period);
}

INSTANTIATE_TEST_SUITE_P(PlayerTimes, DVDAdjusterPeriod,
                         testing::Values(Times{59950, 59000}, Times{59951, 60000}, Times{999, 0},
                                         Times{1000, 1000}, Times{1198, 1000}, Times{-1, 0},
                                         // Double rounding lands just below 3603000.
                                         Times{3600000, 3602000}));

// The player's answer to the seek, scaled up, falls just short of the target's second: the
// clock starts at the target all the same and runs on from it.
TEST_F(DVDAdjusterTest, SeekScalesDownAndTheClockStartsAtTheTarget) {
    StartSecondFiveAtWall();
    EXPECT_EQ(ReadAt(700, 5000), 5700);
    EXPECT_EQ(ReadAt(1000, 6000), 5740);  // catching up 260 more
    adjuster.SetTime(60000);
    EXPECT_EQ(player.seeks.back(), 59950);
    EXPECT_EQ(ReadAt(1100, 59950), 60000);
    EXPECT_EQ(ReadAt(1400, 59950), 60300);
}

class DVDAdjusterSeek : public DVDAdjusterTest, public testing::WithParamInterface<SeekCase> {};

// The same rule as for files, in whole seconds: seeking to 60000 (59950 in the player's time)
// at 500, with the clock at 5500.
TEST_P(DVDAdjusterSeek, ReadsTheTargetUntilThePlayerReportsNearIt) {
    StartSecondFiveAtWall();
    ASSERT_EQ(ReadAt(500, 5000), 5500);
    auto setClock = [&](int64_t at) { clock.time.epochMilliseconds = kWall + at; };
    RunSeekCase(GetParam(), player, setClock, adjuster, 60000);
    EXPECT_EQ(player.seeks.back(), 59950);
}

INSTANTIATE_TEST_SUITE_P(
    Players, DVDAdjusterSeek,
    testing::Values(SeekCase{"answered at once",
                             kPlaying,
                             {{500, 59950, kPlaying, 60000},
                              {800, 59950, kPlaying, 60300},
                              {1000, 60100, kPlaying,
                               60300},  // a new second behind the clock: held
                              {1400, 60100, kPlaying, 60400}}},
                    SeekCase{"the old position for a while, then near the target",
                             kPlaying,
                             {{500, 5000, kPlaying, 60000},
                              {900, 5400, kPlaying, 60000},
                              {1000, 59500, kPlaying, 60000},
                              {1100, 59500, kPlaying, 60100}}},
                    SeekCase{"paused",
                             kPaused,
                             {{500, 5000, kPaused, 60000},
                              {3000, 0, kPaused, 60000},
                              {3100, 59950, kPlaying, 60000, kPaused},
                              {3200, 59950, kPlaying, 60100}}},
                    SeekCase{"never near: followed after three seconds of playing",
                             kPlaying,
                             {{500, 5000, kPlaying, 60000},
                              {3400, 7900, kPlaying, 60000},
                              {3500, 8000, kPlaying, 8000},
                              {3600, 8000, kPlaying, 8100}}}));

TEST_F(DVDAdjusterTest, MakesUpLagAtMost40PerHundredMilliseconds) {
    StartSecondFiveAtWall();
    EXPECT_EQ(ReadAt(700, 5000), 5700);
    const std::vector<Times> readings{{1000, 5740}, {1040, 5780}, {1100, 5880}, {1200, 6020},
                                      {1300, 6160}, {1400, 6300}, {1500, 6440}, {1600, 6580},
                                      {1700, 6700}, {1800, 6800}, {1840, 6840}};
    for (const auto& [at, expected] : readings) {
        EXPECT_EQ(ReadAt(at, 6000), expected) << "at " << at;
    }
}

// Each new second restarts the 100 ms slices: its first reading makes up a step even when the
// previous second's last step fell in the same slice.
TEST_F(DVDAdjusterTest, NewSecondStepsInItsFirstSlice) {
    StartSecondFiveAtWall();
    EXPECT_EQ(ReadAt(700, 5000), 5700);
    EXPECT_EQ(ReadAt(1000, 6000), 5740);
    EXPECT_EQ(ReadAt(1050, 7000), 5780);
}

// The last reading of second 5 is taken at `lastAt`; second 6 starts at 1000.
class DVDAdjusterLag : public DVDAdjusterTest, public testing::WithParamInterface<Times> {};

TEST_P(DVDAdjusterLag, OnlyLagsOfHundredOrMoreAreSmoothed) {
    const auto [lastAt, expected] = GetParam();
    StartSecondFiveAtWall();
    ReadAt(lastAt, 5000);
    EXPECT_EQ(ReadAt(1000, 6000), expected);
}

INSTANTIATE_TEST_SUITE_P(Lags, DVDAdjusterLag,
                         testing::Values(Times{901, 6000}, Times{900, 5940}, Times{700, 5740}));

TEST_F(DVDAdjusterTest, StandsStillWhileAheadOfNewSecond) {
    StartSecondFiveAtWall();
    EXPECT_EQ(ReadAt(1200, 5000), 6200);
    EXPECT_EQ(ReadAt(1240, 6000), 6200);
    EXPECT_EQ(ReadAt(1400, 6000), 6200);
    EXPECT_EQ(ReadAt(1440, 6000), 6200);
    EXPECT_EQ(ReadAt(1500, 6000), 6260);
}

TEST_F(DVDAdjusterTest, NoTimeBeforeFirstSecond) {
    for (const int64_t at : {0, 500, 900}) EXPECT_EQ(ReadAt(at, -1), 0);
    for (const int64_t at : {1000, 1500}) EXPECT_EQ(ReadAt(at, 900), 0);
}

// Fresh or reset, the last output is 0: the whole lag is outstanding and making it up starts
// only after a positive reading.
class DVDAdjusterStart : public DVDAdjusterTest, public testing::WithParamInterface<bool> {};

TEST_P(DVDAdjusterStart, StartsFromZeroAndCatchesUpAfterPositiveReading) {
    if (GetParam()) {
        StartSecondFiveAtWall();
        ReadAt(1500, 6000);
        clock.time.epochMilliseconds = kWall + 2000;
        adjuster.Reset();
    }
    EXPECT_EQ(ReadAt(2000, 5000), 0);
    EXPECT_EQ(ReadAt(2100, 5000), 100);
    EXPECT_EQ(ReadAt(2200, 5000), 240);
    EXPECT_EQ(ReadAt(2300, 5000), 380);
}

INSTANTIATE_TEST_SUITE_P(FreshAndReset, DVDAdjusterStart, testing::Bool());

}  // namespace
