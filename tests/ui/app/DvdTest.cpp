// DVD playback in the main window on a DVD-Video folder authored at build time: three titles
// (4 chapters, 2 chapters, 105 chapters).

#include <gtest/gtest.h>
#include <poll.h>

#include <QApplication>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "device/UsbDongle.h"
#include "dialogs/DrivePickerListCtrl.h"
#include "dialogs/DriveSelectDlg.h"
#include "panels/BottomDlg.h"
#include "panels/BottomMainDlg.h"
#include "panels/TopDlg.h"
#include "player/AdjustedPlayer.h"
#include "player/StreamTiming.h"
#include "ui/app/MainWindowFixture.h"
#include "widgets/VideoSurface.h"

namespace {

const std::string kDvd = std::string(KESTRUNE_TEST_MEDIA) + "/dvd";
const std::string kMenuDvd = std::string(KESTRUNE_TEST_MEDIA) + "/menu-dvd";

std::vector<int> Range(int first, int count) {
    std::vector<int> ids(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) ids[static_cast<size_t>(i)] = first + i;
    return ids;
}

// The adjuster that reads the window's clock: the window's player is the one on libvlc.
std::optional<ClockScale> PictureScale(CKestruneDlg& dlg) {
    return dynamic_cast<AdjustedPlayer&>(dlg.Session().Player()).PictureClockScale();
}

class DvdTest : public MainWindowTest {
protected:
    // The numbers (titles or chapters) of a menu's actions.
    std::vector<int> Ids(const char* objectName) {
        std::vector<int> ids;
        if (auto* menu = window->MenuBar()->findChild<QMenu*>(QLatin1String(objectName))) {
            for (QAction* action : menu->actions()) ids.push_back(action->data().toInt());
        }
        return ids;
    }

    bool WaitForPlaying() {
        return QTest::qWaitFor(
            [&] {
                return window->Session().Player().GetState() == PlayerState::kPlaying &&
                       Ids("titleMenu").size() > 0;
            },
            30000);
    }

    // Chooses title or chapter `number` from the menu `objectName`.
    void Choose(const char* objectName, int number) {
        if (auto* menu = window->MenuBar()->findChild<QMenu*>(QLatin1String(objectName))) {
            for (QAction* action : menu->actions()) {
                if (action->data().toInt() == number) {
                    action->trigger();
                    return;
                }
            }
        }
        ADD_FAILURE() << "no item " << number << " in " << objectName;
    }

    // Waits until the menus list title 1's: the first ones built may list other chapters (on a
    // busy machine, seven), and each new video output of the disc builds them again.
    bool WaitForTitleOnesMenus() {
        return QTest::qWaitFor(
            [&] { return Ids("titleMenu") == Range(0, 4) && Ids("chapterMenu") == Range(0, 4); },
            30000);
    }

    int Count(const std::string& message) {
        const auto lines = LogLines();
        return static_cast<int>(std::count_if(
            lines.begin(), lines.end(), [&](const auto& l) { return l.ends_with("," + message); }));
    }
};

TEST_F(DvdTest, TheFolderChosenInTheDialogPlaysAtOnceWithItsMenus) {
    CKestruneDlg& dlg = OpenShown();
    // The user picks the folder through the drive dialog's folder entry.
    QTimer answer;
    bool chosen = false;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* chooser = qobject_cast<QFileDialog*>(modal)) {
            chooser->setDirectory(QString::fromStdString(kDvd));  // the folder itself
            static_cast<QDialog*>(chooser)->accept();
            chosen = true;
        } else if (auto* drives = qobject_cast<CDriveSelectDlg*>(modal); drives && !chosen) {
            for (QAction* action : drives->OpenButton()->menu()->actions()) {
                if (action->text() == QStringLiteral("フォルダ...")) {
                    QTimer::singleShot(0, action, &QAction::trigger);
                }
            }
        }
    });
    answer.start(100);
    emit dlg.BottomPanel()->Bar()->OpenDvdClicked();
    ASSERT_TRUE(WaitForPlaying());
    answer.stop();

    EXPECT_EQ(Count("ドライブ選択：" + kDvd), 1);
    // The disc's own timing drives the clock (PAL: its rate is exact; its nav packs' lead),
    // read beside the open.
    const int64_t lead = DvdClockScale(kDvd).leadMs;
    EXPECT_GT(lead, 0);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const std::optional<ClockScale> scale = PictureScale(dlg);
            return scale && scale->rate == 1.0 && scale->leadMs == lead;
        },
        10000));
    EXPECT_EQ(dlg.TopPanel()->Title(), QString::fromStdString("dvd://" + kDvd));
    // The disc's own menu comes first, then the three titles; title 1 has four chapters.
    EXPECT_TRUE(WaitForTitleOnesMenus());
    EXPECT_EQ(Ids("titleMenu"), Range(0, 4));
    EXPECT_EQ(Ids("chapterMenu"), Range(0, 4));
    EXPECT_GE(Count("DVDメニュー設定"), 1);
    EXPECT_TRUE(boxes.Shown().empty());
}

