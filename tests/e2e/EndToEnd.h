#pragma once

// The player as its users meet it: the real Kestrune executable on a desktop of its own with the
// virtual dongle plugged in, driven only through its window: clicks on the bar's buttons where they
// are drawn, keys, the file dialogs and the menus. What the end-to-end stories of playback
// (EndToEndPlaybackTest) and of the window (EndToEndWindowTest) share: the fixture that starts the
// dongle and the player for each story, the user's hands on the bar, the menus and the file
// dialogs, and the readers of what the dongle received and of the operation log.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <QPoint>
#include <QRect>
#include <QSize>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "e2e/Desktop.h"
#include "panels/BottomMainDlg.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

namespace e2e {

using namespace std::chrono_literals;
using testing_support::DevSimProcess;
using testing_support::PlayerProcess;
using testing_support::TempDir;
using testing_support::WaitFor;
using Bar = CBottomMainDlg;

inline const std::string kMedia = KESTRUNE_TEST_MEDIA;
inline const std::string kDemo = kMedia + "/demo/demo.mp4";
inline const std::string kDemoPlayFile = kMedia + "/demo/demo.csv";
inline const QSize kScreen(1280, 1024);

struct Packet {
    double ms = 0;
    int direction = 0;
    int speed = 0;
    [[nodiscard]] bool IsStop() const { return direction == 0 && speed == 0; }
};

// One line of a play file.
struct ScriptLine {
    int64_t ms = 0;
    int direction = 0;
    int speed = 0;
};

// The lines of the play file at `path`, in file order.
[[nodiscard]] std::vector<ScriptLine> ReadScript(const std::string& path);

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override;

    // A failed story leaves a picture of its screen in the build folder.
    void TearDown() override;
    // The screen now, as e2e-failures/<story><suffix>.png in the build folder.
    void SaveScreen(const std::string& suffix) const;

    // Starts the player with these command-line arguments (none: empty, as from its icon).
    void StartPlayer(const std::vector<std::string>& arguments = {});

    [[nodiscard]] pid_t Pid() const { return player->Pid(); }
    [[nodiscard]] QRect MainRect() const { return desktop.Geometry(main); }
    [[nodiscard]] bool FullScreen() const { return MainRect().size() == kScreen; }

    // Where a control of the bar is on the screen: the bar lies along the bottom of the main
    // window's own area (inside the window manager's frame).
    [[nodiscard]] QRect ControlOnScreen(int id) const;

    // A point of a control of the bar on the screen, `across` its width from its left edge.
    [[nodiscard]] QPoint BarPoint(int id, double across = 0.5) const;

    // The share of the opaque pixels of a button's normal picture that the screen shows as
    // drawn: 1 when the bar is on top, near 0 when something covers it.
    [[nodiscard]] double ButtonShowing(int id, int strip) const;

    // The player's windows from bottom to top with their places, for failure messages.
    [[nodiscard]] std::string StackingText() const;

    // The four playback buttons show on the screen as the bar draws them.
    void ExpectBarShowing(const std::string& when) const;

    void Click(int id) const { desktop.Click(BarPoint(id)); }

    // Clicks what opens a pop-up menu and waits for the menu to show, clicking again as a user
    // would when a click did not take.
    [[nodiscard]] bool ClickOpensAMenu(QPoint at) const;

    // Answers a file dialog as a user does: types the path into it and presses Enter. The
    // pointer is out of the way first: resting where the field's completion list shows, it
    // would pick an entry, and Enter would take that entry instead of closing the dialog. Keys
    // typed as the dialog comes up may go astray; the user then types the path again over what
    // the field holds.
    void AnswerFileDialog(const std::string& title, const std::string& path);

    void OpenVideo(const std::string& path);

    void OpenPlayFile(const std::string& path);

    // Starts playback with the play button and waits for the device to be told.
    void Play();

    // The demo playing with a play file whose speeds tell the second (1 at 0 s).
    void PlayDemoWithSecondsPlayFile();

    [[nodiscard]] std::vector<Packet> Packets() const;

    // Every packet the dongle got, once the player has ended: the dongle is ended too, having
    // read all that the player wrote, however late it got round to it.
    [[nodiscard]] std::vector<Packet> FinalPackets() const;

    // Waits for a packet after the first `from` that satisfies `condition`; its index or -1.
    int WaitPacket(size_t from, const std::function<bool(const Packet&)>& condition,
                   std::chrono::milliseconds limit) const;

    [[nodiscard]] std::string Log() const { return testing_support::OperationLogText(dir); }

    // The message field of each operation-log line.
    [[nodiscard]] std::vector<std::string> LogMessages() const;

    // The time of the first operation-log line with `message`, in milliseconds since the epoch.
    [[nodiscard]] std::optional<int64_t> LogTimeMs(const std::string& message) const;

    [[nodiscard]] size_t Count(const std::string& message) const;
    [[nodiscard]] bool LogHas(const std::string& message, size_t times = 1) const {
        return Count(message) >= times;
    }

    // Every expected message appears in the log, in this order (other lines may come between).
    void ExpectLogInOrder(const std::vector<std::string>& expected) const;

    // Closes the window as a user does with the window's close box; the process ends.
    void CloseWindow();

    TempDir dir;
    Desktop desktop;
    std::unique_ptr<DevSimProcess> devsim;
    std::unique_ptr<PlayerProcess> player;
    unsigned long main = 0;
};

}  // namespace e2e
