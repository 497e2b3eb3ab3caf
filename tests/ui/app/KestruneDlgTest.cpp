#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AccessDeniedText.h"
#include "app/KestruneDlg.h"
#include "configuration/IniLocation.h"
#include "device/UsbDongle.h"
#include "dialogs/DebugDlg.h"
#include "panels/BottomDlg.h"
#include "panels/BottomMainDlg.h"
#include "panels/PanelGeometry.h"
#include "panels/TopDlg.h"
#include "platform/DeviceAccess.h"
#include "support/FreshPty.h"
#include "support/TestSupport.h"
#include "support/UserAccess.h"
#include "sync/SyncDriver.h"
#include "ui/app/MainWindowFixture.h"

namespace {

using KestruneDlgTest = MainWindowTest;

TEST(VideoHost, TakesTheClientAreaLessTheBarHeight) {
    EXPECT_EQ(VideoHostRect(800, 600), QRect(0, 0, 800, 562));
    EXPECT_EQ(VideoHostRect(1280, 1024, 20), QRect(0, 20, 1280, 986));
}

TEST_F(KestruneDlgTest, StartsWithTitleLogAndNoBoxes) {
    CKestruneDlg& dlg = Open();
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("QUAMBERPlayer"));
    EXPECT_TRUE(dlg.GetOperationLog().IsOpen());
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_EQ(dlg.GetOperationLog().Path().rfind(dir / "share/QUAMBERPlayer/log/log_", 0), 0u);
}

TEST_F(KestruneDlgTest, VideoHostFollowsTheClientSize) {
    CKestruneDlg& dlg = OpenShown();
    dlg.resize(900, 700);
    // The window system answers the resize in its own time; the layout follows it.
    const auto hostRect = [&] {
        const int menu = dlg.MenuBar()->height();
        return QRect(0, menu, 900, 700 - menu - 38);
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.VideoHost()->geometry() == hostRect(); }, 10000));
    const int menu = dlg.MenuBar()->height();
    EXPECT_GT(menu, 10);
    EXPECT_EQ(dlg.MenuBar()->geometry(), QRect(0, 0, 900, menu));
    EXPECT_EQ(dlg.VideoHost()->geometry(), QRect(0, menu, 900, 700 - menu - 38));
    EXPECT_TRUE(dlg.VideoHost()->isVisible());
    EXPECT_NE(dlg.VideoHost()->winId(), 0u);
}

TEST_F(KestruneDlgTest, CannotBeMadeSmallerThanItsStartSize) {
    CKestruneDlg& dlg = OpenShown();
    const QSize start = dlg.MinimumTrackSize();
    EXPECT_GT(start.width(), 300);
    EXPECT_GT(start.height(), 300);
    dlg.resize(100, 100);
    QTest::qWait(50);  // a smaller size, if the window took one, shows within this
    EXPECT_EQ(dlg.size(), start);
}

TEST_F(KestruneDlgTest, EscapeAndEnterDoNotCloseTheWindow) {
    CKestruneDlg& dlg = OpenShown();
    for (const auto key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(&dlg, key);
        QTest::keyClick(dlg.VideoHost(), key);
    }
    QTest::qWait(50);  // what the keys would post is handled within this
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(dlg.IsMaximised());
    EXPECT_FALSE(LogHas("USBドングルへ停止コマンド送信"));
}

