#pragma once

// A player set by hand, for the playback session's tests: the test sets the state, the clock,
// the length and the sound, and raises the player's events through the session's own callback.
// Every command the session gives is written to a journal ("player seek 5000"), the same one
// the device fakes write their packets to, so that tests see the order of the two.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "player/MediaPlayer.h"
#include "support/DeviceFakes.h"

namespace testing_support {

class HandPlayer final : public MediaPlayer {
public:
    explicit HandPlayer(Journal& journal) : journal_(journal) {}

    [[nodiscard]] bool IsAvailable() const override { return available; }
    void OpenFile(const std::string& path, AdjusterKind kind) override {
        journal_.Add("player open " + path + Kind(kind));
        mediaKind = MediaKind::kByPath;
    }
    void OpenLocation(const std::string& location, AdjusterKind kind) override {
        journal_.Add("player open " + location + Kind(kind));
        mediaKind = MediaKind::kByLocation;
    }
    void Play() override { journal_.Add("player play"); }
    void Pause() override { journal_.Add("player pause"); }
    void Stop() override { journal_.Add("player stop"); }
    // As the adjusters do: the clock reads the target at once.
    void SetTime(int64_t ms) override {
        journal_.Add("player seek " + std::to_string(ms));
        time = ms;
    }
    [[nodiscard]] int64_t GetTime() override { return time; }
    [[nodiscard]] int64_t GetReportedTime() const override { return time; }
    [[nodiscard]] PlayerState GetState() const override { return state; }
    [[nodiscard]] int64_t GetLength() const override { return length; }
    [[nodiscard]] int GetVolume() const override { return volume; }
    void SetVolume(int v) override {
        journal_.Add("player volume " + std::to_string(v));
        volume = v;
    }
    [[nodiscard]] bool IsMuted() const override { return muted; }
    void SetMute(bool on) override {
        journal_.Add(on ? "player mute on" : "player mute off");
        muted = on;
    }
    [[nodiscard]] bool HasVideoOutput() const override { return hasVideo; }
    void SetTitle(int index) override { journal_.Add("player title " + std::to_string(index)); }
    void SetChapter(int index) override { journal_.Add("player chapter " + std::to_string(index)); }
    void GetTitleNames(std::vector<std::string>* list) const override { *list = titles; }
    void GetChapterNames(std::vector<std::string>* list) const override { *list = chapters; }
    [[nodiscard]] MediaKind GetMediaKind() const override { return mediaKind; }
    [[nodiscard]] DiscPlace GetDiscPlace() const override { return place; }
    void Navigate(MenuStep step) override {
        journal_.Add("player navigate " + std::to_string(static_cast<int>(step)));
    }
    bool ShowDiscMenu() override {
        journal_.Add("player disc menu");
        return true;
    }
    [[nodiscard]] uint64_t TitleChanges() const override { return titleChanges; }
    // Goes to another title or menu as libvlc does: counts the change, then tells it.
    void ChangeTitle(DiscPlace to) {
        place = to;
        ++titleChanges;
    }
    void SetHwnd(uint32_t) override {}
    void AttachEvents(PlayerEventFn callback, void* userData) override {
        callback_ = callback;
        userData_ = userData;
    }
    void DetachEvents() override { callback_ = nullptr; }

    // Raises `event` as libvlc's thread would: through the attached callback.
    void Raise(PlayerEvent event) {
        if (callback_ != nullptr) callback_(event, userData_);
    }

    bool available = true;
    std::atomic<int64_t> time = -1;
    std::atomic<PlayerState> state = PlayerState::kNothingSpecial;
    int64_t length = 0;
    int volume = -1;
    bool muted = false;
    bool hasVideo = false;
    MediaKind mediaKind = MediaKind::kByPath;
    std::atomic<DiscPlace> place = DiscPlace::kUnknown;
    std::atomic<uint64_t> titleChanges = 0;
    std::vector<std::string> titles;
    std::vector<std::string> chapters;

private:
    static std::string Kind(AdjusterKind kind) {
        switch (kind) {
            case AdjusterKind::kDvd:
                return " (dvd clock)";
            case AdjusterKind::kDvdWholeSecond:
                return " (whole-second dvd clock)";
            case AdjusterKind::kFile:
                break;
        }
        return " (file clock)";
    }

    Journal& journal_;
    PlayerEventFn callback_ = nullptr;
    void* userData_ = nullptr;
};

}  // namespace testing_support
