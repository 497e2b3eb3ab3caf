#include "player/VlcPlayer.h"

#include <sys/stat.h>
#include <vlc/vlc.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/MonotonicClock.h"
#include "platform/Trace.h"

namespace {

// The events the program reacts to, in the order they are attached, and what they are called
// outside.
constexpr struct {
    libvlc_event_e type;
    PlayerEvent event;
} kPlayerEvents[] = {
    {libvlc_MediaPlayerEncounteredError, PlayerEvent::kEncounteredError},
    {libvlc_MediaPlayerOpening, PlayerEvent::kOpening},
    {libvlc_MediaPlayerPlaying, PlayerEvent::kPlaying},
    {libvlc_MediaPlayerPaused, PlayerEvent::kPaused},
    {libvlc_MediaPlayerStopped, PlayerEvent::kStopped},
    {libvlc_MediaPlayerTimeChanged, PlayerEvent::kTimeChanged},
    {libvlc_MediaPlayerEndReached, PlayerEvent::kEndReached},
    {libvlc_MediaPlayerLengthChanged, PlayerEvent::kLengthChanged},
    {libvlc_MediaPlayerVout, PlayerEvent::kVout},
    {libvlc_MediaPlayerTitleChanged, PlayerEvent::kTitleChanged},
};

constexpr struct {
    MenuStep step;
    libvlc_navigate_mode_t mode;
} kMenuSteps[] = {
    {MenuStep::kActivate, libvlc_navigate_activate}, {MenuStep::kUp, libvlc_navigate_up},
    {MenuStep::kDown, libvlc_navigate_down},         {MenuStep::kLeft, libvlc_navigate_left},
    {MenuStep::kRight, libvlc_navigate_right},
};

void AppendNames(libvlc_track_description_t* first, std::vector<std::string>* list) {
    for (auto* item = first; item != nullptr; item = item->p_next) {
        list->emplace_back(item->psz_name != nullptr ? item->psz_name : "");
    }
    if (first != nullptr) libvlc_track_description_list_release(first);
}

}  // namespace

// The longest a disc's time stands while its length is gone.
constexpr int64_t kLengthGoneMs = 1000;

const char* PlayerEventName(PlayerEvent event) {
    for (const auto& known : kPlayerEvents) {
        if (known.event == event) return libvlc_event_type_name(known.type);
    }
    return "";
}

std::vector<const char*> VlcPlayer::DefaultArguments() { return {"-I", "dumy", "--ignore-config"}; }

std::string PluginPathWith(const std::string& folder, const char* current) {
    if (current == nullptr || current[0] == '\0') return folder;
    // Already there (a second call, or the user named it): leave the path as it is.
    const std::string path(current);
    size_t start = 0;
    while (start <= path.size()) {
        const size_t colon = std::min(path.find(':', start), path.size());
        if (path.compare(start, colon - start, folder) == 0 && colon - start == folder.size()) {
            return path;
        }
        start = colon + 1;
    }
    return path + ":" + folder;
}