TEST_F(KestruneDlgTest, FullScreenRoundTripThroughButtonAndEscape) {
    CKestruneDlg& dlg = OpenShown();
    const QRect framed = dlg.geometry();
    const QRect screen = dlg.screen()->geometry();

    dlg.BottomPanel()->GetMaximizeButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.IsMaximised(); }, 10000));
    // The window system answers the new geometry in its own time.
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.geometry() == screen; }, 10000));
    EXPECT_EQ(dlg.geometry(), screen);
    EXPECT_FALSE(dlg.TopPanel()->isVisible());
    EXPECT_FALSE(dlg.BottomPanel()->IsExpanded());
    EXPECT_EQ(dlg.BottomPanel()->geometry(),
              QRect(dlg.mapToGlobal(QPoint(0, dlg.height() - 38)), QSize(dlg.width(), 38)));
    EXPECT_EQ(dlg.BottomPanel()->height(), 38);
    const int menu = dlg.MenuBar()->height();
    EXPECT_EQ(dlg.VideoHost()->geometry(),
              QRect(0, menu, screen.width(), screen.height() - menu - 38));

    QTest::keyClick(&dlg, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.IsMaximised(); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.geometry() == framed; }, 10000));
    EXPECT_EQ(dlg.geometry(), framed);
    EXPECT_TRUE(dlg.TopPanel()->isVisible());
    EXPECT_TRUE(dlg.BottomPanel()->IsExpanded());
    EXPECT_EQ(dlg.BottomPanel()->geometry(),
              QRect(dlg.mapToGlobal(QPoint(0, dlg.height() - 101)), QSize(dlg.width(), 101)));
    EXPECT_EQ(dlg.BottomPanel()->height(), 101);

    int clicks = 0;
    for (const auto& line : LogLines()) clicks += line.ends_with(",最大化ボタンクリック");
    EXPECT_EQ(clicks, 2);  // once by the button, once by Escape
}

// Both clicks are taken before the first switch they ask for: the window must end up in full
// screen once, with the bar's layout switched once.
TEST_F(KestruneDlgTest, TwoQuickFullScreenClicksSwitchOnce) {
    CKestruneDlg& dlg = OpenShown();
    emit dlg.BottomPanel()->Bar()->FullScreenClicked();
    emit dlg.BottomPanel()->Bar()->FullScreenClicked();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.IsMaximised(); }, 10000));
    QTest::qWait(100);  // a further switch, if any, comes within this
    EXPECT_TRUE(dlg.IsMaximised());
    EXPECT_FALSE(dlg.BottomPanel()->IsExpanded());
}

TEST_F(KestruneDlgTest, PanelsFollowTheWindowWhenItMovesAndResizes) {
    CKestruneDlg& dlg = OpenShown();
    const QPoint moved = dlg.pos() + QPoint(37, 23);
    dlg.move(moved);
    // The window system answers the move in its own time; the panels follow it.
    const auto client = [&] {
        const int menu = dlg.MenuBar()->height();
        return QRect(dlg.mapToGlobal(QPoint(0, menu)), dlg.size() - QSize(0, menu));
    };
    const auto top = [&] { return QRect(client().topLeft(), QSize(client().width(), 30)); };
    const auto bottom = [&] {
        return QRect(client().left(), client().bottom() - 100, client().width(), 101);
    };
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return dlg.pos() == moved && dlg.TopPanel()->geometry() == top() &&
                   dlg.BottomPanel()->geometry() == bottom();
        },
        10000));
    EXPECT_EQ(dlg.TopPanel()->geometry(), top());
    EXPECT_EQ(dlg.BottomPanel()->geometry(), bottom());
    const QSize larger = dlg.size() + QSize(50, 20);
    dlg.resize(larger);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return dlg.size() == larger && dlg.BottomPanel()->width() == larger.width(); },
        10000));
    EXPECT_EQ(dlg.BottomPanel()->width(), dlg.width());
    EXPECT_EQ(dlg.BottomPanel()->Bar()->geometry(), dlg.BottomPanel()->geometry());
}

TEST_F(KestruneDlgTest, DebugWindowExistsOnlyWithANonZeroLevel) {
    struct Case {
        const char* ini;
        bool visible;
        bool messages;
    } cases[] = {{"", false, false},
                 {"[debug]\nlog_level=0\n", false, false},
                 {"[DEBUG]\nLOG_LEVEL=1\n", true, false},
                 {"[DEBUG]\nLOG_LEVEL = 2\n", true, true}};
    for (const auto& c : cases) {
        WriteIni(c.ini);
        CKestruneDlg& dlg = Open();
        auto* debug = dynamic_cast<CDebugDlg*>(dlg.GetLogger());
        ASSERT_NE(debug, nullptr);
        EXPECT_EQ(debug->isVisible(), c.visible) << c.ini;
        EXPECT_EQ(debug->TextControl()->toPlainText().contains(
                      QStringLiteral("利用可能なデバイス名がありません")),
                  c.messages)
            << c.ini;
    }
}

