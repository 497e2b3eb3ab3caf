// The main window's keys, the mouse over the video and files dropped onto it, on the real
// window with real libvlc playback: each key leaves the same trace as the control of the bar
// it stands for, whichever child has the focus.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenuBar>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <string>

#include "panels/BottomDlg.h"
#include "panels/BottomMainDlg.h"
#include "panels/OverlayText.h"
#include "panels/TopDlg.h"
#include "sync/PlayScript.h"
#include "sync/SyncDriver.h"
#include "ui/app/MainWindowFixture.h"
#include "widgets/BitmapSlider.h"

namespace {

class InputTest : public MainWindowTest {
protected:
    CBottomMainDlg& Bar() { return *window->BottomPanel()->Bar(); }

    int Count(const std::string& message) const {
        const auto lines = LogLines();
        return static_cast<int>(std::count_if(
            lines.begin(), lines.end(), [&](const auto& l) { return l.ends_with("," + message); }));
    }
    bool WaitForCount(const std::string& message, int count) const {
        return QTest::qWaitFor([&] { return Count(message) == count; }, 30000);
    }
    bool WaitForState(PlayerState state) {
        return QTest::qWaitFor([&] { return window->Session().Player().GetState() == state; },
                               30000);
    }

    // Drops local files onto `target` as a file manager does: enter, then drop.
    void Drop(QWidget* target, const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) urls.append(QUrl::fromLocalFile(path));
        data.setUrls(urls);
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        EXPECT_TRUE(drop.isAccepted());
    }

    void Wheel(QWidget* target, int delta) {
        const QPointF at = QPointF(target->rect().center());
        QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &wheel);
    }
};

TEST_F(InputTest, KeysGoThroughTheBarsControlsWhicheverChildHasTheFocus) {
    CKestruneDlg& dlg = OpenShown();
    dlg.OpenVideoFile(Media("clip.mp4"));
    QWidget* video = dlg.VideoHost();
    QWidget* menu = dlg.MenuBar();

    QTest::keyClick(video, Qt::Key_Space);
    ASSERT_TRUE(WaitForState(PlayerState::kPlaying));
    QTest::keyClick(menu, Qt::Key_Space);
    ASSERT_TRUE(WaitForState(PlayerState::kPaused));
    EXPECT_EQ(Count("再生ボタンクリック"), 1);
    EXPECT_EQ(Count("一時停止ボタンクリック"), 1);

    // Right then Left from a paused 2 s: 7 s, then 2 s again; Left at the start stays at 0.
    dlg.Session().Player().SetTime(2000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.Session().Player().GetTime() >= 1500; }, 30000));
    const int64_t from = dlg.Session().Player().GetTime();
    QTest::keyClick(video, Qt::Key_Right);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return dlg.Session().Player().GetTime() >= from + 4500; }, 30000))
        << dlg.Session().Player().GetTime();
    QTest::keyClick(&dlg, Qt::Key_Left);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return dlg.Session().Player().GetTime() <= from + 500; }, 30000))
        << dlg.Session().Player().GetTime();
    EXPECT_TRUE(WaitForCount("メディアスライダー移動", 2));

    const int volume = Bar().GetVolume();
    QTest::keyClick(video, Qt::Key_Up);
    QTest::keyClick(video, Qt::Key_Up);
    QTest::keyClick(menu, Qt::Key_Down);
    EXPECT_EQ(Bar().GetVolume(), volume + 5);
    EXPECT_TRUE(WaitForCount("音量スライダー移動", 3));

    QTest::keyClick(video, Qt::Key_M);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.Session().IsMuted(); }, 10000));
    EXPECT_EQ(Count("音量ボタンクリック"), 1);

    QTest::keyClick(video, Qt::Key_F);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.IsMaximised(); }, 10000));
    QTest::keyClick(video, Qt::Key_F);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg.IsMaximised(); }, 10000));
    EXPECT_EQ(Count("最大化ボタンクリック"), 2);

    // With Control the keys are the desktop's and the menus'.
    QTest::keyClick(video, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClick(video, Qt::Key_Space, Qt::ControlModifier);
    QTest::qWait(100);  // what the keys would post is handled within this
    EXPECT_FALSE(dlg.IsMaximised());
    EXPECT_EQ(Count("再生ボタンクリック"), 1);
}

