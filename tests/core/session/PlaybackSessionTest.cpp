// The playback session's decisions, with a player set by hand, the device link on its fakes
// and a view that records what it is told. One journal holds the player's commands, the
// packets and the view's calls in the order they happened; the operation log is the real file.
// Events arrive as libvlc raises them: through the callback, which logs and posts, and take
// effect when the test runs the posted work, as the event loop would.

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "device/UsbDongle.h"
#include "log/OutputLog.h"
#include "session/PlaybackSession.h"
#include "session/PlaybackView.h"
#include "support/DeviceFakes.h"
#include "support/HandPlayer.h"
#include "support/TestSupport.h"
#include "sync/DeviceLoop.h"
#include "sync/SyncDriver.h"

namespace {

using testing_support::FakeDevices;
using testing_support::FakePort;
using testing_support::FakeTiming;
using testing_support::HandPlayer;
using testing_support::Journal;
using testing_support::JournalLogger;
using testing_support::RecordingMessageBoxes;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;
using Box = std::pair<std::string, std::string>;

const Box kUnplayable{"メディアが再生できません。メディアを確認して下さい。", "再生エラー"};
const Box kError{"エラーが発生しました。", "エラー"};
constexpr const char* kStop = "write 01 01 00";

// Records the boxes, and writes each to the journal as "box CAPTION" when it is shown or posted.
class JournalBoxes final : public platform::MessageBoxes {
public:
    explicit JournalBoxes(Journal& journal) : journal_(journal) {}
    void Show(const std::string& text, const std::string& caption) override {
        journal_.Add("box " + caption);
        recorded_.Show(text, caption);
    }
    void Post(const std::string& text, const std::string& caption) override {
        journal_.Add("box " + caption);
        recorded_.Post(text, caption);
    }
    [[nodiscard]] std::vector<Box> Shown() const { return recorded_.Shown(); }
    [[nodiscard]] std::vector<Box> Posted() const { return recorded_.Posted(); }

private:
    Journal& journal_;
    RecordingMessageBoxes recorded_;
};

// Records what the session shows; posted work waits until the test runs it.
class RecordingView final : public PlaybackView {
public:
    explicit RecordingView(Journal& journal) : journal_(journal) {}

    void ShowTitle(const std::string& title, bool opening) override {
        journal_.Add("view title " + title + (opening ? " (opening)" : ""));
    }
    void ShowElapsed(const std::string& text) override { journal_.Add("view elapsed " + text); }
    void ShowTotal(const std::string& text) override { journal_.Add("view total " + text); }
    void ShowPosition(int position) override {
        journal_.Add("view position " + std::to_string(position));
    }
    void ShowCounter(int64_t timeMs) override {
        journal_.Add("view counter " + std::to_string(timeMs));
    }
    void ShowScriptHeat(const std::vector<CSV_LINE>& lines, int64_t lengthMs) override {
        journal_.Add("view heat " + std::to_string(lines.size()) + " lines over " +
                     std::to_string(lengthMs));
    }
    void ClearScriptHeat() override { journal_.Add("view no heat"); }
    void ShowMute(bool on) override { journal_.Add(on ? "view mute on" : "view mute off"); }
    void ShowRepeat(bool on) override { journal_.Add(on ? "view repeat on" : "view repeat off"); }
    void RebuildMenu() override { journal_.Add("view menu"); }
    void ShowRecording(bool on, uint8_t command) override {
        journal_.Add(on ? "view recording " + std::to_string(command) : "view not recording");
    }
    void ShowDiscMenu(bool shown) override {
        journal_.Add(shown ? "view disc menu" : "view no disc menu");
    }
    void ShowDeviceAccessDenied(const std::string& device, const std::string&) override {
        journal_.Add("view access denied " + device);
    }
    [[nodiscard]] int Volume() const override { return volume; }
    void Repaint() override {}
    void StartTimer(SessionTimer timer, int ms) override {
        journal_.Add("timer " + std::to_string(static_cast<int>(timer)) + " every " +
                     std::to_string(ms));
        timers_.insert(timer);
    }
    void StopTimer(SessionTimer timer) override { timers_.erase(timer); }
    [[nodiscard]] bool IsTimerActive(SessionTimer timer) const override {
        return timers_.contains(timer);
    }
    void Post(std::function<void()> task) override {
        const std::lock_guard lock(mutex_);
        posted_.push_back(std::move(task));
    }

