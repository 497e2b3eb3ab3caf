// The end-to-end stories of the window on its desktop and of how the player ends (the fixture
// is in EndToEnd.h): the bar stays above the video whatever the window manager does with the
// main window, the frame's maximise box leads to full screen and Escape back, closing the
// window while playing stops the device, and a signal while a box or dialog is open ends the
// process after the close steps, the device's last packet a stop packet.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <ostream>
#include <string>

#include "e2e/EndToEnd.h"

namespace e2e {
namespace {

// On a desktop, the bar stays above the video whatever the window manager does with the main
// window, and its buttons work: full screen by the bar's button and back with Escape is one of
// those turns, and the bar's pause works at its window-mode place after it.
TEST_F(EndToEnd, TheBarStaysAboveTheVideoWhenTheWindowIsClickedRestoredOrSwitched) {
    StartPlayer();
    ExpectBarShowing("at start-up");
    OpenVideo(kDemo);
    Play();
    ExpectBarShowing("playing");

    desktop.Click(MainRect().center());
    ExpectBarShowing("after a click on the video");

    desktop.Minimise(main);
    ASSERT_TRUE(WaitFor([&] { return desktop.IsMinimised(main); }, 30s)) << "not minimised";
    desktop.Activate(main);
    ASSERT_TRUE(WaitFor([&] { return !desktop.IsMinimised(main); }, 30s)) << "not restored";
    ExpectBarShowing("after minimise and restore");

    const QRect window = MainRect();
    ASSERT_NE(window.size(), kScreen);
    Click(Bar::IDC_MAXIMIZE);
    ASSERT_TRUE(WaitFor([&] { return FullScreen(); }, 30s)) << "not full screen";
    ExpectBarShowing("in full screen");
    desktop.Keys(main, "Escape");
    ASSERT_TRUE(WaitFor([&] { return MainRect() == window; }, 30s))
        << "not back: " << MainRect().width() << "x" << MainRect().height();
    ExpectBarShowing("after full screen and back");

    Click(Bar::IDC_PAUSE);
    ASSERT_TRUE(WaitFor([&] { return LogHas("USBドングルへ一時停止コマンド送信"); }, 30s));
    Play();
    CloseWindow();
    ExpectLogInOrder({"再生ボタンクリック", "USBドングルへ再生コマンド送信", "最大化ボタンクリック",
                      "最大化ボタンクリック", "一時停止ボタンクリック",
                      "USBドングルへ一時停止コマンド送信", "再生ボタンクリック",
                      "USBドングルへ再生コマンド送信"});
}

// The frame's maximise box leads to full screen as the bar's button does; Escape goes back to
// the size the window had before it was maximised.
TEST_F(EndToEnd, TheMaximiseBoxGoesToFullScreenAndEscapeBackToTheSizeBefore) {
    StartPlayer();
    OpenVideo(kDemo);
    const QRect window = MainRect();
    desktop.Maximise(main);
    ASSERT_TRUE(WaitFor([&] { return FullScreen(); }, 30s)) << "not full screen";
    ExpectBarShowing("in full screen");
    desktop.Keys(main, "Escape");
    ASSERT_TRUE(WaitFor([&] { return MainRect() == window; }, 30s))
        << "back at " << MainRect().x() << "," << MainRect().y() << " " << MainRect().width() << "x"
        << MainRect().height() << ", not " << window.x() << "," << window.y() << " "
        << window.width() << "x" << window.height();
    ExpectBarShowing("back from full screen");
    CloseWindow();
}

TEST_F(EndToEnd, ClosingTheWindowWhilePlayingStopsTheDevice) {
    PlayDemoWithSecondsPlayFile();
    ASSERT_GE(WaitPacket(
                  0, [](const Packet& p) { return p.speed >= 3; }, 30s),
              0);

    CloseWindow();
    const auto packets = FinalPackets();
    ASSERT_FALSE(packets.empty());
    EXPECT_TRUE(packets.back().IsStop());
    ExpectLogInOrder(
        {"再生ボタンクリック", "USBドングルへ再生コマンド送信", "USBドングルへ停止コマンド送信"});
}

// A logout, a closing terminal or a service manager ends the player with a signal, whatever
// box or dialog it has open: the close steps run once (the device's last packet is the stop
// packet) and the process ends.
enum class OpenBox { kErrorBox, kOpenVideo, kOpenPlayFile, kDriveDialog, kAboutBox };

struct SignalDuringBox {
    const char* name;
    OpenBox box;
    int signal;
};

void PrintTo(const SignalDuringBox& c, std::ostream* os) { *os << c.name; }

class SignalWhileABoxIsOpen : public EndToEnd,
                              public ::testing::WithParamInterface<SignalDuringBox> {};

TEST_P(SignalWhileABoxIsOpen, EndsTheProcessAfterTheCloseSteps) {
    const SignalDuringBox& c = GetParam();
    PlayDemoWithSecondsPlayFile();
    ASSERT_GE(WaitPacket(
                  0, [](const Packet& p) { return p.speed >= 2; }, 30s),
              0);

    std::string title;
    switch (c.box) {
        case OpenBox::kErrorBox:
            OpenVideo(kMedia + "/not-a-video.mp4");
            // A click in the moment after the file dialog closes, while the window stops the
            // video that played, can go astray on this desktop: the story clicks until the
            // button has taken it.
            for (int attempt = 0; attempt < 3 && !LogHas("再生ボタンクリック", 2); ++attempt) {
                Click(Bar::IDC_PLAY);
                WaitFor([&] { return LogHas("再生ボタンクリック", 2); }, 10s);
            }
            title = "再生エラー";
            break;
        case OpenBox::kOpenVideo:
            Click(Bar::IDC_OPEN_VIDEO);
            title = "動画を開く";
            break;
        case OpenBox::kOpenPlayFile:
            Click(Bar::IDC_OPEN_PLAYFILE);
            title = "開く";
            break;
        case OpenBox::kDriveDialog:
            Click(Bar::IDC_OPEN_DVD);
            title = "DVDドライブ選択";
            break;
        case OpenBox::kAboutBox:
            desktop.Keys(main, "alt+h");
            ASSERT_TRUE(WaitFor([&] { return desktop.MenuShown(); }, 30s))
                << "the help menu did not open";
            desktop.MenuKeys("Return");
            title = "QUAMBERPlayerについて";
            break;
    }
    ASSERT_NE(desktop.WaitWindow(Pid(), title, 30s), 0u) << "no " << title << "\n" << Log();

    const size_t stopsBefore = Count("USBドングルへ停止コマンド送信");
    const auto signalled = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(Pid(), c.signal), 0);
    EXPECT_EQ(player->WaitExit(30s), 0) << "the process did not end";
    const auto tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - signalled)
                            .count();
    RecordProperty("exit_ms", static_cast<int>(tookMs));

    const auto packets = FinalPackets();
    ASSERT_FALSE(packets.empty());
    EXPECT_TRUE(packets.back().IsStop());
    // The close steps ran once.
    EXPECT_EQ(Count("USBドングルへ停止コマンド送信"), stopsBefore + 1) << Log();
}

const SignalDuringBox kSignalCases[] = {
    {"TermDuringTheErrorBox", OpenBox::kErrorBox, SIGTERM},
    {"TermDuringTheOpenVideoDialog", OpenBox::kOpenVideo, SIGTERM},
    {"HupDuringTheOpenPlayFileDialog", OpenBox::kOpenPlayFile, SIGHUP},
    {"IntDuringTheDriveDialog", OpenBox::kDriveDialog, SIGINT},
    {"TermDuringTheAboutBox", OpenBox::kAboutBox, SIGTERM},
};

INSTANTIATE_TEST_SUITE_P(Boxes, SignalWhileABoxIsOpen, ::testing::ValuesIn(kSignalCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
