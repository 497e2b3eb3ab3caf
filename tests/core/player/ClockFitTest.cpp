#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "player/ClockFit.h"
#include "player/DVDAdjuster.h"
#include "player/FileAdjuster.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Replays of real runs (tests/data/clock): what libvlc reported and which frame was on the
// screen, against the monotonic clock.

constexpr double kFrameMs = 1001.0 / 30.0;

struct Recording {
    ClockScale scale;
    struct Report {
        double at;
        int64_t reported;
        int state;
    };
    std::vector<Report> reports;
    // Seeks and chapter changes: when they were asked for.
    std::vector<double> jumps;
    struct Seek {
        double at;
        int64_t target;
    };
    std::vector<Seek> seeks;
    struct Shown {
        double at;
        int64_t frame;
    };
    std::vector<Shown> pictures;
};

Recording Load(const std::string& medium) {
    Recording recording;
    const std::string folder = KESTRUNE_TEST_DATA "/clock/";
    std::ifstream clock(folder + medium + ".clock");
    std::string line;
    while (std::getline(clock, line)) {
        std::istringstream in(line);
        if (line.rfind("# scale ", 0) == 0) {
            std::string hash;
            std::string word;
            in >> hash >> word >> recording.scale.rate >> recording.scale.leadMs;
        } else if (line.rfind("# seek ", 0) == 0 || line.rfind("# chapter ", 0) == 0) {
            const double at = std::stod(line.substr(line.rfind(' ') + 1));
            recording.jumps.push_back(at);
            if (line.rfind("# seek ", 0) == 0) {
                recording.seeks.push_back({at, std::stoll(line.substr(7))});
            }
        } else if (!line.empty() && line[0] != '#') {
            Recording::Report report{};
            in >> report.at >> report.reported >> report.state;
            recording.reports.push_back(report);
        }
    }
    std::ifstream picture(folder + medium + ".picture");
    while (std::getline(picture, line)) {
        std::istringstream in(line);
        Recording::Shown shown{};
        in >> shown.at >> shown.frame;
        recording.pictures.push_back(shown);
    }
    return recording;
}

// The picture's time at `at`: the frame on the screen, and how long it has been there (up to a
// frame); none before the first.
std::optional<double> PictureAt(const Recording& recording, double at) {
    const auto next = std::upper_bound(
        recording.pictures.begin(), recording.pictures.end(), at,
        [](double time, const Recording::Shown& shown) { return time < shown.at; });
    if (next == recording.pictures.begin()) return std::nullopt;
    const Recording::Shown& shown = *(next - 1);
    return static_cast<double>(shown.frame) * kFrameMs + std::min(at - shown.at, kFrameMs);
}

struct Figures {
    double median = 0;
    double spread = 0;  // p99 - p1
    size_t samples = 0;
};

Figures Summarise(std::vector<double> errors) {
    Figures figures;
    if (errors.empty()) return figures;
    std::sort(errors.begin(), errors.end());
    auto at = [&](double p) {
        return errors[std::min(errors.size() - 1, static_cast<size_t>(p * errors.size()))];
    };
    figures.median = at(0.5);
    figures.spread = at(0.99) - at(0.01);
    figures.samples = errors.size();
    return figures;
}

// The recorded player: what libvlc reported at the replay's time, and when it announced it.
class ReplayedPlayer final : public PlayerTime {
public:
    explicit ReplayedPlayer(const Recording& recording) : recording_(recording) {}

    // Plays the recording on to `now`.
    void AdvanceTo(double now) {
        for (; next_ < recording_.reports.size() && recording_.reports[next_].at <= now; ++next_) {
            const Recording::Report& report = recording_.reports[next_];
            if (report.reported != time_) changedAt_ = std::llround(report.at);
            time_ = report.reported;
            state_ = static_cast<PlayerState>(report.state);
        }
    }

    [[nodiscard]] int64_t GetTime() const override { return time_; }
    void SetTime(int64_t /*ms*/) override {}  // the recording has the player's answer
    [[nodiscard]] PlayerState GetState() const override { return state_; }
    [[nodiscard]] std::optional<int64_t> ReportSeenAt(int64_t reported) const override {
        if (reported != time_) return std::nullopt;
        return changedAt_;
    }

private:
    const Recording& recording_;
    size_t next_ = 0;
    int64_t time_ = -1;
    int64_t changedAt_ = 0;
    PlayerState state_ = PlayerState::kNothingSpecial;
};

// The replay's time, as the monotonic clock and as the wall clock (the whole-second clock's).
class ReplayClock final : public platform::MonotonicClock, public platform::LocalClock {
public:
    [[nodiscard]] int64_t NowMs() const override { return now; }
    [[nodiscard]] platform::LocalTime Now() const override {
        platform::LocalTime time;
        time.epochMilliseconds = now;
        return time;
    }
    int64_t now = 0;
};

using MakeAdjuster =
    std::function<std::unique_ptr<TimecodeAdjuster>(PlayerTime&, ReplayClock&, ClockScale)>;

std::unique_ptr<TimecodeAdjuster> PictureClock(PlayerTime& player, ReplayClock& clock,
                                               ClockScale scale) {
    // As AdjustedPlayer makes them: DVDs (scaled) without the start's run-on.
    return std::make_unique<FileAdjuster>(player, clock, scale, scale.rate == 1.0);
}