    // Runs the posted work, and the work it posts, until none is left.
    void RunPosted() {
        for (;;) {
            std::function<void()> task;
            {
                const std::lock_guard lock(mutex_);
                if (posted_.empty()) return;
                task = std::move(posted_.front());
                posted_.pop_front();
            }
            task();
        }
    }

    int volume = 50;

private:
    Journal& journal_;
    std::set<SessionTimer> timers_;
    std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
};

class PlaybackSessionTest : public testing::Test {
protected:
    PlaybackSessionTest() {
        auto hand = std::make_unique<HandPlayer>(journal);
        player = hand.get();
        session = std::make_unique<PlaybackSession>(boxes, log, view, std::move(hand));
        auto devices = std::make_unique<FakeDevices>();
        devices->present = {{"usb-Kestrune_Dongle-if00", "/dev/ttyUSB0"}};
        auto dongle = std::make_unique<UsbDongle>(
            UsbDongle::Platform{std::make_unique<FakePort>(journal), std::move(devices),
                                std::make_unique<FakeTiming>(journal)});
        DongleSettings settings;
        settings.deviceNames = {"Kestrune"};
        // Device work runs at once, in the order it is posted.
        session->StartDevice(&logger, settings, 0, std::move(dongle), DeviceLoop::Inline());
        journal.events.clear();
    }

    // The player raises `event`; the posted work runs, as the event loop would run it.
    void Raise(PlayerEvent event) {
        player->Raise(event);
        view.RunPosted();
    }

    // A video with a play file, playing at `t` of 60 s, the port open; the journal starts
    // empty.
    void PlayWithScript(int64_t t, const std::string& script = "10,1,50\n50,0,30\n") {
        WriteFile(dir / "play.csv", script);
        session->OpenVideoFile(dir / "clip.mp4");
        session->OpenPlayFile(dir / "play.csv");
        player->length = 60000;
        player->time = t;
        Raise(PlayerEvent::kOpening);
        Raise(PlayerEvent::kLengthChanged);
        player->state = PlayerState::kPlaying;
        Raise(PlayerEvent::kPlaying);
        journal.events.clear();
    }

    // The journal's entries that start with one of `prefixes`, in order.
    [[nodiscard]] std::vector<std::string> Only(std::initializer_list<std::string> prefixes) const {
        std::vector<std::string> kept;
        for (const std::string& e : journal.events) {
            if (std::any_of(prefixes.begin(), prefixes.end(),
                            [&](const std::string& p) { return e.rfind(p, 0) == 0; })) {
                kept.push_back(e);
            }
        }
        return kept;
    }

    // Where `entry` first is in the journal; -1 when it is not.
    [[nodiscard]] int IndexOf(const std::string& entry) const {
        const auto at = std::find(journal.events.begin(), journal.events.end(), entry);
        return at == journal.events.end() ? -1 : static_cast<int>(at - journal.events.begin());
    }

    // The operation log's messages so far, in order.
    [[nodiscard]] std::vector<std::string> LogMessages() const {
        std::vector<std::string> messages;
        const std::string text =
            testing_support::Cp932ToUtf8(testing_support::ReadFile(log.Path()));
        size_t start = 0;
        for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            const std::string line = text.substr(start, end - start);
            size_t field = 0;
            for (int comma = 0; comma < 5 && field != std::string::npos; ++comma) {
                field = line.find(',', field == 0 ? 0 : field + 1);
            }
            if (field != std::string::npos) messages.push_back(line.substr(field + 1));
        }
        return messages;
    }

    [[nodiscard]] int Logged(const std::string& message) const {
        const std::vector<std::string> all = LogMessages();
        return static_cast<int>(std::count(all.begin(), all.end(), message));
    }

    TempDir dir;
    ScopedEnv data{"XDG_DATA_HOME", dir.Path()};
    testing_support::FixedClock clock{platform::LocalTime{2026, 12, 8, 10, 0, 0, 0}};
    Journal journal;
    JournalBoxes boxes{journal};
    OutputLog log{boxes, clock};
    JournalLogger logger{journal};
    RecordingView view{journal};
    HandPlayer* player = nullptr;
    std::unique_ptr<PlaybackSession> session;
};

