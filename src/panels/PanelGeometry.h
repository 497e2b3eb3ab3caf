#pragma once

// Where the overlay panels sit, in screen coordinates, given the main window's client area
// in screen coordinates.
//
//   +------------------------------+  <- client top
//   | top panel, kTopHeight        |
//   |                              |
//   |            video             |
//   |                              |
//   | bottom panel, 101 or 38      |
//   +------------------------------+  <- client bottom

#include <QRect>

inline constexpr int kTopPanelHeight = 30;
inline constexpr int kBottomPanelExpandedHeight = 101;
inline constexpr int kBottomPanelCompactHeight = 38;

[[nodiscard]] inline QRect TopPanelRect(const QRect& client) {
    return {client.left(), client.top(), client.width(), kTopPanelHeight};
}

[[nodiscard]] inline QRect BottomPanelRect(const QRect& client, bool expanded) {
    const int height = expanded ? kBottomPanelExpandedHeight : kBottomPanelCompactHeight;
    return {client.left(), client.top() + client.height() - height, client.width(), height};
}
