#pragma once

// The player on libvlc. Owns the VlcPlayer for the whole run and the current timecode
// adjuster, which is replaced on every open: positions are read and set only through it. The
// medium's timing (StreamTiming) is read on a thread of its own, since a drive may take
// seconds to spin up; the adjuster gets it when it comes, normally before the first picture. Owned
// by the playback session and used from the user-interface thread, but for its clock (GetTime,
// GetState, TitleChanges), which the device thread reads too: the adjuster is used under a lock.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "player/ClockFit.h"
#include "player/MediaPlayer.h"
#include "player/TimecodeAdjuster.h"
#include "player/VlcPlayer.h"

class AdjustedPlayer final : public MediaPlayer {
public:
    // Starts libvlc with the player's fixed arguments; other arguments are for tests.
    explicit AdjustedPlayer(
        const std::vector<const char*>& arguments = VlcPlayer::DefaultArguments());
    ~AdjustedPlayer() override;

    AdjustedPlayer(const AdjustedPlayer&) = delete;
    AdjustedPlayer& operator=(const AdjustedPlayer&) = delete;

    [[nodiscard]] bool IsAvailable() const override { return vlc_->IsAvailable(); }

    void OpenFile(const std::string& path, AdjusterKind kind) override;
    void OpenLocation(const std::string& location, AdjusterKind kind) override;
    // Starts playback, then restarts the adjuster's clock.
    void Play() override;
    // The adjusted playback position in ms. Any thread.
    [[nodiscard]] int64_t GetTime() override;
    // The position as libvlc reports it, before adjustment.
    [[nodiscard]] int64_t GetReportedTime() const override { return vlc_->GetTime(); }
    // Seeks through the adjuster.
    void SetTime(int64_t ms) override;

    void Pause() override { vlc_->Pause(); }
    void Stop() override { vlc_->Stop(); }
    // Any thread.
    [[nodiscard]] PlayerState GetState() const override { return vlc_->GetState(); }
    [[nodiscard]] int64_t GetLength() const override { return vlc_->GetLength(); }
    [[nodiscard]] int GetVolume() const override { return vlc_->GetVolume(); }
    void SetVolume(int volume) override { vlc_->SetVolume(volume); }
    [[nodiscard]] bool IsMuted() const override { return vlc_->IsMuted(); }
    void SetMute(bool on) override { vlc_->SetMute(on); }
    [[nodiscard]] bool HasVideoOutput() const override { return vlc_->HasVideoOutput(); }
    void SetTitle(int index) override { vlc_->SetTitle(index); }
    void SetChapter(int index) override { vlc_->SetChapter(index); }
    void GetTitleNames(std::vector<std::string>* list) const override { vlc_->GetTitleNames(list); }
    void GetChapterNames(std::vector<std::string>* list) const override {
        vlc_->GetChapterNames(list);
    }
    [[nodiscard]] MediaKind GetMediaKind() const override { return vlc_->GetMediaKind(); }
    [[nodiscard]] DiscPlace GetDiscPlace() const override { return vlc_->GetDiscPlace(); }
    void Navigate(MenuStep step) override { vlc_->Navigate(step); }
    bool ShowDiscMenu() override { return vlc_->ShowDiscMenu(); }
    // Any thread.
    [[nodiscard]] uint64_t TitleChanges() const override { return vlc_->TitleChanges(); }
    void SetHwnd(uint32_t window) override { vlc_->SetHwnd(window); }
    void AttachEvents(PlayerEventFn callback, void* userData) override {
        vlc_->AttachEvents(callback, userData);
    }
    void DetachEvents() override { vlc_->DetachEvents(); }

    [[nodiscard]] const TimecodeAdjuster& Adjuster() const { return *slot_->adjuster; }
    // The scale the picture's clock runs on now; none on the whole-second clock. Any thread.
    [[nodiscard]] std::optional<ClockScale> PictureClockScale() const;

private:
    // The current adjuster, shared with the threads that read each medium's timing.
    struct Slot {
        std::mutex lock;  // guards everything here
        std::unique_ptr<TimecodeAdjuster> adjuster;
        // Counts the opens: a reading for an earlier one is dropped.
        uint64_t opened = 0;
        // The player's count of title changes the adjuster has started afresh for.
        uint64_t titleChanges = 0;
    };

    // The clock of a disc starts afresh with each title or menu, so that it never stands at
    // the last reading of the one before. With the slot's lock held.
    void FollowTitle();

    void SelectAdjuster(AdjusterKind kind, const std::string& medium);

    std::unique_ptr<VlcPlayer> vlc_;
    std::shared_ptr<Slot> slot_;
};
