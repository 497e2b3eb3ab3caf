#pragma once

// The player's events as the rest of the program sees them: libvlc's types stay inside
// VlcPlayer.

// The events the program reacts to.
enum class PlayerEvent {
    kEncounteredError,
    kOpening,
    kPlaying,
    kPaused,
    kStopped,
    kTimeChanged,
    kEndReached,
    kLengthChanged,
    kVout,
    // A DVD went to another title or menu, or a menu started over.
    kTitleChanged,
};

// The event's libvlc name ("MediaPlayerPlaying"), as the operation log records it.
[[nodiscard]] const char* PlayerEventName(PlayerEvent event);

// Called on libvlc's threads, for each event, with the user data given when attaching.
using PlayerEventFn = void (*)(PlayerEvent event, void* userData);
