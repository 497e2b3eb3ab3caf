#pragma once

// Owns the libvlc objects of the run: instance, media player, media list and list player.
// Media always plays through the list, which holds at most one item: each open replaces it.
// One plain operation per libvlc call the program needs; it knows nothing of windows,
// devices or logs. Used from the user-interface thread, but for GetTime, SetTime and GetState,
// which libvlc takes from any thread (the clock is read on the device thread). When libvlc cannot
// start, every operation is a harmless no-op and the getters report "no media".

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "player/MediaPlayer.h"
#include "player/PlayerClock.h"
#include "player/PlayerEvent.h"

struct libvlc_event_t;
struct libvlc_instance_t;
struct libvlc_media_player_t;
struct libvlc_media_t;
struct libvlc_event_manager_t;
struct libvlc_media_list_t;
struct libvlc_media_list_player_t;

// VLC_PLUGIN_PATH's value `current` (null: unset) with `folder` added at its end, unless it is
// already one of its entries.
[[nodiscard]] std::string PluginPathWith(const std::string& folder, const char* current);

class VlcPlayer final : public PlayerTime {
public:
    // Starts libvlc with the player's fixed arguments; other arguments are for tests.
    explicit VlcPlayer(const std::vector<const char*>& arguments = DefaultArguments());
    ~VlcPlayer() override;

    // "-I", "dumy", "--ignore-config": the arguments the player has always passed. "dumy"
    // names no interface, and none is started through libvlc_new. (libvlc 3 has no
    // --plugin-path option; the plug-in folder next to the program goes through
    // UsePluginFolder.)
    [[nodiscard]] static std::vector<const char*> DefaultArguments();

    // Makes libvlc also load the plug-ins in `folder` (such as "plugins" next to the
    // executable) when it is a folder: its VLC_PLUGIN_PATH, read when libvlc starts. Call it
    // before the first player is made, while the process has no other threads reading the
    // environment.
    static void UsePluginFolder(const std::string& folder);

    VlcPlayer(const VlcPlayer&) = delete;
    VlcPlayer& operator=(const VlcPlayer&) = delete;

    // False when libvlc could not be started.
    [[nodiscard]] bool IsAvailable() const { return instance_ != nullptr; }

    // Replace the list's item with a file (UTF-8 path) or a location (UTF-8 MRL).
    void OpenPath(const std::string& path);
    void OpenLocation(const std::string& location);

    // Starts the list, then waits 10 ms so that the player has begun before anyone reads it.
    void Play();
    // Only while playing: it never resumes.
    void Pause();
    // Only while playing, paused or ended.
    void Stop();

    [[nodiscard]] PlayerState GetState() const override;
    // libvlc's time; 0 from a change of title until libvlc tells a time in the new one, and on
    // a disc, the time before while its length is gone (see lengthGone_).
    [[nodiscard]] int64_t GetTime() const override;
    void SetTime(int64_t ms) override;
    // When libvlc announced `reported` as the new time (its time-changed event), if that was
    // the latest it announced. Any thread.
    [[nodiscard]] std::optional<int64_t> ReportSeenAt(int64_t reported) const override;
    [[nodiscard]] int64_t GetLength() const;
    // -1 when there is no audio output yet.
    [[nodiscard]] int GetVolume() const;
    void SetVolume(int volume);
    // True also when there is no audio output (libvlc reports -1 then).
    [[nodiscard]] bool IsMuted() const;
    void SetMute(bool on);
    // Whether a video output shows the media's pictures.
    [[nodiscard]] bool HasVideoOutput() const;
    void SetTitle(int index);
    void SetChapter(int index);
    // DVD title and chapter names; left untouched unless the media was opened by location.
    void GetTitleNames(std::vector<std::string>* list) const;
    void GetChapterNames(std::vector<std::string>* list) const;
    // Whether the current title is one of the disc's menus (libvlc flags them in the title
    // descriptions, the disc's own menu first) or a title.
    [[nodiscard]] DiscPlace GetDiscPlace() const;
    void Navigate(MenuStep step);
    // Goes to the first title flagged as a menu; false when there is none.
    bool ShowDiscMenu();
    // Any thread.
    [[nodiscard]] uint64_t TitleChanges() const override { return titleChanges_.load(); }
    [[nodiscard]] MediaKind GetMediaKind() const { return mediaKind_; }
    // Items in the media list: 0 before the first open, 1 after.
    [[nodiscard]] int ItemCount() const;

    // The X11 window the video is drawn into.
    void SetHwnd(uint32_t window);

    // Attaches `callback` for the ten player events the program reacts to; it is called on
    // libvlc's threads (and on the caller's, for events a call raises at once).
    void AttachEvents(PlayerEventFn callback, void* userData);
    // Detaches them again; when it returns, no callback runs or will run.
    void DetachEvents();

private:
    // Releases one reference to a libvlc object.
    struct Release {
        void operator()(libvlc_instance_t* object) const;
        void operator()(libvlc_media_player_t* object) const;
        void operator()(libvlc_media_list_t* object) const;
        void operator()(libvlc_media_list_player_t* object) const;
    };
    template <typename T>
    using Owned = std::unique_ptr<T, Release>;

    void ReplaceMedia(libvlc_media_t* newMedia);
    // libvlc's callback: passes the event on as a PlayerEvent.
    static void OnEvent(const libvlc_event_t* event, void* self);
    // libvlc's callback for each new time: notes it and when it came.
    static void OnTimeChanged(const libvlc_event_t* event, void* self);
    // libvlc's callback for each new length: a disc's length going to 0 announces a change of
    // title or chapter (see lengthGone_).
    static void OnLengthChanged(const libvlc_event_t* event, void* self);
    // libvlc's callback for each change of title: counts it when the title number changed
    // (libvlc tells some changes twice, and again each time a menu starts over).
    static void OnTitleChanged(const libvlc_event_t* event, void* self);
    // libvlc's flags of each title (libvlc_title_menu and the like); none unless the media was
    // opened by location.
    [[nodiscard]] std::vector<unsigned> TitleFlags() const;

    // Released in the reverse order: the list player first, the instance last.
    Owned<libvlc_instance_t> instance_;
    Owned<libvlc_media_player_t> mediaPlayer_;
    std::atomic<MediaKind> mediaKind_ = MediaKind::kByPath;  // read on libvlc's threads too
    libvlc_event_manager_t* eventManager_ = nullptr;         // the media player's own
    PlayerEventFn eventCallback_ = nullptr;
    void* eventUserData_ = nullptr;
    Owned<libvlc_media_list_t> mediaList_;
    Owned<libvlc_media_list_player_t> listPlayer_;
    // The latest time libvlc announced, and when (monotonic ms).
    mutable std::mutex announcing_;
    int64_t announced_ = -1;
    int64_t announcedAt_ = 0;
    // From a change of title until libvlc announces a time in it: its get_time still gives the
    // place the player left for up to a few hundred ms, so the time reads 0, the title's start.
    bool titleStarting_ = false;
    // On a disc, libvlc reports the length 0 as it passes from one title, chapter or menu to the
    // next, and in between may report a time of neither (3 s ahead at a chapter, the menu's
    // time before the title has ended): the time then stands where it was, until a length
    // comes again or kLengthGoneMs has passed. Monotonic ms of the 0; none when a length is
    // known.
    std::optional<int64_t> lengthGone_;
    int64_t timeBeforeGone_ = 0;
    std::atomic<uint64_t> titleChanges_ = 0;
    std::atomic<int> title_ = -1;  // the number of the last title change; -1 after an open
};
