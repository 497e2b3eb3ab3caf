#pragma once

// Owns the libvlc objects of the run: instance, media player, media list and list player.
// Media always plays through the list, which holds at most one item. Used from the
// user-interface thread only. When libvlc cannot start, every operation is a harmless no-op
// and the getters report "no media".

#include <cstdint>

struct libvlc_instance_t;
struct libvlc_media_player_t;
struct libvlc_media_t;
struct libvlc_event_manager_t;
struct libvlc_media_list_t;
struct libvlc_media_list_player_t;

// Player states as the rest of the program sees them.
enum PlayerState : int {
    kStateNothingSpecial = 0,
    kStateOpening = 1,
    kStateBuffering = 2,
    kStatePlaying = 3,
    kStatePaused = 4,
    kStateStopped = 5,
    kStateEnded = 6,
    kStateError = 7,
};

class VlcPlayer {
public:
    VlcPlayer();
    ~VlcPlayer();

    VlcPlayer(const VlcPlayer&) = delete;
    VlcPlayer& operator=(const VlcPlayer&) = delete;

    // False when libvlc could not be started.
    [[nodiscard]] bool IsAvailable() const { return instance != nullptr; }

    [[nodiscard]] int GetState() const;
    [[nodiscard]] int64_t GetTime() const;
    [[nodiscard]] int64_t GetLength() const;
    [[nodiscard]] int GetMediaKind() const { return mediaKind; }

    // The X11 window the video is drawn into.
    void SetHwnd(uint32_t window);

private:
    libvlc_instance_t* instance = nullptr;
    libvlc_media_player_t* mediaPlayer = nullptr;
    int mediaKind = 0;
    libvlc_media_t* media = nullptr;
    libvlc_event_manager_t* eventManager = nullptr;
    libvlc_media_list_t* mediaList = nullptr;
    libvlc_media_list_player_t* listPlayer = nullptr;
};
