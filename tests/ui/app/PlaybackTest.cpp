// The playback commands and player events of the main window, on real libvlc playback of
// generated media.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <string>
#include <utility>

#include "device/UsbDongle.h"
#include "panels/BottomDlg.h"
#include "panels/BottomMainDlg.h"
#include "panels/TopDlg.h"
#include "player/AdjustedPlayer.h"
#include "player/PlaybackMath.h"
#include "sync/SyncDriver.h"
#include "ui/app/MainWindowFixture.h"
#include "ui/app/MessageWatch.h"
#include "widgets/BitmapSlider.h"

namespace {

class PlaybackTest : public MainWindowTest {
protected:
    CBottomMainDlg& Bar() { return *window->BottomPanel()->Bar(); }
    QString Title() { return window->TopPanel()->Title(); }

    // Runs the open-video command and answers its file dialog as a user would.
    void OpenThroughDialog(const QString& path) {
        FileDialogAnswer answer(path);
        emit window->BottomPanel()->Bar()->OpenVideoClicked();
        // The dialog lives on the stack of the window's handler: gone means the handler is done.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return answer.answered && QApplication::activeModalWidget() == nullptr; },
            30000));
        EXPECT_EQ(answer.caption, QStringLiteral("動画を開く"));
    }

    bool WaitForState(PlayerState state, int ms = 30000) {
        return QTest::qWaitFor([&] { return window->Session().Player().GetState() == state; }, ms);
    }

    void PlayAndWait() {
        emit window->BottomPanel()->Bar()->PlayClicked();
        ASSERT_TRUE(WaitForState(PlayerState::kPlaying));
        // The playing event reaches the window through the queue.
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->Session().IsSyncTicking(); }, 30000));
    }

    int Count(const std::string& message) {
        const auto lines = LogLines();
        return static_cast<int>(std::count_if(
            lines.begin(), lines.end(), [&](const auto& l) { return l.ends_with("," + message); }));
    }
};

TEST_F(PlaybackTest, OpensAVideoThroughTheDialogAndShowsItsPictureInTheWindow) {
    CKestruneDlg& dlg = OpenShown();
    OpenThroughDialog(Media("clip.mp4"));
    EXPECT_EQ(Title(), QStringLiteral("clip.mp4"));
    EXPECT_EQ(Count("動画ファイル選択：clip.mp4"), 1);
    EXPECT_EQ(Bar().ElapsedText(), QStringLiteral("00:00:00"));
    EXPECT_EQ(dlg.Session().Player().GetState(),
              PlayerState::kNothingSpecial);  // loaded, not started

    PlayAndWait();
    EXPECT_EQ(Title(), QStringLiteral("clip.mp4"));

    // The video host shows the test pattern: many colours, not the black of an empty host.
    // The host's own window is grabbed: other tests' windows may lie over it on the screen.
    const auto colourful = [&] {
        const QImage picture = dlg.screen()->grabWindow(dlg.VideoHost()->winId()).toImage();
        int count = 0;
        for (int y = 0; y < picture.height(); y += 8) {
            for (int x = 0; x < picture.width(); x += 8) {
                const QColor c = picture.pixelColor(x, y);
                count += std::max({c.red(), c.green(), c.blue()}) -
                             std::min({c.red(), c.green(), c.blue()}) >
                         60;
            }
        }
        return count;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return colourful() > 50; }, 30000))
        << "no picture in the video host: " << colourful() << " colourful samples";
    dlg.screen()->grabWindow(0).save(QString::fromUtf8(KESTRUNE_BINARY_DIR) +
                                     "/playback-screenshot.png");

    // Time labels and counter follow the playback.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Bar().TotalText() == "00:00:20"; }, 30000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Bar().ElapsedText() != "00:00:00"; }, 30000));
    EXPECT_NE(Bar().CounterLabelText(), QStringLiteral("000000"));
    EXPECT_GT(Bar().MediaPosition(), 0);

    // Every event but time changes is logged with its libvlc name.
    EXPECT_EQ(Count("MediaPlayerOpening"), 1);
    EXPECT_EQ(Count("MediaPlayerPlaying"), 1);
    EXPECT_GE(Count("MediaPlayerLengthChanged"), 1);
    EXPECT_EQ(Count("MediaPlayerTimeChanged"), 0);
    EXPECT_TRUE(dlg.Session().Sync().IsMediaReady());
}

