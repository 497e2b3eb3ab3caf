#pragma once

// A desktop of its own for the end-to-end stories, as users have one: a private X server with
// a window manager (openbox, which frames, stacks and focuses windows by the common desktop
// standards) and a compositor (picom, which makes translucent windows translucent), and
// the hands of a user on it (pointer, keyboard, the frame's buttons). The stories click at
// screen positions, so no other test's window may cover the player: each story gets a display
// nobody else draws on.

#include <sys/types.h>

#include <QImage>
#include <QRect>
#include <chrono>
#include <string>
#include <vector>

#include "support/Processes.h"

namespace e2e {

class Desktop {
public:
    Desktop();
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    // ":N", or empty when the server did not start.
    [[nodiscard]] const std::string& Display() const { return display_; }
    [[nodiscard]] std::string DisplayEnv() const { return "DISPLAY=" + display_; }

    // The shown top-level windows of `pid` titled exactly `title`.
    [[nodiscard]] std::vector<unsigned long> Windows(pid_t pid, const std::string& title) const;
    // The first window of `pid` titled `title` that shows within `limit`, or 0.
    unsigned long WaitWindow(pid_t pid, const std::string& title,
                             std::chrono::milliseconds limit) const;
    // The window's own area on the screen, without the window manager's frame.
    [[nodiscard]] QRect Geometry(unsigned long window) const;
    // The pixels of `area` of the screen as the user sees them (composited).
    [[nodiscard]] QImage Grab(const QRect& area) const;
    // The top-level windows from bottom to top, as the window manager stacks them.
    [[nodiscard]] std::vector<unsigned long> Stacking() const;

    // What the frame's minimise button does, and what a task bar does to bring it back.
    void Minimise(unsigned long window) const;
    void Activate(unsigned long window) const;
    // The frame's maximise button (a request to the window manager).
    void Maximise(unsigned long window) const;
    [[nodiscard]] bool IsMinimised(unsigned long window) const;
    // The window the window manager has made active (with the keyboard focus), or 0.
    [[nodiscard]] unsigned long ActiveWindow() const;
    // Whether a pop-up menu shows: one dropped from a menu bar or a button, or a submenu.
    [[nodiscard]] bool MenuShown() const;
    // Moves the pointer out of the way (to the screen's bottom right corner).
    void ParkPointer() const;

    void Click(QPoint at) const;
    // Moves the pointer to `at` and waits until it is there.
    void Move(QPoint at) const;
    void Press(QPoint at) const;
    void Release() const;
    // Gives `window` the keyboard focus, then presses the keys (xdotool key names).
    void Keys(unsigned long window, const std::string& keys) const;
    // Presses the keys wherever the keyboard is: an open pop-up menu has it grabbed, and
    // giving a window the focus would close the menu.
    void MenuKeys(const std::string& keys) const;
    void Type(unsigned long window, const std::string& text) const;
    // Asks the window to close as a window manager's close box does (WM_DELETE_WINDOW).
    void RequestClose(unsigned long window) const;

    // Saves the whole screen as a picture (for looking at a failed story).
    void Screenshot(const std::string& path) const;

private:
    // The xdotool command that moves the pointer to `at` and waits until it is there.
    [[nodiscard]] static std::string MoveTo(QPoint at);
    bool Xdotool(const std::string& arguments, std::string* output = nullptr) const;
    // Starts a program on this display; its pid or -1.
    pid_t Spawn(const std::vector<std::string>& args) const;
    // Waits until the root window has an owner for the selection or a value for the property.
    [[nodiscard]] bool WaitSelectionOwner(const char* selection) const;
    void SendWindowManagerMessage(unsigned long window, const char* type, long data0,
                                  long data1 = 0, long data2 = 0) const;

    testing_support::PrivateDisplay server_;
    pid_t windowManager_ = -1;
    pid_t compositor_ = -1;
    std::string display_;
};

}  // namespace e2e
