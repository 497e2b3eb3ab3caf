#pragma once

// The X windows the video is drawn in, inside a native host widget: an output window that
// libvlc draws into, and over it an input-only window that keeps the pointer for the host (its
// clicks, double clicks and wheel). X gives a window's clicks to one client only: libvlc asks
// for the output window's, so it draws into a window of its own rather than the host's. While
// a disc's menu shows, the window over the output is taken away: the pointer then reaches
// libvlc, whose menu buttons follow it and take its clicks. Both windows follow the host's
// size. Without an X11 connection the host itself is the output and keeps the pointer. Used
// from the user-interface thread; owned by the host.

#include <QObject>
#include <cstdint>

class QWidget;
struct xcb_connection_t;

class VideoSurface final : public QObject {
    Q_OBJECT

public:
    explicit VideoSurface(QWidget& host);

    // The window libvlc draws into, made for the host's present native window (a new one
    // when the host's was made again).
    [[nodiscard]] uint32_t OutputWindow();
    // Whether the pointer over the video reaches libvlc (a disc's menu shows) or stays with
    // the host.
    void LetPointerThrough(bool through);
    [[nodiscard]] bool PointerGoesThrough() const { return through_; }

    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // The host's size in device pixels, at least 1x1.
    [[nodiscard]] uint32_t Width() const;
    [[nodiscard]] uint32_t Height() const;
    void ShowShield();

    QWidget& host_;
    xcb_connection_t* connection_ = nullptr;
    // The host's native window the two windows were made in; they go with it.
    uint32_t hostWindow_ = 0;
    uint32_t output_ = 0;
    uint32_t shield_ = 0;
    bool through_ = false;
};