// OK in the drive dialog without a drive opens nothing: no empty "dvd://" for libvlc to
// guess a drive from, no log line, no box.
TEST_F(DvdTest, OkWithoutADriveOpensNothing) {
    CKestruneDlg& dlg = OpenShown();
    QPointer<CDriveSelectDlg> drives;
    bool clicked = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (clicked) return;
        drives = qobject_cast<CDriveSelectDlg*>(QApplication::activeModalWidget());
        if (!drives) return;
        drives->DriveList()->clearSelection();
        for (auto* button : drives->findChildren<QPushButton*>()) {
            if (button->text() == QStringLiteral("OK")) button->click();
        }
        clicked = true;
    });
    answer.start(50);
    emit dlg.BottomPanel()->Bar()->OpenDvdClicked();
    // The dialog lives on the stack of the window's handler: gone means the handler is done.
    ASSERT_TRUE(QTest::qWaitFor([&] { return clicked && drives.isNull(); }, 30000));
    answer.stop();
    QCoreApplication::processEvents();
    EXPECT_EQ(Count("ドライブ選択："), 0);
    ASSERT_TRUE(PictureScale(dlg).has_value());
    EXPECT_EQ(PictureScale(dlg)->leadMs, 0);  // the clock the window starts with
    EXPECT_EQ(dlg.Session().Player().GetState(), PlayerState::kNothingSpecial);
    EXPECT_TRUE(boxes.Shown().empty());
}

// Names that mean something in a location: '#' starts an anchor, '%' an escape, '?' a query.
// A folder of any such name plays, and so does a location the user wrote, escapes and all.
TEST_F(DvdTest, FoldersWithReservedCharactersInTheirNamesPlay) {
    struct Case {
        std::string folder;  // where the fixture's VIDEO_TS is copied, in the test folder
        std::string open;    // what is opened, in the test folder
        bool location;       // `open` is the user's own escaped "dvd://" location
    } cases[] = {
        {"disc #5 100%41", "disc #5 100%41", false},
        {"ディスク 1 ?", "ディスク 1 ?", false},
        {"50% off?a=b#2", "50% off?a=b#2/VIDEO_TS", false},
        {"disc #5 100%41", "disc%20%235%20100%2541", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.open);
        const std::string folder = dir / c.folder;
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        std::filesystem::copy(kDvd + "/VIDEO_TS", folder + "/VIDEO_TS");
        const std::string open = (c.location ? "dvd://" : "") + dir / c.open;
        // The title is readable: the path as it is, the location as the user wrote it.
        const std::string title = c.location ? open : "dvd://" + open;

        window.reset();
        CKestruneDlg& dlg = OpenShown();
        const size_t boxesBefore = boxes.Shown().size();
        dlg.OpenDvd(open);
        const bool settled = QTest::qWaitFor(
            [&] {
                return boxes.Shown().size() > boxesBefore ||
                       (dlg.Session().Player().GetState() == PlayerState::kPlaying &&
                        Ids("chapterMenu").size() > 0);
            },
            30000);
        if (const auto shown = boxes.Shown(); !settled || shown.size() > boxesBefore) {
            ADD_FAILURE() << "not playing" << (settled ? ": " + shown.back().first : "");
            continue;
        }
        EXPECT_TRUE(WaitForTitleOnesMenus());
        EXPECT_EQ(Ids("titleMenu"), Range(0, 4));
        EXPECT_EQ(Ids("chapterMenu"), Range(0, 4));
        EXPECT_EQ(Count("ドライブ選択：" + open), 1);
        EXPECT_EQ(dlg.TopPanel()->Title(), QString::fromStdString(title));
    }
}

TEST_F(DvdTest, ChoosingTitlesAndChaptersJumpsThere) {
    CKestruneDlg& dlg = OpenShown();
    dlg.OpenDvd(kDvd);
    ASSERT_TRUE(WaitForPlaying());

    Choose("chapterMenu", 2);  // the third chapter of title 1 starts at 6 s
    EXPECT_EQ(Count("DVDチャプター変更"), 1);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return dlg.Session().Player().GetReportedTime() > 4500; }, 30000));

    Choose("titleMenu", 2);  // title 2: two chapters, listed after the next rebuild
    EXPECT_EQ(Count("DVDタイトル変更"), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Ids("chapterMenu").size() == 2; }, 30000));
    EXPECT_TRUE(boxes.Shown().empty());

    // Title 3 has 105 chapters: the first 100 are offered, with one box per rebuild.
    Choose("titleMenu", 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Ids("chapterMenu").size() == 100; }, 30000));
    EXPECT_EQ(Ids("chapterMenu"), Range(0, 100));
    const auto shown = boxes.Shown();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown[0].first, "チャプターメニューが多すぎるためメニューに設定できません。");
    EXPECT_EQ(shown[0].second, "エラー");
    EXPECT_LE(static_cast<int>(shown.size()), Count("DVDメニュー設定"));
}

