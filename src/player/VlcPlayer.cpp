#include "player/VlcPlayer.h"

#include <vlc/vlc.h>

#include "platform/Trace.h"

VlcPlayer::VlcPlayer() {
    // "dumy" is the interface module name the player has always passed; libvlc ignores it
    // because no interface is started through libvlc_new.
    const char* const args[] = {"-I", "dumy", "--ignore-config", "--plugin-path=./plugins"};
    instance = libvlc_new(4, args);
    if (instance == nullptr) {
        platform::Trace("libvlc_new failed: playback is unavailable");
        return;
    }
    mediaPlayer = libvlc_media_player_new(instance);
    eventManager = libvlc_media_player_event_manager(mediaPlayer);
    mediaList = libvlc_media_list_new(instance);
    listPlayer = libvlc_media_list_player_new(instance);
    libvlc_media_list_player_set_media_list(listPlayer, mediaList);
    libvlc_media_list_player_set_media_player(listPlayer, mediaPlayer);
    libvlc_media_list_player_set_playback_mode(listPlayer, libvlc_playback_mode_default);
}

VlcPlayer::~VlcPlayer() {
    if (listPlayer != nullptr) libvlc_media_list_player_release(listPlayer);
    if (mediaList != nullptr) libvlc_media_list_release(mediaList);
    if (mediaPlayer != nullptr) libvlc_media_player_release(mediaPlayer);
    if (instance != nullptr) libvlc_release(instance);
}

int VlcPlayer::GetState() const {
    if (mediaPlayer == nullptr) return kStateNothingSpecial;
    const int state = libvlc_media_player_get_state(mediaPlayer);
    return state >= 0 && state <= 6 ? state : kStateError;
}

int64_t VlcPlayer::GetTime() const {
    return mediaPlayer != nullptr ? libvlc_media_player_get_time(mediaPlayer) : -1;
}

int64_t VlcPlayer::GetLength() const {
    return mediaPlayer != nullptr ? libvlc_media_player_get_length(mediaPlayer) : -1;
}

void VlcPlayer::SetHwnd(uint32_t window) {
    if (mediaPlayer != nullptr) libvlc_media_player_set_xwindow(mediaPlayer, window);
}