TEST_F(KestruneDlgTest, DeviceNamesAndPortSettingsAreReadAtStart) {
    WriteIni(
        "[DEBUG]\nLOG_LEVEL=2\n[USB_DONGLE]\nDEVICE_NAME=A, B\n"
        "[COM_PORT]\nBAUD_RATE=9600\nPARITY=2\nDATA_BITS=8\nSTOP_BITS=-1\n"
        "DTR_CONTROL=ENABLE\nRTS_CONTROL=enable\n");
    CKestruneDlg& dlg = Open();
    auto* debug = dynamic_cast<CDebugDlg*>(dlg.GetLogger());
    EXPECT_TRUE(
        debug->TextControl()->toPlainText().contains(QStringLiteral("利用可能デバイス名 : A,  B")));
}

// The settings file the program chose (next to it, in the user's folder, in /etc) is named
// before anything read from it: the earliest line, at the bottom of the newest-first window.
TEST_F(KestruneDlgTest, TheDebugWindowFirstNamesTheSettingsFileRead) {
    WriteIni("[DEBUG]\nLOG_LEVEL=2\n[USB_DONGLE]\nDEVICE_NAME=A\n");
    const std::string file = std::filesystem::absolute(dir / "Kestrune.ini");
    configuration::UseIniChoice({file, {file, "/etc/kestrune/Kestrune.ini"}});
    CKestruneDlg& dlg = Open();
    auto* debug = dynamic_cast<CDebugDlg*>(dlg.GetLogger());
    ASSERT_NE(debug, nullptr);
    QStringList lines;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        lines = debug->TextControl()->toPlainText().split(QChar(u'\n'));
        return lines.size() >= 2;
    }));
    configuration::ForgetIniChoice();
    EXPECT_TRUE(lines.back().endsWith(QString::fromStdString("設定ファイル：" + file)))
        << lines.join(QChar(u'\n')).toStdString();
    EXPECT_TRUE(lines.join(QChar(u'\n')).contains(QStringLiteral("利用可能デバイス名 : A")));
}

TEST_F(KestruneDlgTest, TheUsersOffsetIsReadAtStart) {
    WriteIni("[SYNC]\nOFFSET_MS=-250\n");
    EXPECT_EQ(Open().Session().Sync().OffsetMs(), -250);
}

TEST_F(KestruneDlgTest, OnlyTheDevicesChangedEventIsLogged) {
    WriteIni("[DEBUG]\nLOG_LEVEL=2\n");
    CKestruneDlg& dlg = Open();
    dlg.OnDeviceChange(0x8000);  // a device arrival of another kind
    EXPECT_FALSE(LogHas("DBT_DEVNODES_CHANGED"));
    dlg.OnDeviceChange(DBT_DEVNODES_CHANGED);
    EXPECT_TRUE(LogHas("DBT_DEVNODES_CHANGED"));
    // Handled on the device thread: its message comes to the debug window from there.
    auto* debug = dynamic_cast<CDebugDlg*>(dlg.GetLogger());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return debug->TextControl()->toPlainText().contains(
                QStringLiteral("デバイスの接続状態が変化しました"));
        },
        30000));
}

TEST_F(KestruneDlgTest, ClosingLogsTheStopLineWithItsSource) {
    CKestruneDlg& dlg = OpenShown();
    dlg.close();
    EXPECT_FALSE(dlg.isVisible());
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("DEBUG,", 0), 0u);
    EXPECT_NE(lines[0].find(",KestruneDlg.cpp,"), std::string::npos);
    EXPECT_TRUE(lines[0].ends_with(",USBドングルへ停止コマンド送信"));
}

// The main window's handlers live in three files, but a reader of the log groups its lines by
// source: the window is one.
TEST_F(KestruneDlgTest, EveryLineOfTheMainWindowNamesOneSource) {
    CKestruneDlg& dlg = OpenShown();
    dlg.OpenDvd(std::string(KESTRUNE_TEST_MEDIA) + "/dvd");  // commands, events, DVD menus
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogHas(",DVDメニュー設定"); }, 30000));
    dlg.close();
    const auto lines = LogLines();
    ASSERT_GE(lines.size(), 4u);
    for (const auto& line : lines) {
        EXPECT_NE(line.find(",KestruneDlg.cpp,"), std::string::npos) << line;
    }
}