// Events act only once the event loop runs the work they posted; the log has them at once.
// Opening shows the title as opening, playing shows it plain, starts the ticks and tells the
// device; an error once the media has opened shows the general box and changes nothing else.
TEST_F(PlaybackSessionTest, EventsShowTheTitleAndAnErrorAfterOpeningKeepsIt) {
    session->OpenVideoFile(dir / "clip.mp4");
    EXPECT_EQ(Only({"player", "view title"}),
              (std::vector<std::string>{"player stop",
                                        "player open " + (dir / "clip.mp4") + " (file clock)",
                                        "view title clip.mp4"}));
    EXPECT_EQ(Logged("動画ファイル選択：clip.mp4"), 1);
    journal.events.clear();

    player->Raise(PlayerEvent::kOpening);
    EXPECT_EQ(Logged("MediaPlayerOpening"), 1);
    EXPECT_FALSE(session->IsOpening());
    view.RunPosted();
    EXPECT_TRUE(session->IsOpening());
    EXPECT_EQ(Only({"view title"}), (std::vector<std::string>{"view title clip.mp4 (opening)"}));

    player->length = 60000;
    player->time = 0;
    Raise(PlayerEvent::kLengthChanged);
    player->state = PlayerState::kPlaying;
    journal.events.clear();
    Raise(PlayerEvent::kPlaying);
    EXPECT_FALSE(session->IsOpening());
    EXPECT_TRUE(session->IsSyncTicking());
    EXPECT_EQ(Only({"view title", "open", "view menu"}),
              (std::vector<std::string>{"view title clip.mp4", "open /dev/ttyUSB0", "view menu"}));
    EXPECT_EQ(Logged("USBドングルへ再生コマンド送信"), 1);

    journal.events.clear();
    Raise(PlayerEvent::kEncounteredError);
    EXPECT_EQ(boxes.Shown(), std::vector<Box>{kError});
    EXPECT_TRUE(Only({"view title", "write", "player"}).empty());
    EXPECT_TRUE(session->IsSyncTicking());
}

// An error while the media opens is the unplayable box, once, and the title loses its
// "opening"; nothing reaches the device.
TEST_F(PlaybackSessionTest, AnErrorWhileOpeningSaysTheMediaDoesNotPlay) {
    session->OpenVideoFile(dir / "broken.mp4");
    Raise(PlayerEvent::kOpening);
    journal.events.clear();
    player->state = PlayerState::kError;
    Raise(PlayerEvent::kEncounteredError);
    EXPECT_EQ(boxes.Shown(), std::vector<Box>{kUnplayable});
    EXPECT_EQ(Only({"view title"}), (std::vector<std::string>{"view title broken.mp4"}));
    EXPECT_FALSE(session->IsOpening());
    EXPECT_TRUE(Only({"write", "open"}).empty());
    // Opening a DVD waits while the player is in error.
    session->OpenDvd("/media/disc");
    EXPECT_TRUE(Only({"player open"}).empty());
}

// The slider and the arrow keys stop the device before the player moves; the player moves
// when the event loop gets to it. Keys keep within the media, and without a length do nothing.
TEST_F(PlaybackSessionTest, ASeekStopsTheDeviceBeforeThePlayerMoves) {
    PlayWithScript(2000);
    session->SeekToPosition(50);
    EXPECT_EQ(Only({"write", "player"}), (std::vector<std::string>{kStop}));
    view.RunPosted();
    EXPECT_EQ(Only({"write", "player"}), (std::vector<std::string>{kStop, "player seek 30000"}));
    EXPECT_EQ(Only({"view elapsed", "view counter"}),
              (std::vector<std::string>{"view elapsed 00:00:30", "view counter 30000"}));

    journal.events.clear();
    session->SeekBy(45000);
    view.RunPosted();
    EXPECT_EQ(Only({"player"}), (std::vector<std::string>{"player seek 60000"}));
    journal.events.clear();
    session->SeekBy(-90000);
    view.RunPosted();
    EXPECT_EQ(Only({"player"}), (std::vector<std::string>{"player seek 0"}));

    // A raw stream has no length: the keys do not seek it, and the device goes on.
    player->length = 0;
    journal.events.clear();
    session->SeekBy(5000);
    view.RunPosted();
    EXPECT_TRUE(journal.events.empty());
}

