#pragma once

// Application-defined window messages. Every message travels as one AppMessageEvent posted
// to the receiving window, which dispatches it in a single function, as a message map does.
// The numbers are fixed: other parts of the program and its logs refer to them.

#include <QEvent>
#include <cstdint>

class QObject;

enum AppMessageId : unsigned {
    WM_APP_SHOWN = 0x8001,
    WM_APP_PLAY = 0x8100,
    WM_APP_PAUSE = 0x8101,
    WM_APP_MEDIA_ENDED = 0x8102,
    WM_APP_REWIND_START = 0x8103,
    WM_APP_FORWARD_START = 0x8104,
    WM_APP_REWIND_STOP = 0x8105,
    WM_APP_FORWARD_STOP = 0x8106,
    WM_APP_OPEN_DVD = 0x8107,
    WM_APP_OPEN_VIDEO = 0x8108,
    WM_APP_OPEN_PLAYFILE = 0x8109,
    WM_APP_TOGGLE_MUTE = 0x810a,
    WM_APP_TOGGLE_REPEAT = 0x810b,
    WM_APP_TOGGLE_FULLSCREEN = 0x810c,
    WM_APP_VOLUME_CHANGED = 0x810d,
    WM_APP_POSITION_CHANGED = 0x810e,
    WM_APP_SEEK = 0x8110,
    WM_APP_PLAYER_EVENT = 0x8111,
    WM_APP_APPLY_VOLUME = 0x811f,
    // Brings the overlay panels above the main window again (after it was mapped, raised,
    // activated or restored).
    WM_APP_RAISE_PANELS = 0x8120,
    // The dongle's device node may not be opened by this user.
    WM_APP_DEVICE_ACCESS_DENIED = 0x8121,
    // A seek by lParam ms from the present time (the arrow keys).
    WM_APP_SEEK_BY = 0x8122,
    // Files were dropped onto the window.
    WM_APP_OPEN_DROPPED = 0x8123,

    // Messages between the controls of the bar and the bar itself.
    UWM_SLIDER_MOVING = 0x28D1,
    UWM_SLIDER_MOVED = 0x28D2,
    UWM_BUTTON_PRESSED = 0x2935,
    UWM_BUTTON_RELEASED = 0x2936,

    // The window's own maximise and restore commands (wParam SC_MAXIMIZE or SC_RESTORE).
    WM_SYSCOMMAND = 0x0112,
};

enum SysCommand : unsigned {
    SC_MAXIMIZE = 0xF030,
    SC_RESTORE = 0xF120,
};

class AppMessageEvent final : public QEvent {
public:
    AppMessageEvent(unsigned message, uintptr_t wParam, intptr_t lParam);

    // The one event type that carries application messages.
    [[nodiscard]] static QEvent::Type EventType();

    const unsigned message;
    const uintptr_t wParam;
    const intptr_t lParam;
};

// Queues the message for `target`; it is dispatched later on the target's thread.
// Safe to call from any thread.
void PostAppMessage(QObject* target, unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0);
