#pragma once

// Where the overlay panels sit, in screen coordinates, from the main window's outer rectangle
// and its client size. The side frame is taken as half the difference of the two widths and
// the bottom frame as thick as a side frame; without a frame (full screen, or a desktop
// without a window manager) the panels cover the client area exactly.
//
//   window top ------------------------------
//               caption
//   client top  +----------------------------+
//               | top panel, 30              |
//               |           video            |
//               | bottom panel, 101 or 38    |
//   client bottom ----------------------------+  <- window bottom - border

#include <QRect>
#include <QSize>

inline constexpr int kTopPanelHeight = 30;
inline constexpr int kBottomPanelExpandedHeight = 101;
inline constexpr int kBottomPanelCompactHeight = 38;

[[nodiscard]] inline int FrameBorder(const QRect& window, const QSize& client) {
    return (window.width() - client.width()) / 2;
}

[[nodiscard]] inline QRect TopPanelRect(const QRect& window, const QSize& client) {
    const int border = FrameBorder(window, client);
    const int windowBottom = window.y() + window.height();
    return {window.x() + border, windowBottom - client.height() - border, client.width(),
            kTopPanelHeight};
}

[[nodiscard]] inline QRect BottomPanelRect(const QRect& window, const QSize& client,
                                           bool expanded) {
    const int border = FrameBorder(window, client);
    const int height = expanded ? kBottomPanelExpandedHeight : kBottomPanelCompactHeight;
    const int windowBottom = window.y() + window.height();
    return {window.x() + border, windowBottom - height - border, client.width(), height};
}