// Held fast forward and rewind pause a playing video, step from where the hold started (1 s a
// step at first) whatever the player reads between steps, stay within the media, and play on
// at the release only when the video was playing.
TEST_F(PlaybackSessionTest, HeldStepsLandExactlyAndPlayResumesOnlyIfItWasPlaying) {
    PlayWithScript(3000);
    session->HoldStart(true);
    EXPECT_TRUE(view.IsTimerActive(SessionTimer::kForward));
    EXPECT_EQ(Only({"player", "timer"}),
              (std::vector<std::string>{"player pause", "timer 0 every 200"}));
    player->state = PlayerState::kPaused;
    journal.events.clear();
    for (int step = 0; step < 3; ++step) {
        session->OnTimer(SessionTimer::kForward);
        view.RunPosted();
        player->time = 0;  // libvlc, paused, may read 0 for a while after a seek
    }
    EXPECT_EQ(Only({"player"}), (std::vector<std::string>{"player seek 4000", "player seek 5000",
                                                          "player seek 6000"}));
    journal.events.clear();
    session->HoldEnd(true);
    EXPECT_FALSE(view.IsTimerActive(SessionTimer::kForward));
    EXPECT_EQ(Only({"player"}), (std::vector<std::string>{"player play"}));

    // Paused: the hold neither pauses nor plays; rewinding stops at the start.
    player->time = 2500;
    journal.events.clear();
    session->HoldStart(false);
    for (int step = 0; step < 4; ++step) {
        session->OnTimer(SessionTimer::kRewind);
        view.RunPosted();
    }
    session->HoldEnd(false);
    EXPECT_EQ(Only({"player"}), (std::vector<std::string>{"player seek 1500", "player seek 500",
                                                          "player seek 0", "player seek 0"}));

    // Forward stops short of the end.
    player->time = 59500;
    journal.events.clear();
    session->HoldStart(true);
    session->OnTimer(SessionTimer::kForward);
    view.RunPosted();
    session->HoldEnd(true);
    EXPECT_EQ(Only({"player"}), (std::vector<std::string>{"player seek 59999"}));
}

// Pause stops the ticks before the stop packet, so that no step comes between; a second pause
// while paused does nothing; play sends the line in force again.
TEST_F(PlaybackSessionTest, PauseStopsTheDeviceOnceAndPlayResumesIt) {
    PlayWithScript(2000);
    session->Pause();
    EXPECT_EQ(Only({"player"}), (std::vector<std::string>{"player pause"}));
    player->state = PlayerState::kPaused;
    Raise(PlayerEvent::kPaused);
    EXPECT_FALSE(session->IsSyncTicking());
    EXPECT_EQ(Only({"write"}), (std::vector<std::string>{kStop}));
    EXPECT_EQ(Logged("USBドングルへ一時停止コマンド送信"), 1);

    journal.events.clear();
    session->Pause();
    EXPECT_TRUE(Only({"player", "write"}).empty());

    session->Play();
    player->state = PlayerState::kPlaying;
    player->time = 2300;
    Raise(PlayerEvent::kPlaying);
    EXPECT_TRUE(session->IsSyncTicking());
    session->Sync().OnTick();  // the device thread's next step
    // The port is opened afresh (the stop packet as it closes), then the line in force goes.
    EXPECT_EQ(Only({"player", "write"}),
              (std::vector<std::string>{"player play", kStop, "write 01 01 b2"}));
    EXPECT_EQ(Logged("USBドングルへ再生コマンド送信"), 2);
}

