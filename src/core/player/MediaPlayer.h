#pragma once

// What the playback session and the window ask of the player: opening media, the transport,
// the adjusted clock, sound, DVD titles and chapters, and its events. AdjustedPlayer is the one
// on libvlc; tests put a player set by hand in its place to drive the session's decisions.
// Used from the user-interface thread, but for the clock (GetTime, GetState), which the device
// thread reads too.

#include <cstdint>
#include <string>
#include <vector>

#include "player/PlayerClock.h"
#include "player/PlayerEvent.h"

// How the current media was opened.
enum class MediaKind {
    kByPath,
    kByLocation,
};

// Which timecode adjuster reads the clock of the media being opened.
enum class AdjusterKind {
    kFile,
    // A DVD on the picture's clock (FileAdjuster scaled for the disc)...
    kDvd,
    // ...or on the whole-second clock play files may have been tuned against (DVDAdjuster).
    kDvdWholeSecond,
};

// Where on a disc the player is: one of its menus or a title. Unknown for media without
// titles, and for a disc before libvlc has listed its titles.
enum class DiscPlace {
    kUnknown,
    kMenu,
    kTitle,
};

// A step through the buttons of a DVD's menu.
enum class MenuStep {
    kActivate,
    kUp,
    kDown,
    kLeft,
    kRight,
};

class MediaPlayer : public PlayerClock {
public:
    // Whether the playback engine started.
    [[nodiscard]] virtual bool IsAvailable() const = 0;

    virtual void OpenFile(const std::string& path, AdjusterKind kind) = 0;
    virtual void OpenLocation(const std::string& location, AdjusterKind kind) = 0;
    // Starts playback, then restarts the adjusted clock.
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    // Seeks; the adjusted clock reads `ms` from then on.
    virtual void SetTime(int64_t ms) = 0;
    // The position as the player reports it, before adjustment.
    [[nodiscard]] virtual int64_t GetReportedTime() const = 0;
    // The media's length in ms; 0 when unknown.
    [[nodiscard]] virtual int64_t GetLength() const = 0;

    // -1 while there is no audio output.
    [[nodiscard]] virtual int GetVolume() const = 0;
    virtual void SetVolume(int volume) = 0;
    [[nodiscard]] virtual bool IsMuted() const = 0;
    virtual void SetMute(bool on) = 0;
    [[nodiscard]] virtual bool HasVideoOutput() const = 0;

    virtual void SetTitle(int index) = 0;
    virtual void SetChapter(int index) = 0;
    virtual void GetTitleNames(std::vector<std::string>* list) const = 0;
    virtual void GetChapterNames(std::vector<std::string>* list) const = 0;
    [[nodiscard]] virtual MediaKind GetMediaKind() const = 0;
    [[nodiscard]] virtual DiscPlace GetDiscPlace() const = 0;
    // Moves between or activates the buttons of the menu shown.
    virtual void Navigate(MenuStep step) = 0;
    // Goes to the disc's menu; false when it has none.
    virtual bool ShowDiscMenu() = 0;

    // The X11 window the video is drawn into.
    virtual void SetHwnd(uint32_t window) = 0;
    // `callback` gets every event, on the player's threads, until DetachEvents returns.
    virtual void AttachEvents(PlayerEventFn callback, void* userData) = 0;
    virtual void DetachEvents() = 0;
};