// Replays `recording` into a FileAdjuster read every `tickMs` like the device thread, seeking
// where the recording did, and returns the clock's errors against the picture: from `settleMs`
// after the start and after each seek or chapter change, while the picture runs (the probe's
// data ends before the recording).
std::vector<double> Replay(const Recording& recording, double settleMs,
                           const MakeAdjuster& make = PictureClock, double tickMs = 40) {
    ReplayedPlayer player(recording);
    ReplayClock clock;
    const std::unique_ptr<TimecodeAdjuster> adjuster = make(player, clock, recording.scale);
    std::vector<double> errors;
    size_t seek = 0;
    const double start = recording.reports.front().at;
    const double end = recording.pictures.back().at;
    for (double now = start; now < end; now += tickMs) {
        clock.now = std::llround(now);
        player.AdvanceTo(now);
        if (seek < recording.seeks.size() && recording.seeks[seek].at <= now) {
            adjuster->SetTime(recording.seeks[seek].target);
            ++seek;
        }
        const int64_t reading = adjuster->GetTime();
        double since = now - start;
        for (const double jump : recording.jumps) {
            if (jump <= now) since = std::min(since, now - jump);
        }
        const std::optional<double> picture = PictureAt(recording, now);
        if (picture && since >= settleMs) errors.push_back(static_cast<double>(reading) - *picture);
    }
    return errors;
}

// Each medium as libvlc played it: from a second and a half after the start, a seek or a
// chapter change, the clock stays within 30 ms of the picture (p1 to p99), and it stands in
// the same place against the picture on every medium, within 12 ms (the picture's own reading
// differs by a few ms between runs).
TEST(ClockFitReplay, FollowsThePictureOnEveryMedium) {
    std::vector<double> medians;
    for (const char* medium : {"mp4", "mkv", "ts", "mpg", "dvd"}) {
        const Figures steady = Summarise(Replay(Load(medium), 1500));
        SCOPED_TRACE(medium);
        EXPECT_GT(steady.samples, 500U);
        EXPECT_LE(steady.spread, 30);
        EXPECT_LE(std::abs(steady.median), 15);
        medians.push_back(steady.median);
    }
    const auto [low, high] = std::minmax_element(medians.begin(), medians.end());
    EXPECT_LE(*high - *low, 12);
}

// The whole-second clock, kept for play files tuned against it, misses the DVD's picture by
// hundreds of ms; this is what the picture's clock mends.
TEST(ClockFitReplay, TheWholeSecondClockMissesTheDvdPicture) {
    const Figures whole =
        Summarise(Replay(Load("dvd"), 1500, [](PlayerTime& player, ReplayClock& clock, ClockScale) {
            return std::make_unique<DVDAdjuster>(player, clock);
        }));
    EXPECT_GT(whole.spread, 200);
}

// ---------------------------------------------------------------------------------------------
// The rules, on reports written here

// A DVD reports its 0.6 s units less libvlc's buffering delay, which wavers: the falls and the
// small rises between units are not evidence, and each unit's rise is.
TEST(ClockFit, OnlyRisesOfAStepAreEvidence) {
    ClockFit fit({1.0, 400});
    fit.Report(1000, 0);  // the picture at 600 when this came
    EXPECT_EQ(fit.TimeAt(0), 600);
    fit.Report(985, 100);
    fit.Report(1030, 200);
    EXPECT_EQ(fit.TimeAt(300), 900);
    fit.Report(1600, 600);  // the next unit, on time
    EXPECT_EQ(fit.TimeAt(640), 1240);
}

// After a chapter change libvlc's first report holds the old buffering delay: the next unit
// disagrees with it by more than 100 ms, and the clock starts again from that unit.
TEST(ClockFit, AStaleFirstReportAfterAJumpIsPutAside) {
    ClockFit fit({1.0, 400});
    fit.Report(5000, 0);
    fit.Report(5600, 600);
    EXPECT_EQ(fit.TimeAt(1000), 5600);
    fit.Report(20000, 1040);  // two seconds on: a jump, taken at once
    EXPECT_EQ(fit.TimeAt(1040), 19600);
    fit.Report(20600, 1240);  // the picture is at 20200 by now, not 19800
    EXPECT_EQ(fit.TimeAt(1240), 20200);
    EXPECT_EQ(fit.TimeAt(1280), 20240);
    // Back by more than a second of reports: a new start, also backwards.
    fit.Report(3000, 1300);
    EXPECT_EQ(fit.TimeAt(1300), 2600);
}

// Evidence that moves the estimate is slewed in, 5 % of the time that passes, and a report
// that falls (within a second) changes nothing.
TEST(ClockFit, NewEvidenceIsSlewedIn) {
    ClockFit fit;
    fit.Report(1000, 0);
    fit.Report(1250, 250);
    EXPECT_EQ(fit.TimeAt(250), 1250);
    fit.Report(1420, 500);  // 80 ms behind: the fit moves back by a third of that, to 973
    EXPECT_EQ(fit.TimeAt(500), 1488);  // 12.5 ms of it in the 250 ms since
    EXPECT_EQ(fit.TimeAt(540), 1526);
    fit.Report(1100, 560);
    EXPECT_EQ(fit.TimeAt(580), 1564);
    EXPECT_EQ(fit.TimeAt(1400), 2373);  // there by now
    EXPECT_EQ(fit.TimeAt(3000), 2420);  // and no more than a second past the latest rise
}

}  // namespace
