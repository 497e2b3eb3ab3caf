#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "player/AdjustedPlayer.h"
#include "player/DVDAdjuster.h"
#include "player/FileAdjuster.h"
#include "player/MediaLocation.h"
#include "player/VlcPlayer.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

std::string Media(const char* name) { return std::string(KESTRUNE_TEST_MEDIA) + "/" + name; }

// Collects events from libvlc's threads.
class EventLog {
public:
    static void Callback(PlayerEvent event, void* self) {
        auto* log = static_cast<EventLog*>(self);
        std::lock_guard lock(log->mutex_);
        log->types_.push_back(event);
        log->changed_.notify_all();
    }

    bool WaitFor(PlayerEvent type, std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] {
            return std::find(types_.begin(), types_.end(), type) != types_.end();
        });
    }

    size_t Count(PlayerEvent type) {
        std::lock_guard lock(mutex_);
        return static_cast<size_t>(std::count(types_.begin(), types_.end(), type));
    }

    std::vector<PlayerEvent> Types() {
        std::lock_guard lock(mutex_);
        return types_;
    }

    // The types in order, without those libvlc raises repeatedly while playing.
    std::vector<PlayerEvent> Milestones() {
        std::vector<PlayerEvent> result;
        bool lengthSeen = false;
        for (const PlayerEvent type : Types()) {
            if (type == PlayerEvent::kTimeChanged || type == PlayerEvent::kVout) continue;
            if (type == PlayerEvent::kLengthChanged && std::exchange(lengthSeen, true)) {
                continue;
            }
            result.push_back(type);
        }
        return result;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<PlayerEvent> types_;
};