void VlcPlayer::UsePluginFolder(const std::string& folder) {
    struct stat info {};
    if (folder.empty() || ::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return;
    ::setenv("VLC_PLUGIN_PATH", PluginPathWith(folder, std::getenv("VLC_PLUGIN_PATH")).c_str(), 1);
}

void VlcPlayer::Release::operator()(libvlc_instance_t* object) const { libvlc_release(object); }
void VlcPlayer::Release::operator()(libvlc_media_player_t* object) const {
    libvlc_media_player_release(object);
}
void VlcPlayer::Release::operator()(libvlc_media_list_t* object) const {
    libvlc_media_list_release(object);
}
void VlcPlayer::Release::operator()(libvlc_media_list_player_t* object) const {
    libvlc_media_list_player_release(object);
}

VlcPlayer::VlcPlayer(const std::vector<const char*>& arguments) {
    instance_.reset(libvlc_new(static_cast<int>(arguments.size()), arguments.data()));
    if (instance_ == nullptr) {
        platform::Trace("libvlc_new failed: playback is unavailable\n");
        return;
    }
    mediaPlayer_.reset(libvlc_media_player_new(instance_.get()));
    // The window handles the keys. The pointer reaches the video output only where the window
    // lets it through (a DVD's menu buttons follow it and take its clicks); elsewhere the
    // window keeps its clicks, double clicks and wheel.
    libvlc_video_set_key_input(mediaPlayer_.get(), 0);
    libvlc_video_set_mouse_input(mediaPlayer_.get(), 1);
    eventManager_ = libvlc_media_player_event_manager(mediaPlayer_.get());
    mediaList_.reset(libvlc_media_list_new(instance_.get()));
    listPlayer_.reset(libvlc_media_list_player_new(instance_.get()));
    libvlc_media_list_player_set_media_list(listPlayer_.get(), mediaList_.get());
    libvlc_media_list_player_set_media_player(listPlayer_.get(), mediaPlayer_.get());
    libvlc_media_list_player_set_playback_mode(listPlayer_.get(), libvlc_playback_mode_default);
    libvlc_event_attach(eventManager_, libvlc_MediaPlayerTimeChanged, &VlcPlayer::OnTimeChanged,
                        this);
    libvlc_event_attach(eventManager_, libvlc_MediaPlayerTitleChanged, &VlcPlayer::OnTitleChanged,
                        this);
    libvlc_event_attach(eventManager_, libvlc_MediaPlayerLengthChanged, &VlcPlayer::OnLengthChanged,
                        this);
}

// No callback may run once the objects start to go.
VlcPlayer::~VlcPlayer() {
    DetachEvents();
    if (eventManager_ != nullptr) {
        libvlc_event_detach(eventManager_, libvlc_MediaPlayerTimeChanged, &VlcPlayer::OnTimeChanged,
                            this);
        libvlc_event_detach(eventManager_, libvlc_MediaPlayerTitleChanged,
                            &VlcPlayer::OnTitleChanged, this);
        libvlc_event_detach(eventManager_, libvlc_MediaPlayerLengthChanged,
                            &VlcPlayer::OnLengthChanged, this);
    }
}

void VlcPlayer::OpenPath(const std::string& path) {
    mediaKind_ = MediaKind::kByPath;
    if (instance_ == nullptr) return;
    ReplaceMedia(libvlc_media_new_path(instance_.get(), path.c_str()));
}

void VlcPlayer::OpenLocation(const std::string& location) {
    mediaKind_ = MediaKind::kByLocation;
    if (instance_ == nullptr) return;
    ReplaceMedia(libvlc_media_new_location(instance_.get(), location.c_str()));
}

// The list keeps the reference that holds the media alive; ours is released at once.
void VlcPlayer::ReplaceMedia(libvlc_media_t* newMedia) {
    title_ = -1;
    {
        const std::lock_guard lock(announcing_);
        titleStarting_ = false;
        lengthGone_.reset();
    }
    libvlc_media_list_lock(mediaList_.get());
    if (libvlc_media_list_count(mediaList_.get()) > 0)
        libvlc_media_list_remove_index(mediaList_.get(), 0);
    if (newMedia != nullptr) libvlc_media_list_add_media(mediaList_.get(), newMedia);
    libvlc_media_list_unlock(mediaList_.get());
    if (newMedia != nullptr) {
        libvlc_media_release(newMedia);
    } else {
        platform::Trace("libvlc could not create the media\n");
    }
}

int VlcPlayer::ItemCount() const {
    if (mediaList_ == nullptr) return 0;
    libvlc_media_list_lock(mediaList_.get());
    const int count = libvlc_media_list_count(mediaList_.get());
    libvlc_media_list_unlock(mediaList_.get());
    return count;
}

void VlcPlayer::Play() {
    if (listPlayer_ == nullptr) return;
    libvlc_media_list_player_play(listPlayer_.get());
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void VlcPlayer::Pause() {
    if (GetState() == PlayerState::kPlaying) libvlc_media_list_player_pause(listPlayer_.get());
}

void VlcPlayer::Stop() {
    const PlayerState state = GetState();
    if (state == PlayerState::kPlaying || state == PlayerState::kPaused ||
        state == PlayerState::kEnded) {
        libvlc_media_list_player_stop(listPlayer_.get());
    }
}

PlayerState VlcPlayer::GetState() const {
    if (mediaPlayer_ == nullptr) return PlayerState::kNothingSpecial;
    // libvlc's states up to "ended" are ours by value; anything else counts as an error.
    const int state = libvlc_media_player_get_state(mediaPlayer_.get());
    if (state < libvlc_NothingSpecial || state > libvlc_Ended) return PlayerState::kError;
    return static_cast<PlayerState>(state);
}

int64_t VlcPlayer::GetTime() const {
    if (mediaPlayer_ == nullptr) return -1;
    {
        const std::lock_guard lock(announcing_);
        if (titleStarting_) return 0;
        if (lengthGone_ && platform::Steady().NowMs() - *lengthGone_ < kLengthGoneMs) {
            return timeBeforeGone_;
        }
    }
    return libvlc_media_player_get_time(mediaPlayer_.get());
}

void VlcPlayer::SetTime(int64_t ms) {
    if (mediaPlayer_ != nullptr) libvlc_media_player_set_time(mediaPlayer_.get(), ms);
}

int64_t VlcPlayer::GetLength() const {
    return mediaPlayer_ != nullptr ? libvlc_media_player_get_length(mediaPlayer_.get()) : -1;
}

int VlcPlayer::GetVolume() const {
    return mediaPlayer_ != nullptr ? libvlc_audio_get_volume(mediaPlayer_.get()) : -1;
}

void VlcPlayer::SetVolume(int volume) {
    if (mediaPlayer_ != nullptr) libvlc_audio_set_volume(mediaPlayer_.get(), volume);
}

bool VlcPlayer::IsMuted() const {
    return mediaPlayer_ == nullptr || libvlc_audio_get_mute(mediaPlayer_.get()) != 0;
}

void VlcPlayer::SetMute(bool on) {
    if (mediaPlayer_ != nullptr) libvlc_audio_set_mute(mediaPlayer_.get(), on ? 1 : 0);
}

bool VlcPlayer::HasVideoOutput() const {
    return mediaPlayer_ != nullptr && libvlc_media_player_has_vout(mediaPlayer_.get()) > 0;
}

void VlcPlayer::SetTitle(int index) {
    if (mediaPlayer_ != nullptr) libvlc_media_player_set_title(mediaPlayer_.get(), index);
}

void VlcPlayer::SetChapter(int index) {
    if (mediaPlayer_ != nullptr) libvlc_media_player_set_chapter(mediaPlayer_.get(), index);
}

// The DVD menus are built on the order of these description lists (the disc's own menu
// first, then the titles by number); libvlc 3 marks the calls deprecated.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

void VlcPlayer::GetTitleNames(std::vector<std::string>* list) const {
    if (list == nullptr || mediaKind_ != MediaKind::kByLocation || mediaPlayer_ == nullptr) return;
    list->clear();
    AppendNames(libvlc_video_get_title_description(mediaPlayer_.get()), list);
}

void VlcPlayer::GetChapterNames(std::vector<std::string>* list) const {
    if (list == nullptr || mediaKind_ != MediaKind::kByLocation || mediaPlayer_ == nullptr) return;
    list->clear();
    const int title = libvlc_media_player_get_title(mediaPlayer_.get());
    AppendNames(libvlc_video_get_chapter_description(mediaPlayer_.get(), title), list);
}

#pragma GCC diagnostic pop

std::vector<unsigned> VlcPlayer::TitleFlags() const {
    std::vector<unsigned> flags;
    if (mediaKind_ != MediaKind::kByLocation || mediaPlayer_ == nullptr) return flags;
    libvlc_title_description_t** titles = nullptr;
    const int count = libvlc_media_player_get_full_title_descriptions(mediaPlayer_.get(), &titles);
    for (int i = 0; i < count; ++i) flags.push_back(titles[i]->i_flags);
    if (count > 0) libvlc_title_descriptions_release(titles, static_cast<unsigned>(count));
    return flags;
}

DiscPlace VlcPlayer::GetDiscPlace() const {
    const std::vector<unsigned> flags = TitleFlags();
    if (flags.empty()) return DiscPlace::kUnknown;
    const int title = libvlc_media_player_get_title(mediaPlayer_.get());
    if (title < 0 || static_cast<size_t>(title) >= flags.size()) return DiscPlace::kUnknown;
    return (flags[static_cast<size_t>(title)] & libvlc_title_menu) != 0 ? DiscPlace::kMenu
                                                                        : DiscPlace::kTitle;
}

void VlcPlayer::Navigate(MenuStep step) {
    if (mediaPlayer_ == nullptr) return;
    for (const auto& known : kMenuSteps) {
        if (known.step == step) libvlc_media_player_navigate(mediaPlayer_.get(), known.mode);
    }
}

bool VlcPlayer::ShowDiscMenu() {
    const std::vector<unsigned> flags = TitleFlags();
    const auto menu = std::find_if(flags.begin(), flags.end(),
                                   [](unsigned f) { return (f & libvlc_title_menu) != 0; });
    if (menu == flags.end()) return false;
    libvlc_media_player_set_title(mediaPlayer_.get(), static_cast<int>(menu - flags.begin()));
    return true;
}

void VlcPlayer::SetHwnd(uint32_t window) {
    if (mediaPlayer_ != nullptr) libvlc_media_player_set_xwindow(mediaPlayer_.get(), window);
}

void VlcPlayer::AttachEvents(PlayerEventFn callback, void* userData) {
    if (eventManager_ == nullptr || callback == nullptr) return;
    DetachEvents();
    eventCallback_ = callback;
    eventUserData_ = userData;
    for (const auto& known : kPlayerEvents) {
        libvlc_event_attach(eventManager_, known.type, &VlcPlayer::OnEvent, this);
    }
}

void VlcPlayer::DetachEvents() {
    if (eventManager_ == nullptr || eventCallback_ == nullptr) return;
    for (const auto& known : kPlayerEvents) {
        libvlc_event_detach(eventManager_, known.type, &VlcPlayer::OnEvent, this);
    }
    eventCallback_ = nullptr;
    eventUserData_ = nullptr;
}

void VlcPlayer::OnEvent(const libvlc_event_t* event, void* self) {
    const auto* player = static_cast<const VlcPlayer*>(self);
    for (const auto& known : kPlayerEvents) {
        if (known.type == event->type) {
            player->eventCallback_(known.event, player->eventUserData_);
            return;
        }
    }
}

void VlcPlayer::OnTimeChanged(const libvlc_event_t* event, void* self) {
    auto* player = static_cast<VlcPlayer*>(self);
    const int64_t at = platform::Steady().NowMs();
    const std::lock_guard lock(player->announcing_);
    player->announced_ = event->u.media_player_time_changed.new_time;
    player->announcedAt_ = at;
    player->titleStarting_ = false;
}

void VlcPlayer::OnLengthChanged(const libvlc_event_t* event, void* self) {
    auto* player = static_cast<VlcPlayer*>(self);
    const bool gone = event->u.media_player_length_changed.new_length <= 0 &&
                      player->mediaKind_ == MediaKind::kByLocation;
    const int64_t at = platform::Steady().NowMs();
    const std::lock_guard lock(player->announcing_);
    if (gone && !player->lengthGone_) {
        player->lengthGone_ = at;
        player->timeBeforeGone_ = player->announced_ >= 0 ? player->announced_ : 0;
    } else if (!gone) {
        player->lengthGone_.reset();
    }
}

void VlcPlayer::OnTitleChanged(const libvlc_event_t* event, void* self) {
    auto* player = static_cast<VlcPlayer*>(self);
    const int title = event->u.media_player_title_changed.new_title;
    if (player->title_.exchange(title) == title) return;
    {
        const std::lock_guard lock(player->announcing_);
        player->announced_ = -1;
        player->titleStarting_ = true;
    }
    player->titleChanges_.fetch_add(1);
}

std::optional<int64_t> VlcPlayer::ReportSeenAt(int64_t reported) const {
    const std::lock_guard lock(announcing_);
    if (reported != announced_) return std::nullopt;
    return announcedAt_;
}
