// The main window driving a dongle on a real pseudo-terminal from a play file while a
// generated video plays.

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "device/UsbDongle.h"
#include "platform/UniqueFd.h"
#include "support/FreshPty.h"
#include "sync/SyncDriver.h"
#include "ui/app/MainWindowFixture.h"

namespace {

using platform::UniqueFd;

class SyncTest : public MainWindowTest {
protected:
    SyncTest() {
        EXPECT_FALSE(pty.path.empty());
        std::filesystem::create_directory(dir / "serial");
        std::filesystem::create_symlink(pty.path, dir / "serial/usb-Kestrune_Virtual_Dongle-if00");
        WriteIni("[DEBUG]\nLOG_LEVEL=2\n[USB_DONGLE]\nDEVICE_NAME=Virtual_Dongle\n");
    }

    // The command bytes of all that was written to the port so far.
    std::string Received() {
        bytes += testing_support::ReadAllWritten(pty.master.Get(), pty.slave.Get());
        std::string commands;
        for (size_t i = 2; i < bytes.size(); i += 3) commands += bytes[i];
        return commands;
    }

    // Plays the clip with lines at 0 s (0x8A), 6 s (0x3C) and 15 s and waits for the first.
    void PlayClipWithLinesAt0And6And15Seconds() {
        testing_support::WriteFile(dir / "clip.csv", "0,1,10\n60,0,60\n150,1,90\n");
        window->OpenVideoFile(Media("clip.mp4"));
        window->OpenPlayFile(QString::fromStdString(dir / "clip.csv"));
        emit window->BottomPanel()->Bar()->PlayClicked();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Received().size() >= 1; }, 30000));
    }

    testing_support::ScopedEnv serialDir{"KESTRUNE_SERIAL_DIR", dir / "serial"};
    testing_support::RawPty pty = testing_support::OpenRawPty();
    std::string bytes;
};

TEST_F(SyncTest, TheOpenPlayFileDialogLoadsTheScript) {
    CKestruneDlg& dlg = OpenShown();
    testing_support::WriteFile(dir / "moves.csv", "10,1,50\n5,0,20\n");
    FileDialogAnswer answer(QString::fromStdString(dir / "moves.csv"));
    emit dlg.BottomPanel()->Bar()->OpenPlayFileClicked();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.Session().Sync().Lines() != nullptr; }, 30000));
    EXPECT_EQ(answer.caption, QStringLiteral("開く"));
    ASSERT_EQ(answer.filters.size(), 2);
    EXPECT_TRUE(answer.filters[0].startsWith(QStringLiteral("プレイファイル")));
    EXPECT_TRUE(answer.filters[1].startsWith(QStringLiteral("すべてのファイル")));
    ASSERT_EQ(dlg.Session().Sync().Lines()->size(), 2u);
    EXPECT_EQ((*dlg.Session().Sync().Lines())[0].time, 5);
}

TEST_F(SyncTest, TheDeviceFollowsThePlayFileWhileTheVideoPlays) {
    CKestruneDlg& dlg = OpenShown();
    EXPECT_EQ(dlg.Session().DeviceName(), "Virtual_Dongle");
    testing_support::WriteFile(dir / "clip.csv", "5,1,10\n10,0,20\n15,1,30\n");
    dlg.OpenVideoFile(Media("clip.mp4"));
    dlg.OpenPlayFile(QString::fromStdString(dir / "clip.csv"));
    emit dlg.BottomPanel()->Bar()->PlayClicked();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Received().size() >= 3; }, 30000));
    EXPECT_EQ(Received(), "\x8A\x14\x9E");  // the three lines, in order

    emit dlg.BottomPanel()->Bar()->PauseClicked();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Received().size() >= 4; }, 30000));
    EXPECT_EQ(Received().size(), 4u);
    EXPECT_EQ(Received().back(), '\0');  // the stop packet

    dlg.close();
    EXPECT_EQ(Received().size(), 5u);  // closing stops the device once more
    EXPECT_EQ(Received().back(), '\0');
    EXPECT_TRUE(LogHas("USBドングルへ再生コマンド送信"));
    EXPECT_TRUE(LogHas("USBドングルへ一時停止コマンド送信"));
    dlg.Session().RunOnDevice([](UsbDongle& dongle) { EXPECT_FALSE(dongle.IsPortOpen()); });
}

TEST_F(SyncTest, ASliderSeekStopsTheDeviceThenSendsTheLineInForce) {
    CKestruneDlg& dlg = OpenShown();
    ASSERT_NO_FATAL_FAILURE(PlayClipWithLinesAt0And6And15Seconds());
    EXPECT_EQ(Received(), "\x8A");
    emit dlg.BottomPanel()->Bar()->SeekMoved(50);  // to 10 s: line 60 in force
    ASSERT_TRUE(QTest::qWaitFor([&] { return Received().size() >= 3; }, 30000));
    EXPECT_EQ(Received().substr(0, 3), std::string("\x8A\x00\x3C", 3));
}

// While paused, libvlc may report a seek late (on a busy machine it read 0 there): the device
// must not be driven from such reports. Play sends the line in force at the target first.
TEST_F(SyncTest, ASeekWhilePausedSendsTheLineInForceAtTheTargetOnPlay) {
    CKestruneDlg& dlg = OpenShown();
    ASSERT_NO_FATAL_FAILURE(PlayClipWithLinesAt0And6And15Seconds());
    emit dlg.BottomPanel()->Bar()->PauseClicked();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dlg.Session().Player().GetState() == PlayerState::kPaused; }, 30000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Received().size() >= 2; }, 30000));
    const size_t beforeSeek = Received().size();
    emit dlg.BottomPanel()->Bar()->SeekMoved(50);  // to 10 s: line 60 in force
    emit dlg.BottomPanel()->Bar()->PlayClicked();
    // The stop packet of the seek aside, the first line after it.
    const auto firstLine = [&]() -> std::optional<char> {
        const std::string after = Received().substr(beforeSeek);
        const size_t line = after.find_first_not_of('\0');
        if (line == std::string::npos) return std::nullopt;
        return after[line];
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return firstLine().has_value(); }, 30000));
    EXPECT_EQ(firstLine(), '\x3C') << testing::PrintToString(Received().substr(beforeSeek));
}

}  // namespace