// The end resets the display and stops the device; with repeat on, the ticks stop, and after
// a pause the media plays again. Media that ended without ever having a length or a picture
// did not play: the box says so and repeat does not loop it. A raw stream (no length, but it
// played and showed its pictures) repeats.
TEST_F(PlaybackSessionTest, TheEndStopsOnceOrRepeatsAfterAPause) {
    PlayWithScript(2000);
    player->state = PlayerState::kEnded;
    Raise(PlayerEvent::kEndReached);
    EXPECT_FALSE(session->IsSyncTicking());
    EXPECT_EQ(Only({"write", "close", "view elapsed", "view total", "view no heat"}),
              (std::vector<std::string>{"view elapsed 00:00:00", "view total 00:00:00",
                                        "view no heat", kStop, "close"}));
    EXPECT_EQ(Logged("リピート再生"), 0);

    session->ToggleRepeat();
    EXPECT_TRUE(session->IsRepeat());
    PlayWithScript(2000);
    player->state = PlayerState::kEnded;
    Raise(PlayerEvent::kEndReached);
    EXPECT_FALSE(session->IsSyncTicking());
    EXPECT_TRUE(view.IsTimerActive(SessionTimer::kRepeat));
    EXPECT_EQ(Only({"timer", "player", "view elapsed"}),
              (std::vector<std::string>{"timer 2 every 100"}));
    EXPECT_EQ(Logged("リピート再生"), 1);
    session->OnTimer(SessionTimer::kRepeat);
    EXPECT_FALSE(view.IsTimerActive(SessionTimer::kRepeat));
    EXPECT_EQ(Only({"player"}), (std::vector<std::string>{"player play"}));

    // Opened, never a length nor a picture, ended.
    session->OpenVideoFile(dir / "cut-short.mp4");
    player->length = 0;
    Raise(PlayerEvent::kOpening);
    player->state = PlayerState::kEnded;
    journal.events.clear();
    Raise(PlayerEvent::kEndReached);
    EXPECT_EQ(boxes.Shown(), std::vector<Box>{kUnplayable});
    EXPECT_FALSE(view.IsTimerActive(SessionTimer::kRepeat));
    EXPECT_EQ(Logged("リピート再生"), 1);

    // Played without a length or a picture while the device moved: it stops before the box
    // waits for the user.
    session->OpenVideoFile(dir / "sound-only.mp4");
    Raise(PlayerEvent::kOpening);
    Raise(PlayerEvent::kLengthChanged);
    player->state = PlayerState::kPlaying;
    player->time = 1500;
    Raise(PlayerEvent::kPlaying);
    session->Sync().OnTick();
    player->state = PlayerState::kEnded;
    journal.events.clear();
    Raise(PlayerEvent::kEndReached);
    EXPECT_EQ(Only({"write", "box"}), (std::vector<std::string>{kStop, "box 再生エラー"}));
    EXPECT_EQ(Logged("リピート再生"), 1);

    // A raw stream: playing, a picture, no length.
    session->OpenVideoFile(dir / "raw.h264");
    Raise(PlayerEvent::kOpening);
    player->state = PlayerState::kPlaying;
    Raise(PlayerEvent::kPlaying);
    player->hasVideo = true;
    Raise(PlayerEvent::kVout);
    player->state = PlayerState::kEnded;
    Raise(PlayerEvent::kEndReached);
    EXPECT_EQ(boxes.Shown().size(), 2u);
    EXPECT_TRUE(view.IsTimerActive(SessionTimer::kRepeat));
    EXPECT_EQ(Logged("リピート再生"), 2);
}

// The slider's volume reaches the player once its audio output is up (the volume reads -1
// before), once per media; moving the slider unmutes. Mute follows the player's actual state.
TEST_F(PlaybackSessionTest, TheVolumeIsAppliedOnceTheAudioIsUpAndMuteFollowsThePlayer) {
    PlayWithScript(1000);
    view.volume = 35;
    Raise(PlayerEvent::kTimeChanged);
    EXPECT_TRUE(Only({"player volume"}).empty());
    player->volume = 100;
    Raise(PlayerEvent::kTimeChanged);
    Raise(PlayerEvent::kTimeChanged);
    EXPECT_EQ(Only({"player volume"}), (std::vector<std::string>{"player volume 35"}));
    EXPECT_EQ(Logged("音量初期化"), 1);
    EXPECT_EQ(Logged("MediaPlayerTimeChanged"), 0);  // too many to log

    // The next media sets it again.
    player->state = PlayerState::kStopped;
    Raise(PlayerEvent::kStopped);
    player->state = PlayerState::kPlaying;
    Raise(PlayerEvent::kTimeChanged);
    EXPECT_EQ(Logged("音量初期化"), 2);

    journal.events.clear();
    player->muted = true;  // muted elsewhere, or no audio output
    session->ToggleMute();
    EXPECT_FALSE(session->IsMuted());
    EXPECT_EQ(Only({"player mute", "view mute"}),
              (std::vector<std::string>{"view mute off", "player mute off"}));
    session->ToggleMute();
    EXPECT_TRUE(session->IsMuted());
    journal.events.clear();
    view.volume = 80;
    session->VolumeChanged();
    view.RunPosted();
    EXPECT_FALSE(session->IsMuted());
    EXPECT_EQ(Only({"player"}), (std::vector<std::string>{"player mute off", "player volume 80"}));
}

