#pragma once

// A desktop of its own for the end-to-end stories: a private X server, and the hands of a
// user on it (pointer, keyboard, and the window manager's close request). The stories click
// at screen positions, so no other test's window may cover the player: each story gets a
// display nobody else draws on.

#include <sys/types.h>

#include <QRect>
#include <chrono>
#include <string>
#include <vector>

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
    // The window's outer rectangle on the screen.
    [[nodiscard]] QRect Geometry(unsigned long window) const;

    void Click(QPoint at) const;
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
    bool Xdotool(const std::string& arguments, std::string* output = nullptr) const;

    pid_t server_ = -1;
    std::string display_;
};

}  // namespace e2e
