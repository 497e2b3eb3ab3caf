#pragma once

// Where the overlay panels sit, in screen coordinates, from the main window's client area
// below its menu bar (also in screen coordinates), and where the video goes in that area. The
// panels cover the top and the bottom of that area whatever the window manager's frame looks like:
// frames are seldom as thick at the bottom as at the sides, so the area is taken from the window
// itself, not from its frame.
//
//   client top  +----------------------------+
//               | top panel, 30              |
//               |           video            |
//               | bottom panel, 101 or 38    |   (38: kBarHeight, one row of controls)
//   client bottom ----------------------------+

#include <QRect>

inline constexpr int kTopPanelHeight = 30;
inline constexpr int kBottomPanelExpandedHeight = 101;
// One row of the control bar: the full-screen panel, the black strip behind the buttons and
// the room the main window keeps free under the video.
inline constexpr int kBarHeight = 38;
inline constexpr int kBottomPanelCompactHeight = kBarHeight;

[[nodiscard]] inline QRect TopPanelRect(const QRect& client) {
    return {client.x(), client.y(), client.width(), kTopPanelHeight};
}

[[nodiscard]] inline QRect BottomPanelRect(const QRect& client, bool expanded) {
    const int height = expanded ? kBottomPanelExpandedHeight : kBottomPanelCompactHeight;
    return {client.x(), client.y() + client.height() - height, client.width(), height};
}

// Where the video host goes in a client area of the given size below a menu bar of
// `menuHeight` pixels: all of it but one row of the bar at the bottom.
[[nodiscard]] inline QRect VideoHostRect(int clientWidth, int clientHeight, int menuHeight = 0) {
    return {0, menuHeight, clientWidth, clientHeight - kBarHeight};
}