// Closing stops the device and closes the port before playback stops; after a failure the
// same, and the box is posted rather than shown where the failure happened.
TEST_F(PlaybackSessionTest, CloseAndFailureStopTheDeviceBeforeThePlayer) {
    PlayWithScript(2000);
    session->Close();
    EXPECT_FALSE(session->IsSyncTicking());
    EXPECT_EQ(Only({"write", "close", "player"}),
              (std::vector<std::string>{kStop, "close", "player stop"}));
    EXPECT_TRUE(boxes.Shown().empty());

    PlayWithScript(2000);
    session->StopAfterFailure();
    EXPECT_EQ(Only({"write", "close", "player"}),
              (std::vector<std::string>{kStop, "close", "player stop"}));
    EXPECT_EQ(boxes.Posted(), std::vector<Box>{kError});
}

// A DVD plays at once on its clock; a path is made a location, a location is the user's own.
// Titles and chapters are logged before the player changes them.
TEST_F(PlaybackSessionTest, ADvdOpensOnItsClockAndPlaysAtOnce) {
    session->OpenDvd("/media/my disc");
    EXPECT_EQ(
        Only({"player", "view title"}),
        (std::vector<std::string>{"player stop", "player open dvd:///media/my%20disc (dvd clock)",
                                  "view title dvd:///media/my disc"}));
    journal.events.clear();
    view.RunPosted();
    EXPECT_EQ(Only({"player"}), (std::vector<std::string>{"player play"}));
    EXPECT_EQ(Logged("ドライブ選択：/media/my disc"), 1);

    journal.events.clear();
    session->OpenDvd("dvd:///dev/sr0#2");
    EXPECT_EQ(Only({"player open"}),
              (std::vector<std::string>{"player open dvd:///dev/sr0#2 (dvd clock)"}));

    // The ini may keep DVDs on the whole-second clock; files keep theirs.
    journal.events.clear();
    session->SetDvdWholeSecondClock(true);
    session->OpenDvd("/media/disc");
    EXPECT_EQ(Only({"player open"}),
              (std::vector<std::string>{"player open dvd:///media/disc (whole-second dvd clock)"}));

    journal.events.clear();
    session->SelectTitle(2);
    session->SelectChapter(3);
    EXPECT_EQ(journal.events, (std::vector<std::string>{"player title 2", "player chapter 3"}));
    EXPECT_EQ(Logged("DVDタイトル変更"), 1);
    EXPECT_EQ(Logged("DVDチャプター変更"), 1);
}

// The heat shows once the media has a length and a script is loaded, in either order; a new
// play file on stopped media shows none.
TEST_F(PlaybackSessionTest, TheHeatFollowsTheLengthAndTheScript) {
    WriteFile(dir / "play.csv", "10,1,50\n20,0,30\n30,1,10\n");
    session->OpenVideoFile(dir / "clip.mp4");
    session->OpenPlayFile(dir / "play.csv");
    EXPECT_EQ(Only({"view heat", "view no heat"}).back(), "view no heat");
    player->length = 40000;
    Raise(PlayerEvent::kLengthChanged);
    EXPECT_EQ(Only({"view heat", "view no heat"}).back(), "view heat 3 lines over 40000");

    player->state = PlayerState::kPlaying;
    WriteFile(dir / "other.csv", "10,1,50\n");
    session->OpenPlayFile(dir / "other.csv");
    EXPECT_EQ(Only({"view heat", "view no heat"}).back(), "view heat 1 lines over 40000");

    player->state = PlayerState::kStopped;
    session->OpenPlayFile(dir / "play.csv");
    EXPECT_EQ(Only({"view heat", "view no heat"}).back(), "view no heat");
}