// A disc that opens on its menu: the pointer goes through to the menu's buttons, the arrows
// and Enter move between and activate them (the volume stays), the title list and a title's
// chapter list still jump there, and "ディスクメニュー" goes back to the disc's menu.
TEST_F(DvdTest, OnADiscThatOpensOnItsMenuTheKeysTheListsAndTheDiscMenuItemWork) {
    CKestruneDlg& dlg = OpenShown();
    const PlaybackSession& session = dlg.Session();
    dlg.OpenDvd(kMenuDvd);
    // The menu's buttons are known once its picture plays.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return session.IsDiscMenuShown() && dlg.Session().Player().HasVideoOutput() &&
                   dlg.Session().Player().GetReportedTime() > 0;
        },
        30000));
    EXPECT_TRUE(dlg.Video().PointerGoesThrough());
    EXPECT_EQ(Count("DVDメニュー表示"), 1);

    // The second button, "Title 2" (6 s).
    const int volume = dlg.BottomPanel()->Bar()->GetVolume();
    QTest::keyClick(&dlg, Qt::Key_Down);
    QTest::keyClick(&dlg, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !session.IsDiscMenuShown(); }, 30000));
    EXPECT_FALSE(dlg.Video().PointerGoesThrough());
    EXPECT_EQ(dlg.BottomPanel()->Bar()->GetVolume(), volume);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.Session().Player().GetLength() == 6000; }, 30000));
    EXPECT_EQ(Count("DVDタイトル開始"), 1);

    // The disc's menu first, then its two titles; title 1 has three chapters.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Ids("titleMenu") == Range(0, 3); }, 30000));
    Choose("titleMenu", 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Ids("chapterMenu") == Range(0, 3); }, 30000));
    EXPECT_EQ(Count("DVDタイトル開始"), 2);
    Choose("chapterMenu", 2);  // at 8 s
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return dlg.Session().Player().GetReportedTime() > 6500; }, 30000));

    auto* discMenu = dlg.MenuBar()->findChild<QAction*>(QStringLiteral("discMenuAction"));
    ASSERT_NE(discMenu, nullptr);
    discMenu->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.IsDiscMenuShown(); }, 30000));
    EXPECT_EQ(Count("DVDディスクメニュー選択"), 1);
    EXPECT_EQ(Count("DVDメニュー表示"), 2);
    EXPECT_TRUE(boxes.Shown().empty());
}

// The smoothing clock drives the device during DVD playback: it never runs backwards.
TEST_F(DvdTest, TheDeviceFollowsThePlayFileThroughTheSmoothingClock) {
    auto pty = testing_support::OpenRawPty();
    ASSERT_FALSE(pty.path.empty());
    std::filesystem::create_directory(dir / "serial");
    std::filesystem::create_symlink(pty.path, dir / "serial/usb-Kestrune_Virtual_Dongle-if00");
    testing_support::ScopedEnv serial("KESTRUNE_SERIAL_DIR", dir / "serial");
    WriteIni("[USB_DONGLE]\nDEVICE_NAME=Virtual_Dongle\n");
    testing_support::WriteFile(dir / "dvd.csv", "15,1,40\n30,0,70\n");

    CKestruneDlg& dlg = OpenShown();
    dlg.OpenPlayFile(QString::fromStdString(dir / "dvd.csv"));
    dlg.OpenDvd(kDvd);
    ASSERT_TRUE(WaitForPlaying());

    std::string bytes;
    std::string commands;
    int64_t previous = 0;
    bool backwards = false;
    // The clock sampled as the window runs, until both lines came.
    static_cast<void>(QTest::qWaitFor(
        [&] {
            const int64_t t = dlg.Session().Player().GetTime();
            backwards = backwards || t < previous;
            previous = t;
            pollfd p{pty.master.Get(), POLLIN, 0};
            while (::poll(&p, 1, 0) > 0) {
                char buffer[64];
                const ssize_t n = ::read(pty.master.Get(), buffer, sizeof buffer);
                if (n <= 0) break;
                bytes.append(buffer, static_cast<size_t>(n));
            }
            commands.clear();
            for (size_t i = 2; i < bytes.size(); i += 3) {
                if (bytes[i] != 0) commands += bytes[i];
            }
            return commands.size() >= 2;
        },
        30000));
    EXPECT_FALSE(backwards);
    EXPECT_EQ(commands, "\xA8\x46");  // the two lines, in order
}

}  // namespace