TEST_F(PlaybackTest, TheBarsButtonsDrivePlayback) {
    CKestruneDlg& dlg = OpenShown();
    dlg.OpenVideoFile(Media("clip.mp4"));
    const auto click = [&](int id) { QTest::mouseClick(Bar().Control(id), Qt::LeftButton); };
    QSignalSpy muted(&Bar(), &CBottomMainDlg::MuteClicked);
    click(CBottomMainDlg::IDC_PLAY);
    ASSERT_TRUE(WaitForState(PlayerState::kPlaying));
    click(CBottomMainDlg::IDC_PAUSE);
    ASSERT_TRUE(WaitForState(PlayerState::kPaused));
    click(CBottomMainDlg::IDC_REPEAT);
    click(CBottomMainDlg::IDC_VOLUME);
    // The bar's commands are taken after the click's event; the session has both once the
    // mute toggle it asked for is in. (What repeat and full screen then do to the window and
    // its panels is checked by TheEndResetsTheDisplayOnceOrRepeats, KestruneDlgTest's
    // full-screen round trip and the end-to-end stories.)
    ASSERT_EQ(muted.count(), 1);
    Settle();
    EXPECT_EQ(dlg.Session().IsMuted(), Bar().MuteShown());
    click(CBottomMainDlg::IDC_MAXIMIZE);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.IsMaximised(); }, 10000));
    for (const char* line :
         {"再生ボタンクリック", "一時停止ボタンクリック", "リピートボタンクリック",
          "音量ボタンクリック", "最大化ボタンクリック"}) {
        EXPECT_EQ(Count(line), 1) << line;
    }
}

TEST_F(PlaybackTest, PauseStopsTheSyncTimerAndOnlyPlayResumes) {
    CKestruneDlg& dlg = OpenShown();
    dlg.OpenVideoFile(Media("clip.mp4"));
    PlayAndWait();
    emit dlg.BottomPanel()->Bar()->PauseClicked();
    ASSERT_TRUE(WaitForState(PlayerState::kPaused));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.Session().IsSyncTicking(); }, 30000));
    EXPECT_EQ(Count("USBドングルへ一時停止コマンド送信"), 1);

    emit dlg.BottomPanel()->Bar()->PauseClicked();  // a second pause must not resume
    QTest::qWait(300);  // a resume, if any, shows within this (a late one would only be missed)
    EXPECT_EQ(dlg.Session().Player().GetState(), PlayerState::kPaused);

    PlayAndWait();
    EXPECT_EQ(Count("USBドングルへ再生コマンド送信"), 2);
}

TEST_F(PlaybackTest, TheEndResetsTheDisplayOnceOrRepeats) {
    CKestruneDlg& dlg = OpenShown();
    dlg.OpenVideoFile(Media("short.mp4"));
    PlayAndWait();
    const auto ended = [&] { return Count("MediaPlayerEndReached"); };
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Count("MediaPlayerStopped") == 1 && ended() >= 1; }, 30000));
    QTest::qWait(300);  // a second end, if any, comes within this
    EXPECT_EQ(ended(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.Session().IsSyncTicking(); }, 30000));
    EXPECT_EQ(Bar().ElapsedText(), QStringLiteral("00:00:00"));
    EXPECT_EQ(Bar().TotalText(), QStringLiteral("00:00:00"));
    EXPECT_EQ(Bar().CounterLabelText(), QStringLiteral("000000"));
    EXPECT_EQ(Count("リピート再生"), 0);

    emit dlg.BottomPanel()->Bar()->RepeatClicked();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.Session().IsRepeat(); }, 10000));
    EXPECT_TRUE(Bar().RepeatShown());
    PlayAndWait();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Count("リピート再生") == 1; }, 30000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Count("MediaPlayerPlaying") == 3; }, 30000));
}

TEST_F(PlaybackTest, AnUnplayableFileShowsTheOpeningTitleThenTheErrorBox) {
    CKestruneDlg& dlg = OpenShown();
    dlg.OpenVideoFile(Media("not-a-video.mp4"));
    // The title each message finds: what the one before left, however quickly they come.
    QStringList titles;
    MessageWatch watch(&dlg, [&] {
        if (titles.isEmpty() || titles.back() != Title()) titles.push_back(Title());
    });
    emit dlg.BottomPanel()->Bar()->PlayClicked();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Shown().empty(); }, 30000));
    QTest::qWait(100);  // a second box, if any, comes within this
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].first, "メディアが再生できません。メディアを確認して下さい。");
    EXPECT_EQ(boxes.Shown()[0].second, "再生エラー");
    EXPECT_TRUE(titles.contains(QStringLiteral("not-a-video.mp4(メディアを開いています...)")));
    EXPECT_EQ(Title(), QStringLiteral("not-a-video.mp4"));
    EXPECT_FALSE(dlg.Session().IsOpening());
    // Not playing: nothing was sent towards the device.
    EXPECT_EQ(Count("USBドングルへ再生コマンド送信"), 0);
}