// The offset is logged only when it moves; it is kept within its bounds.
TEST_F(PlaybackSessionTest, TheOffsetIsLoggedWhenItMoves) {
    EXPECT_EQ(session->ChangeOffset(50), 50);
    EXPECT_EQ(session->ChangeOffset(-100), -50);
    EXPECT_EQ(Logged("同期オフセット変更：+50 ms"), 1);
    EXPECT_EQ(Logged("同期オフセット変更：-50 ms"), 1);
    for (int i = 0; i < 1000; ++i) session->ChangeOffset(50);
    const int top = session->ChangeOffset(0);
    EXPECT_EQ(session->ChangeOffset(50), top);
    const std::vector<std::string> all = LogMessages();
    EXPECT_EQ(
        std::count_if(all.begin(), all.end(),
                      [](const std::string& m) { return m.rfind("同期オフセット変更", 0) == 0; }),
        2 + (top + 50) / 50);
}

// A disc that opens on its menu: nothing but stop packets while the menu shows, even on a
// tick between libvlc's change of title and the session's placing of it; a title runs the
// script from its own start; the end of the title back to the menu stops the device once, and
// playing the title again sends its script again. The arrows reach the disc only on a menu.
TEST_F(PlaybackSessionTest, ADiscMenuHoldsTheScriptAndEachTitleRunsItFromItsStart) {
    WriteFile(dir / "play.csv", "5,0,10\n15,0,20\n25,0,30\n");
    session->OpenPlayFile(dir / "play.csv");
    session->OpenDvd("/media/disc");
    view.RunPosted();
    player->ChangeTitle(DiscPlace::kMenu);
    Raise(PlayerEvent::kTitleChanged);
    player->length = 4000;
    Raise(PlayerEvent::kLengthChanged);
    player->state = PlayerState::kPlaying;
    player->time = 0;
    Raise(PlayerEvent::kPlaying);
    EXPECT_TRUE(session->IsDiscMenuShown());
    EXPECT_EQ(Only({"view disc menu", "view no disc menu", "view heat"}),
              (std::vector<std::string>{"view disc menu"}));
    // The menu loops; its clock passes every line's time.
    for (const int64_t t : {600, 1600, 2600, 3900, 100, 1600}) {
        player->time = t;
        session->Sync().OnTick();
    }
    session->NavigateMenu(MenuStep::kDown);
    session->NavigateMenu(MenuStep::kActivate);
    for (const std::string& e : Only({"write"})) EXPECT_EQ(e, kStop);
    EXPECT_EQ(Only({"player navigate"}),
              (std::vector<std::string>{"player navigate 2", "player navigate 0"}));

    // Title 1 starts; no line on a tick before the session has placed it.
    journal.events.clear();
    player->ChangeTitle(DiscPlace::kTitle);
    player->time = 0;
    session->Sync().OnTick();
    EXPECT_TRUE(Only({"write"}).empty());
    player->length = 12000;
    Raise(PlayerEvent::kTitleChanged);
    EXPECT_FALSE(session->IsDiscMenuShown());
    for (const int64_t t : {0, 300, 600, 1600}) {
        player->time = t;
        session->Sync().OnTick();
    }
    EXPECT_EQ(Only({"write", "view no disc menu", "view heat"}),
              (std::vector<std::string>{"view no disc menu", "view heat 3 lines over 12000",
                                        "write 01 01 0a", "write 01 01 14"}));
    session->NavigateMenu(MenuStep::kDown);
    EXPECT_TRUE(Only({"player navigate"}).empty());

    // Back to the menu at the title's end, moving: one stop packet, and nothing more while
    // the menu shows.
    journal.events.clear();
    player->ChangeTitle(DiscPlace::kMenu);
    player->time = 2600;
    session->Sync().OnTick();
    player->length = 4000;
    Raise(PlayerEvent::kTitleChanged);
    Raise(PlayerEvent::kLengthChanged);
    for (const int64_t t : {0, 600, 2600}) {
        player->time = t;
        session->Sync().OnTick();
    }
    EXPECT_EQ(Only({"write", "view disc menu", "view no heat", "view heat"}),
              (std::vector<std::string>{"view no heat", "view disc menu", kStop, "view no heat"}));

    // The title again: its script from the first line.
    journal.events.clear();
    player->ChangeTitle(DiscPlace::kTitle);
    player->time = 0;
    Raise(PlayerEvent::kTitleChanged);
    for (const int64_t t : {0, 600, 1600}) {
        player->time = t;
        session->Sync().OnTick();
    }
    EXPECT_EQ(Only({"write"}), (std::vector<std::string>{"write 01 01 0a", "write 01 01 14"}));

    // Stopped, the next media starts outside any menu.
    player->state = PlayerState::kStopped;
    Raise(PlayerEvent::kStopped);
    EXPECT_FALSE(session->IsDiscMenuShown());
    EXPECT_EQ(Logged("DVDメニュー表示"), 2);
    EXPECT_EQ(Logged("DVDタイトル開始"), 2);
}

