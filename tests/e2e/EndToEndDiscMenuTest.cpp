// The end-to-end stories of a disc that opens on its own menu, as sold discs do (the fixture
// of scripts/make-dvd-menu-fixture): the device waits while the menu loops, a title chosen on
// the disc's menu with the keys or the pointer runs the play file from the title's first line,
// and a title that ends back in the menu stops the device once and runs the script again when
// it is played again.

#include <gtest/gtest.h>

#include <QMenuBar>
#include <cstdint>
#include <string>
#include <vector>

#include "e2e/EndToEnd.h"
#include "panels/PanelGeometry.h"

namespace e2e {
namespace {

const std::string kMenuDvd = kMedia + "/menu-dvd";
const std::string kMenuDvdImage = kMedia + "/menu-dvd.iso";

// A line every second from 0.5 s, its speed the line's number (1 to `lines`).
std::string LineEverySecondFromAHalf(int lines) {
    std::string content;
    for (int i = 0; i < lines; ++i) {
        content += std::to_string(5 + i * 10) + ",1," + std::to_string(i + 1) + "\n";
    }
    return content;
}

// The speeds of the packets from the `from`th on that set the device moving, in order.
std::vector<int> MovingSpeeds(const std::vector<Packet>& packets, size_t from, size_t to) {
    std::vector<int> speeds;
    for (size_t i = from; i < packets.size() && i < to; ++i) {
        if (!packets[i].IsStop()) speeds.push_back(packets[i].speed);
    }
    return speeds;
}

std::vector<int> OneTo(int last) {
    std::vector<int> speeds;
    for (int i = 1; i <= last; ++i) speeds.push_back(i);
    return speeds;
}

// The script's lines from its first, in order, at least `least` of them. A title played after
// a looping menu may end early: each pass of the menu raises libvlc's buffering, and what it
// holds of the title when the disc goes back to its menu is never shown.
void ExpectTheScriptFromItsStart(const std::vector<int>& speeds, int least,
                                 const std::string& log) {
    EXPECT_GE(speeds.size(), static_cast<size_t>(least)) << log;
    EXPECT_EQ(speeds, OneTo(static_cast<int>(speeds.size()))) << log;
}

class DiscMenu : public EndToEnd {
protected:
    // The disc plays on its menu with the play file loaded; the menu has started over at
    // least `loops` times (libvlc tells each new pass as a change of title, which the log
    // has).
    void PlayUntilTheMenuLoops(const std::string& disc, int loops) {
        testing_support::WriteFile(dir / "title.csv", LineEverySecondFromAHalf(12));
        StartPlayer({disc, "--play-file", dir / "title.csv"});
        ASSERT_TRUE(WaitFor([&] { return LogHas("DVDメニュー表示"); }, 60s)) << Log();
        const size_t passes = Count("MediaPlayerTitleChanged");
        ASSERT_TRUE(WaitFor([&] { return LogHas("MediaPlayerTitleChanged", passes + loops); }, 60s))
            << Log();
    }

    // Where a point of the disc's 352x288 picture is on the screen: the picture fills the
    // video area at 4:3, centred.
    [[nodiscard]] QPoint PicturePoint(int x, int y) const {
        const QRect window = MainRect();
        const int menuHeight = QMenuBar().sizeHint().height();
        const QRect host =
            VideoHostRect(window.width(), window.height(), menuHeight).translated(window.topLeft());
        int width = host.width();
        int height = width * 3 / 4;
        if (height > host.height()) {
            height = host.height();
            width = height * 4 / 3;
        }
        const QPoint origin(host.x() + (host.width() - width) / 2,
                            host.y() + (host.height() - height) / 2);
        return origin + QPoint(x * width / 352, y * height / 288);
    }
};

// While the menu loops, nothing but stop packets; Enter on its first button starts title 1,
// whose script comes from its first line, in order. At its end the disc goes back to its
// menu: the device stops once and waits again, and Enter plays the title and its script again.
TEST_F(DiscMenu, TheDeviceWaitsOnTheMenuAndEachRunOfATitleSendsItsScriptFromTheStart) {
    PlayUntilTheMenuLoops(kMenuDvd, 1);
    for (const Packet& p : Packets()) EXPECT_TRUE(p.IsStop()) << "a packet during the menu";

    const size_t beforeTitle = Packets().size();
    desktop.Keys(main, "Return");
    ASSERT_TRUE(WaitFor([&] { return LogHas("DVDタイトル開始"); }, 30s)) << Log();
    // Title 1 is 12 s long: the menu is back after its last line.
    ASSERT_TRUE(WaitFor([&] { return LogHas("DVDメニュー表示", 2); }, 60s)) << Log();
    const size_t beforeMenu = Packets().size();
    ExpectTheScriptFromItsStart(MovingSpeeds(Packets(), beforeTitle, beforeMenu), 6, Log());
    // The stop packet as the menu comes back.
    ASSERT_GE(WaitPacket(
                  beforeMenu - 1, [](const Packet& p) { return p.IsStop(); }, 30s),
              0);

    const size_t passes = Count("MediaPlayerTitleChanged");
    ASSERT_TRUE(WaitFor([&] { return LogHas("MediaPlayerTitleChanged", passes + 1); }, 60s));
    const size_t afterLoop = Packets().size();
    EXPECT_EQ(MovingSpeeds(Packets(), beforeMenu, afterLoop), std::vector<int>{})
        << "the device moved during the menu";

    desktop.Keys(main, "Return");
    ASSERT_GE(WaitPacket(
                  afterLoop, [](const Packet& p) { return p.speed == 3; }, 30s),
              0);
    EXPECT_EQ(MovingSpeeds(Packets(), afterLoop, Packets().size()), OneTo(3));

    CloseWindow();
    ExpectLogInOrder({"DVDメニュー表示", "DVDタイトル開始", "DVDメニュー表示", "DVDタイトル開始",
                      "USBドングルへ停止コマンド送信"});
}

// On the disc's image: the pointer over the menu's second button and a click start title 2,
// whose script comes from its first line.
TEST_F(DiscMenu, AClickOnAMenuButtonStartsItsTitle) {
    PlayUntilTheMenuLoops(kMenuDvdImage, 1);
    const size_t beforeTitle = Packets().size();
    desktop.Click(PicturePoint(176, 152));  // "Title 2"
    ASSERT_TRUE(WaitFor([&] { return LogHas("DVDタイトル開始"); }, 30s)) << Log();
    ASSERT_GE(WaitPacket(
                  beforeTitle, [](const Packet& p) { return p.speed == 3; }, 30s),
              0);
    EXPECT_EQ(MovingSpeeds(Packets(), beforeTitle, Packets().size()), OneTo(3));
    // Title 2 is 6 s long: at its end the menu is back, and no line comes after it.
    ASSERT_TRUE(WaitFor([&] { return LogHas("DVDメニュー表示", 2); }, 60s)) << Log();
    const size_t beforeMenu = Packets().size();
    ExpectTheScriptFromItsStart(MovingSpeeds(Packets(), beforeTitle, beforeMenu), 3, Log());
    const size_t passes = Count("MediaPlayerTitleChanged");
    ASSERT_TRUE(WaitFor([&] { return LogHas("MediaPlayerTitleChanged", passes + 1); }, 60s));
    EXPECT_EQ(MovingSpeeds(Packets(), beforeMenu, Packets().size()), std::vector<int>{});
    CloseWindow();
}

}  // namespace
}  // namespace e2e