bool WaitForState(const VlcPlayer& player, PlayerState state, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (player.GetState() == state) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

TEST(VlcPlayer, BeforeAnyMediaReportsNothing) {
    VlcPlayer player;
    ASSERT_TRUE(player.IsAvailable());
    EXPECT_EQ(player.GetState(), PlayerState::kNothingSpecial);
    EXPECT_EQ(player.GetTime(), -1);
    EXPECT_EQ(player.GetLength(), -1);
    EXPECT_EQ(player.ItemCount(), 0);
    EXPECT_EQ(player.GetMediaKind(), MediaKind::kByPath);
    std::vector<std::string> names = {"kept"};
    player.GetTitleNames(&names);
    player.GetChapterNames(&names);
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
    // Pause and stop have nothing to act on.
    player.Pause();
    player.Stop();
    EXPECT_EQ(player.GetState(), PlayerState::kNothingSpecial);
}

TEST(VlcPlayer, PlaysAFileWithItsEventsInOrder) {
    VlcPlayer player;
    EventLog events;
    player.AttachEvents(&EventLog::Callback, &events);
    player.OpenPath(Media("short.mp4"));
    EXPECT_EQ(player.ItemCount(), 1);

    const auto before = std::chrono::steady_clock::now();
    player.Play();
    EXPECT_GE(std::chrono::steady_clock::now() - before, 10ms);

    ASSERT_TRUE(events.WaitFor(PlayerEvent::kStopped, 30s));
    const std::vector<PlayerEvent> milestones = events.Milestones();
    const std::vector<PlayerEvent> expected = {PlayerEvent::kOpening, PlayerEvent::kLengthChanged,
                                               PlayerEvent::kPlaying, PlayerEvent::kEndReached,
                                               PlayerEvent::kStopped};
    EXPECT_EQ(milestones, expected);
    const auto all = events.Types();
    EXPECT_NE(std::find(all.begin(), all.end(), PlayerEvent::kVout), all.end());
    EXPECT_NE(std::find(all.begin(), all.end(), PlayerEvent::kTimeChanged), all.end());
    player.DetachEvents();
}

TEST(VlcPlayer, AnUnplayableFileRaisesAnErrorAndEnds) {
    for (const char* name : {"not-a-video.mp4", "missing.mp4"}) {
        VlcPlayer player;
        EventLog events;
        player.AttachEvents(&EventLog::Callback, &events);
        player.OpenPath(Media(name));
        player.Play();
        ASSERT_TRUE(events.WaitFor(PlayerEvent::kStopped, 30s)) << name;
        const std::vector<PlayerEvent> expected = {
            PlayerEvent::kOpening, PlayerEvent::kEncounteredError, PlayerEvent::kStopped};
        EXPECT_EQ(events.Milestones(), expected) << name;
        player.DetachEvents();
    }
}

TEST(VlcPlayer, PauseOnlyWhilePlayingAndStopOnlyWhenStarted) {
    VlcPlayer player;
    player.OpenPath(Media("clip.mp4"));
    player.Play();
    ASSERT_TRUE(WaitForState(player, PlayerState::kPlaying, 30s));
    EXPECT_GT(player.GetLength(), 19000);

    player.Pause();
    ASSERT_TRUE(WaitForState(player, PlayerState::kPaused, 30s));
    player.Pause();                      // paused: must not resume
    std::this_thread::sleep_for(300ms);  // a resume, if any, shows within this
    EXPECT_EQ(player.GetState(), PlayerState::kPaused);

    player.Stop();
    ASSERT_TRUE(WaitForState(player, PlayerState::kStopped, 30s));
    player.Stop();
    EXPECT_EQ(player.GetState(), PlayerState::kStopped);
}

TEST(VlcPlayer, OpeningAnotherFileReplacesTheItem) {
    VlcPlayer player;
    player.OpenPath(Media("clip.mp4"));
    player.OpenPath(Media("clip.mkv"));
    EXPECT_EQ(player.ItemCount(), 1);
    player.Play();
    ASSERT_TRUE(WaitForState(player, PlayerState::kPlaying, 30s));
    // The second file is the one playing: 3 s rather than 20 s.
    EXPECT_LT(player.GetLength(), 5000);
    std::vector<std::string> names = {"kept"};
    player.GetTitleNames(&names);
    player.GetChapterNames(&names);
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
    player.Stop();
}

TEST(VlcPlayer, VolumeAndMuteFollowTheAudioOutput) {
    VlcPlayer player;
    player.OpenPath(Media("clip.mp4"));
    player.Play();
    ASSERT_TRUE(WaitForState(player, PlayerState::kPlaying, 30s));
    // The audio output is set up again when the first samples arrive: wait for the clock.
    ASSERT_TRUE(testing_support::WaitFor([&] { return player.GetTime() >= 500; }, 30s));
    ASSERT_NE(player.GetVolume(), -1);
    player.SetVolume(37);
    player.SetMute(true);
    EXPECT_TRUE(testing_support::WaitFor(
        [&] { return player.GetVolume() == 37 && player.IsMuted(); }, 10s));
    EXPECT_EQ(player.GetVolume(), 37);
    EXPECT_TRUE(player.IsMuted());
    player.SetMute(false);
    EXPECT_TRUE(testing_support::WaitFor([&] { return !player.IsMuted(); }, 10s));
    player.Stop();
}

template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// A disc that opens on a looping menu: libvlc's title list flags the menu, the arrows and Enter
// reach its buttons, and each change of title (not each pass of the looping menu) is counted;
// the time reads from the new title's start. A file has no place on a disc.
TEST(VlcPlayer, ADiscsMenuIsToldFromItsTitlesAndTakesTheArrows) {
    VlcPlayer player;
    EventLog events;
    player.AttachEvents(&EventLog::Callback, &events);
    player.OpenLocation(DvdLocation(Media("menu-dvd")));
    player.Play();
    ASSERT_TRUE(WaitUntil([&] { return player.GetDiscPlace() == DiscPlace::kMenu; }, 30s));
    ASSERT_TRUE(WaitForState(player, PlayerState::kPlaying, 30s));
    const uint64_t onMenu = player.TitleChanges();
    EXPECT_GE(onMenu, 1u);
    // The menu loops every 4 s; libvlc tells each pass as a change of title.
    const size_t told = events.Count(PlayerEvent::kTitleChanged);
    ASSERT_TRUE(WaitUntil([&] { return events.Count(PlayerEvent::kTitleChanged) > told; }, 30s));
    EXPECT_EQ(player.TitleChanges(), onMenu);

    // The second button, "Title 2" (6 s), once the new pass shows: libvlc knows the menu's
    // buttons only from the pass's first unit on.
    ASSERT_TRUE(WaitUntil([&] { return player.GetTime() > 0; }, 30s));
    player.Navigate(MenuStep::kDown);
    player.Navigate(MenuStep::kActivate);
    ASSERT_TRUE(WaitUntil([&] { return player.GetDiscPlace() == DiscPlace::kTitle; }, 30s));
    EXPECT_EQ(player.TitleChanges(), onMenu + 1);
    EXPECT_LT(player.GetTime(), 2000);
    ASSERT_TRUE(WaitUntil([&] { return player.GetLength() == 6000; }, 30s));

    EXPECT_TRUE(player.ShowDiscMenu());
    ASSERT_TRUE(WaitUntil([&] { return player.GetDiscPlace() == DiscPlace::kMenu; }, 30s));
    EXPECT_EQ(player.TitleChanges(), onMenu + 2);
    player.Stop();
    player.DetachEvents();

    player.OpenPath(Media("short.mp4"));
    EXPECT_EQ(player.GetDiscPlace(), DiscPlace::kUnknown);
    EXPECT_FALSE(player.ShowDiscMenu());
}

TEST(VlcPlayer, WhenLibvlcCannotStartEveryOperationIsHarmless) {
    // libvlc refuses an unknown option: the way to make it fail here for certain.
    VlcPlayer player({"--no-such-option-for-kestrune"});
    ASSERT_FALSE(player.IsAvailable());
    player.OpenPath(Media("clip.mp4"));
    player.OpenLocation("dvd:///dev/sr0");
    player.Play();
    player.Pause();
    player.Stop();
    player.SetTime(1000);
    player.SetVolume(10);
    player.SetMute(true);
    player.SetHwnd(1);
    player.AttachEvents(&EventLog::Callback, nullptr);
    EXPECT_EQ(player.GetState(), PlayerState::kNothingSpecial);
    EXPECT_EQ(player.GetTime(), -1);
    EXPECT_EQ(player.GetLength(), -1);
    EXPECT_EQ(player.ItemCount(), 0);
    EXPECT_EQ(player.GetVolume(), -1);
    EXPECT_TRUE(player.IsMuted());  // no audio output reads as muted
    std::vector<std::string> names = {"kept"};
    player.GetTitleNames(&names);
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
}

TEST(AdjustedPlayer, PicksANewAdjusterForEveryOpen) {
    AdjustedPlayer player;
    EXPECT_NE(dynamic_cast<const FileAdjuster*>(&player.Adjuster()), nullptr);
    player.OpenLocation("dvd:///nonexistent", AdjusterKind::kDvdWholeSecond);
    const TimecodeAdjuster* dvd = &player.Adjuster();
    EXPECT_NE(dynamic_cast<const DVDAdjuster*>(dvd), nullptr);
    EXPECT_EQ(player.PictureClockScale(), std::nullopt);
    EXPECT_EQ(player.GetMediaKind(), MediaKind::kByLocation);
    // The picture's clock for a disc it cannot read: the old rate, no lead.
    player.OpenLocation("dvd:///nonexistent", AdjusterKind::kDvd);
    EXPECT_NE(&player.Adjuster(), dvd);
    ASSERT_TRUE(player.PictureClockScale().has_value());
    EXPECT_DOUBLE_EQ(player.PictureClockScale()->rate, 1201.0 / 1200.0);
    // A file's timing comes from a thread of its own, soon after the open.
    player.OpenFile(Media("timing/delay-1.4.ts"), AdjusterKind::kFile);
    EXPECT_EQ(player.GetMediaKind(), MediaKind::kByPath);
    EXPECT_TRUE(testing_support::WaitFor(
        [&] { return player.PictureClockScale().value_or(ClockScale{}).leadMs == 1400; }, 10s));
}

// A disc that takes its time to answer (a drive spinning up; here a pipe nobody writes to)
// does not hold the open: its timing is read beside it, and dropped once another medium is
// opened.
TEST(AdjustedPlayer, ASlowDiscDoesNotHoldTheOpen) {
    const testing_support::TempDir dir;
    const std::string pipe = dir / "drive";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    {
        AdjustedPlayer player;
        player.OpenLocation("dvd://" + pipe, AdjusterKind::kDvd);
        player.OpenFile(Media("timing/delay-0.7.ts"), AdjusterKind::kFile);
        EXPECT_TRUE(testing_support::WaitFor(
            [&] { return player.PictureClockScale().value_or(ClockScale{}).leadMs == 700; }, 10s));
    }
    // The reading of the pipe ends once it has a writer that goes; nothing is left to take it.
    const int writer = ::open(pipe.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    ::close(writer);
}

// Sampled every 40 ms while a file plays, the adjusted clock advances smoothly and never
// goes back, where libvlc's own time moves in steps of a quarter second or more. Each step is
// weighed against the time that passed between the samples: a busy machine may take the
// samples late, and the clock rightly moves on further then.
TEST(AdjustedPlayer, FileClockAdvancesSmoothlyWhilePlaying) {
    AdjustedPlayer player;
    player.OpenFile(Media("clip.mp4"), AdjusterKind::kFile);
    player.Play();
    ASSERT_TRUE(
        testing_support::WaitFor([&] { return player.GetState() == PlayerState::kPlaying; }, 30s));
    // From libvlc's first report of the time: before it the clock runs on from the start only
    // so far, and then waits for libvlc, however long a busy machine makes it take.
    ASSERT_TRUE(testing_support::WaitFor([&] { return player.GetReportedTime() > 0; }, 30s));

    struct Reading {
        double atMs;
        int64_t clock;
    };
    std::vector<Reading> readings;
    for (int i = 0; i < 125; ++i) {
        readings.push_back({testing_support::MonotonicMs(), player.GetTime()});
        std::this_thread::sleep_for(40ms);
    }
    player.Stop();

    int bigSteps = 0;
    for (size_t i = 1; i < readings.size(); ++i) {
        const int64_t step = readings[i].clock - readings[i - 1].clock;
        EXPECT_GE(step, 0) << "at sample " << i;
        // A jump of more than a tenth of a second past the time that passed.
        if (static_cast<double>(step) - (readings[i].atMs - readings[i - 1].atMs) > 110) {
            ++bigSteps;
        }
    }
    const int64_t advance = readings.back().clock - readings.front().clock;
    EXPECT_NEAR(static_cast<double>(advance), readings.back().atMs - readings.front().atMs, 800.0);
    EXPECT_LE(bigSteps, 2);
}

}  // namespace

namespace {

// libvlc 3 reads extra plug-in folders from VLC_PLUGIN_PATH (it has no --plugin-path option):
// the folder next to the program is added once, after what the user set.
TEST(PluginPathWith, AddsTheFolderOnceAfterWhatIsSet) {
    EXPECT_EQ(PluginPathWith("/opt/k/plugins", nullptr), "/opt/k/plugins");
    EXPECT_EQ(PluginPathWith("/opt/k/plugins", ""), "/opt/k/plugins");
    EXPECT_EQ(PluginPathWith("/opt/k/plugins", "/mine"), "/mine:/opt/k/plugins");
    EXPECT_EQ(PluginPathWith("/opt/k/plugins", "/mine:/opt/k/plugins"), "/mine:/opt/k/plugins");
    EXPECT_EQ(PluginPathWith("/opt/k/plugins", "/opt/k/plugins:/mine"), "/opt/k/plugins:/mine");
    // A longer entry that merely starts with the folder is another folder.
    EXPECT_EQ(PluginPathWith("/opt/k/plugins", "/opt/k/plugins2"),
              "/opt/k/plugins2:/opt/k/plugins");
}

}  // namespace