// Fast forward and rewind step from where the hold started, 1 s a step at first, whatever
// libvlc reports while paused (on a busy machine it read 0 there, and fast forward went back to
// the start). The clock reads each step's target exactly; the test finds how many steps were
// taken rather than bound how many a busy machine lets happen in a given time.
TEST_F(PlaybackTest, SliderAndHeldFastForwardSeek) {
    CKestruneDlg& dlg = OpenShown();
    dlg.OpenVideoFile(Media("clip.mp4"));
    PlayAndWait();
    const int64_t length = dlg.Session().Player().GetLength();
    emit dlg.BottomPanel()->Bar()->SeekMoved(50);
    const int64_t middle = length / 100 * 50;
    // The clock reads the target at once; libvlc takes the seek asynchronously.
    const auto reported = [&] { return dlg.Session().Player().GetReportedTime(); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::abs(reported() - middle) < 1000; }, 30000));

    // Where `steps` steps forward from `from` go.
    const auto afterSteps = [&](int64_t from, int steps) {
        for (int step = 1; step <= steps; ++step) {
            from = HoldSeekTarget(from, HoldStep(200 * step), length, true);
        }
        return from;
    };

    // Held while paused: the steps land exactly, and the video stays paused.
    emit dlg.BottomPanel()->Bar()->PauseClicked();
    ASSERT_TRUE(WaitForState(PlayerState::kPaused));
    const int64_t start = dlg.Session().Player().GetTime();
    emit dlg.BottomPanel()->Bar()->ForwardHeld(true);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dlg.Session().Player().GetTime() >= afterSteps(start, 3); }, 30000));
    emit dlg.BottomPanel()->Bar()->ForwardHeld(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.IsTimerActive(SessionTimer::kForward); }, 30000));
    QCoreApplication::processEvents();  // a step posted before the release
    const int64_t reached = dlg.Session().Player().GetTime();
    int taken = 0;
    while (afterSteps(start, taken) < reached && taken < 100) ++taken;
    EXPECT_EQ(reached, afterSteps(start, taken)) << taken << " steps from " << start;
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::abs(reported() - reached) < 500; }, 30000))
        << "libvlc at " << reported() << ", the steps went to " << reached;
    EXPECT_EQ(dlg.Session().Player().GetState(), PlayerState::kPaused);

    // Held while playing: the video pauses for the hold and plays on from where it went.
    emit dlg.BottomPanel()->Bar()->PlayClicked();
    ASSERT_TRUE(WaitForState(PlayerState::kPlaying));
    const int64_t before = dlg.Session().Player().GetTime();
    emit dlg.BottomPanel()->Bar()->ForwardHeld(true);
    ASSERT_TRUE(WaitForState(PlayerState::kPaused));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return dlg.Session().Player().GetTime() >= before + 2000; }, 30000));
    const int64_t held = dlg.Session().Player().GetTime();
    emit dlg.BottomPanel()->Bar()->ForwardHeld(false);
    ASSERT_TRUE(WaitForState(PlayerState::kPlaying));
    EXPECT_FALSE(dlg.IsTimerActive(SessionTimer::kForward));
    EXPECT_GE(dlg.Session().Player().GetTime(), held);

    // Rewinding far stops at the start.
    emit dlg.BottomPanel()->Bar()->RewindHeld(true);
    ASSERT_TRUE(WaitForState(PlayerState::kPaused));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.Session().Player().GetTime() == 0; }, 30000))
        << dlg.Session().Player().GetTime();
    emit dlg.BottomPanel()->Bar()->RewindHeld(false);
    ASSERT_TRUE(WaitForState(PlayerState::kPlaying));
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::abs(reported()) < 2000; }, 30000));
}

// Records the seek slider's position and the counter's text every few milliseconds while the
// event loop runs.
class BarSampler {
public:
    explicit BarSampler(CBottomMainDlg& bar) {
        auto* slider = static_cast<CBitmapSlider*>(bar.Control(CBottomMainDlg::IDC_SEEK_SLIDER));
        QObject::connect(&timer_, &QTimer::timeout, [this, slider, &bar] {
            positions.push_back(slider->GetPosition());
            if (counters.isEmpty() || counters.back() != bar.CounterLabelText()) {
                counters.push_back(bar.CounterLabelText());
            }
        });
        timer_.start(5);
    }

    std::vector<int> positions;
    QStringList counters;

private:
    QTimer timer_;
};