TEST_F(KestruneDlgTest, AVideoGetsAnEmptyDvdMenuThePlayFileMenuAndTheHelpMenu) {
    CKestruneDlg& dlg = OpenShown();
    const auto menus = dlg.MenuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("DVDメニュー"));
    EXPECT_TRUE(menus[0]->menu()->actions().isEmpty());
    EXPECT_EQ(menus[1]->text().remove(QLatin1Char('&')), QStringLiteral("プレイファイル(P)"));
    ASSERT_EQ(menus[1]->menu()->actions().size(), 2);  // a draft, recording
    EXPECT_EQ(menus[2]->text().remove(QLatin1Char('&')), QStringLiteral("ヘルプ(H)"));
    const auto help = menus[2]->menu()->actions();
    ASSERT_EQ(help.size(), 1);
    EXPECT_EQ(help[0]->text().remove(QLatin1Char('&')), QStringLiteral("QUAMBERPlayerについて(A)"));

    QString about;
    QTimer::singleShot(200, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            about = box->windowTitle();
            box->close();
        }
    });
    help[0]->trigger();
    EXPECT_EQ(about, QStringLiteral("QUAMBERPlayerについて"));
    EXPECT_FALSE(LogHas("DVDメニュー設定"));
}

TEST_F(KestruneDlgTest, TimersRestartAndStopById) {
    CKestruneDlg& dlg = Open();
    dlg.StartTimer(SessionTimer::kRepeat, 40);
    dlg.StartTimer(SessionTimer::kRepeat, 40);
    dlg.StartTimer(SessionTimer::kForward, 200);
    EXPECT_TRUE(dlg.IsTimerActive(SessionTimer::kRepeat));
    EXPECT_TRUE(dlg.IsTimerActive(SessionTimer::kForward));
    EXPECT_FALSE(dlg.IsTimerActive(SessionTimer::kRewind));
    dlg.StopTimer(SessionTimer::kRepeat);
    EXPECT_FALSE(dlg.IsTimerActive(SessionTimer::kRepeat));
    EXPECT_TRUE(dlg.IsTimerActive(SessionTimer::kForward));
}

// A user outside the group that owns the dongle's device node (dialout, on most systems) is
// told once, with the node and the group, and the operation log says so.
TEST_F(KestruneDlgTest, ADongleTheUserMayNotOpenIsExplainedOnceInABoxAndTheLog) {
    const testing_support::FreshPty pty = testing_support::OpenFreshPty();
    ASSERT_FALSE(pty.path.empty());
    // Only the group may use it; the owner (this test) may not.
    ASSERT_EQ(::chmod(pty.path.c_str(), 0060), 0);
    std::filesystem::create_directory(dir / "serial");
    std::filesystem::create_symlink(pty.path, dir / "serial/usb-Kestrune_Virtual_Dongle-if00");
    testing_support::ScopedEnv serialDir("KESTRUNE_SERIAL_DIR", dir / "serial");
    WriteIni("[USB_DONGLE]\nDEVICE_NAME=Virtual_Dongle\n");
    CKestruneDlg& dlg = OpenShown();
    // The port is opened on the device thread: that thread meets the permissions.
    std::optional<testing_support::ScopedUserFileAccess> user;
    dlg.Session().RunOnDevice([&](UsbDongle&) { user.emplace(); });
    for (int i = 0; i < 3; ++i) dlg.OnDeviceChange(DBT_DEVNODES_CHANGED);
    dlg.Session().RunOnDevice([&](UsbDongle&) { user.reset(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Shown().empty(); }, 30000));
    QCoreApplication::processEvents();
    ASSERT_EQ(boxes.Shown().size(), 1u);
    const auto [text, caption] = boxes.Shown().front();
    EXPECT_EQ(caption, "USBドングルエラー");
    const platform::DeviceNode node = platform::LookUpDeviceNode(pty.path);
    EXPECT_EQ(text, DeviceAccessDeniedText(pty.path, node.group, platform::UserName()));
    EXPECT_NE(text.find(pty.path), std::string::npos);
    EXPECT_NE(text.find("「" + node.group + "」"), std::string::npos) << text;
    EXPECT_TRUE(LogHas("USBドングルを開く権限がありません：" + pty.path));
    dlg.Session().RunOnDevice([](UsbDongle& dongle) { EXPECT_FALSE(dongle.IsPortOpen()); });
}

}  // namespace