TEST_F(InputTest, BracketKeysMoveTheOffsetShowItAndLogEachChange) {
    CKestruneDlg& dlg = OpenShown();
    for (int i = 0; i < 3; ++i) QTest::keyClick(dlg.VideoHost(), Qt::Key_BracketRight);
    EXPECT_EQ(dlg.Session().Sync().OffsetMs(), 150);
    ASSERT_TRUE(dlg.Overlay()->isVisible());
    EXPECT_EQ(dlg.Overlay()->Text(), QStringLiteral("オフセット +150 ms"));
    // Shift with "[" arrives as "{" on most layouts, or as "[" with Shift.
    QTest::keyClick(&dlg, Qt::Key_BraceLeft, Qt::ShiftModifier);
    QTest::keyClick(&dlg, Qt::Key_BracketLeft, Qt::ShiftModifier);
    EXPECT_EQ(dlg.Session().Sync().OffsetMs(), 130);
    for (int i = 0; i < 200; ++i) QTest::keyClick(&dlg, Qt::Key_BracketLeft);
    EXPECT_EQ(dlg.Session().Sync().OffsetMs(), -5000);
    EXPECT_EQ(dlg.Overlay()->Text(), QStringLiteral("オフセット -5000 ms"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg.Overlay()->isVisible(); }, 10000));

    EXPECT_EQ(Count("同期オフセット変更：+50 ms"), 1);
    EXPECT_EQ(Count("同期オフセット変更：+150 ms"), 1);
    EXPECT_EQ(Count("同期オフセット変更：+130 ms"), 1);
    EXPECT_EQ(Count("同期オフセット変更：-5000 ms"), 1);  // not again once at the limit
}

TEST_F(InputTest, ADoubleClickOnTheVideoTogglesFullScreenAndTheWheelSetsTheVolume) {
    CKestruneDlg& dlg = OpenShown();
    QWidget* video = dlg.VideoHost();
    QTest::mouseDClick(video, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.IsMaximised(); }, 10000));
    QTest::mouseDClick(video, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg.IsMaximised(); }, 10000));
    EXPECT_TRUE(WaitForCount("最大化ボタンクリック", 2));

    const int volume = Bar().GetVolume();
    Wheel(video, 240);
    EXPECT_EQ(Bar().GetVolume(), volume + 10);
    // A smooth wheel's small steps add up to notches.
    Wheel(video, -60);
    EXPECT_EQ(Bar().GetVolume(), volume + 10);
    Wheel(video, -60);
    EXPECT_EQ(Bar().GetVolume(), volume + 5);
    EXPECT_TRUE(WaitForCount("音量スライダー移動", 3));
}

TEST_F(InputTest, DropsOpenWhatTheButtonsWouldAndARefusedDropStopsNothing) {
    CKestruneDlg& dlg = OpenShown();
    testing_support::WriteFile(dir / "script.csv", "0,1,50\n10,0,30\n");
    testing_support::WriteFile(dir / "picture.png", "x");
    // Onto the bar: the panels' drops are the main window's.
    Drop(Bar().window(), {QString::fromStdString(dir / "script.csv"), Media("clip.mp4")});
    ASSERT_TRUE(WaitForCount("動画ファイル選択：clip.mp4", 1));
    EXPECT_EQ(dlg.TopPanel()->Title(), QStringLiteral("clip.mp4"));
    ASSERT_NE(dlg.Session().Sync().Lines(), nullptr);
    EXPECT_EQ(dlg.Session().Sync().Lines()->size(), 2u);

    QTest::keyClick(dlg.VideoHost(), Qt::Key_Space);
    ASSERT_TRUE(WaitForState(PlayerState::kPlaying));
    // With the script and the media's length known, the seek bar shows the script's heat.
    const auto* seek = qobject_cast<CBitmapSlider*>(Bar().Control(CBottomMainDlg::IDC_SEEK_SLIDER));
    ASSERT_NE(seek, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return seek->HasHeat(); }, 30000));
    Drop(dlg.VideoHost(), {QString::fromStdString(dir / "picture.png")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Shown().empty(); }, 10000));
    EXPECT_EQ(boxes.Shown().front().second, "ファイルのドロップ");
    EXPECT_EQ(Count("ドロップされたファイルを開けません：" + (dir / "picture.png")), 1);
    EXPECT_EQ(dlg.Session().Player().GetState(), PlayerState::kPlaying);
    EXPECT_EQ(dlg.Session().Sync().Lines()->size(), 2u);
    EXPECT_EQ(Count("USBドングルへ停止コマンド送信"), 0);
    EXPECT_TRUE(seek->HasHeat());
}

}  // namespace