// Recording while a video plays: the device follows the pointer at once instead of the script;
// R again saves the stretch, 200 ms earlier, over the play file loaded before (the rest of it
// kept) beside the video, and loads it. The next recording goes to the next free name, a seek
// ends one, and without a playing video a box says when recording works.
TEST_F(PlaybackSessionTest, RecordingFollowsThePointerLiveAndSavesOverTheLoadedPlayFile) {
    session->SetAuthoringSettings({.reactionMs = 200, .rightDirection = 0});
    PlayWithScript(1000, "10,1,50\n50,0,30\n");
    session->ToggleRecording();
    EXPECT_TRUE(session->IsRecording());
    player->time = 1500;
    session->Sync().OnTick();  // the script's line at 1 s does not go out
    player->time = 2000;
    session->PointerOverVideo(900, 1000);  // right of the middle: 78
    session->PointerOverVideo(901, 1000);  // the same speed: nothing new
    player->time = 3000;
    session->PointerOverVideo(100, 1000);  // left: 78 the other way
    player->time = 4000;
    session->PointerOverVideo(500, 1000);  // the middle: stop
    player->time = 4500;
    session->ToggleRecording();
    EXPECT_FALSE(session->IsRecording());
    // The device takes each command as it is given (the window shows it after).
    EXPECT_EQ(Only({"write", "view recording", "view not recording"}),
              (std::vector<std::string>{kStop, "view recording 0", "write 01 01 4e",
                                        "view recording 78", "write 01 01 ce", "view recording 206",
                                        kStop, "view recording 0", kStop, "view not recording"}));
    EXPECT_EQ(testing_support::ReadFile(dir / "clip.csv"),
              "18,0,78\n28,1,78\n38,0,0\n43,1,50\n50,0,30\n");
    ASSERT_NE(session->Sync().Lines(), nullptr);
    EXPECT_EQ(session->Sync().Lines()->size(), 5u);
    EXPECT_EQ(Logged("プレイファイル記録開始"), 1);
    EXPECT_EQ(Logged("プレイファイル記録終了"), 1);
    EXPECT_EQ(Logged("プレイファイル保存：clip.csv"), 1);
    // The script drives the device again: the line in force at 4.6 s.
    journal.events.clear();
    player->time = 4600;
    session->Sync().OnTick();
    EXPECT_EQ(Only({"write"}), (std::vector<std::string>{"write 01 01 b2"}));

    // A seek ends the next recording, which goes to the next free name.
    session->ToggleRecording();
    player->time = 5000;
    session->PointerOverVideo(1000, 1000);
    player->time = 6000;
    session->SeekBy(5000);
    EXPECT_FALSE(session->IsRecording());
    EXPECT_EQ(testing_support::ReadFile(dir / "clip (2).csv"),
              "18,0,78\n28,1,78\n38,0,0\n43,1,50\n44,0,0\n48,0,100\n58,0,30\n");

    player->state = PlayerState::kPaused;
    session->ToggleRecording();
    EXPECT_FALSE(session->IsRecording());
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].second, "プレイファイル記録");
}

}  // namespace