// The user drags the seek slider's thumb to the middle and holds it there while the video
// plays on: the time display keeps refreshing, and the thumb stays under the pointer. After
// the release the display takes over from there, and the thumb never goes back.
TEST_F(PlaybackTest, AHeldSeekThumbStaysUnderThePointerAndRunsOnFromThereOnRelease) {
    CKestruneDlg& dlg = OpenShown();
    dlg.OpenVideoFile(Media("clip.mp4"));
    PlayAndWait();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Bar().MediaPosition() >= 1; }, 30000));
    auto* slider = static_cast<CBitmapSlider*>(Bar().Control(CBottomMainDlg::IDC_SEEK_SLIDER));
    const QPoint middle(slider->width() / 2, slider->height() / 2);
    QTest::mousePress(slider, Qt::LeftButton, {}, middle - QPoint(30, 0));
    QTest::mouseMove(slider, middle);
    const int held = slider->GetPosition();
    ASSERT_GT(held, 40);
    ASSERT_LT(held, 60);
    const QImage heldPicture = slider->grab().toImage();
    const int64_t target = dlg.Session().Player().GetLength() / 100 * held;
    const auto played = [&](int64_t ms) {
        return dlg.Session().Player().GetReportedTime() >= target + ms;
    };
    {
        BarSampler sampler(Bar());
        // The display refreshes while held: the counter shows three values in turn.
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return played(1000) && sampler.counters.size() >= 3; }, 30000))
            << "the display was not refreshed while held: " << sampler.counters.size()
            << " counter values";
        EXPECT_EQ(std::count(sampler.positions.begin(), sampler.positions.end(), held),
                  static_cast<long>(sampler.positions.size()))
            << "the thumb left the pointer";
        EXPECT_EQ(slider->grab().toImage(), heldPicture);
    }
    QTest::mouseRelease(slider, Qt::LeftButton, {}, middle);
    const int released = slider->GetPosition();
    EXPECT_EQ(released, held);
    BarSampler sampler(Bar());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return played(2500) && !sampler.positions.empty() &&
                   sampler.positions.back() > released;
        },
        30000));
    EXPECT_GE(*std::min_element(sampler.positions.begin(), sampler.positions.end()), released)
        << "the thumb went back after the release";
    EXPECT_GT(sampler.positions.back(), released);
}

TEST_F(PlaybackTest, VolumeIsAppliedOnceAudioIsUpAndMuteFollowsThePlayer) {
    CKestruneDlg& dlg = OpenShown();
    dlg.OpenVideoFile(Media("clip.mp4"));
    PlayAndWait();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Count("音量初期化") == 1; }, 30000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.Session().Player().GetVolume() == 50; }, 30000));

    emit dlg.BottomPanel()->Bar()->MuteClicked();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.Session().Player().IsMuted(); }, 10000));
    EXPECT_TRUE(dlg.Session().IsMuted());
    EXPECT_TRUE(Bar().MuteShown());

    emit dlg.BottomPanel()->Bar()->VolumeMoved();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.Session().Player().IsMuted(); }, 10000));
    EXPECT_FALSE(dlg.Session().IsMuted());
    EXPECT_EQ(Count("音量初期化"), 1);
}

TEST_F(PlaybackTest, OpeningAnotherVideoStopsTheFirstAndWaitsForPlay) {
    CKestruneDlg& dlg = OpenShown();
    dlg.OpenVideoFile(Media("clip.mp4"));
    PlayAndWait();
    dlg.OpenVideoFile(Media("clip.mkv"));
    QTest::qWait(500);  // playback that started by itself would show within this
    EXPECT_NE(dlg.Session().Player().GetState(), PlayerState::kPlaying);
    EXPECT_EQ(Title(), QStringLiteral("clip.mkv"));
    EXPECT_EQ(Bar().ElapsedText(), QStringLiteral("00:00:00"));
    EXPECT_FALSE(dlg.Session().IsSyncTicking());
}

TEST_F(PlaybackTest, WithoutAPlaybackEngineTheWindowSaysSoAndStaysUsable) {
    window = std::make_unique<CKestruneDlg>(
        boxes, nullptr, std::make_unique<AdjustedPlayer>(std::vector<const char*>{"--bad"}));
    CKestruneDlg& dlg = *window;
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].first,
              "再生エンジンを起動できません。VLCのインストールを確認して下さい。");
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    dlg.OpenVideoFile(Media("clip.mp4"));
    emit Bar().PlayClicked();
    emit Bar().PauseClicked();
    emit Bar().MuteClicked();
    emit Bar().VolumeMoved();
    emit Bar().ForwardHeld(true);
    emit Bar().ForwardHeld(false);
    emit Bar().SeekMoved(50);
    dlg.Post([&dlg] { dlg.Session().OnPlayerEvent(PlayerEvent::kEndReached); });
    // All handled, and what they posted in turn (the seek, the end).
    bool done = false;
    dlg.Post([&] { dlg.Post([&] { done = true; }); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
    // Without an audio output the player reads as muted, so the toggle turns mute off.
    EXPECT_FALSE(dlg.Session().IsMuted());
    EXPECT_EQ(dlg.Session().Player().GetState(), PlayerState::kNothingSpecial);
    EXPECT_EQ(Title(), QStringLiteral("clip.mp4"));
    dlg.close();
    EXPECT_EQ(Count("USBドングルへ停止コマンド送信"), 1);
}

}  // namespace
