#pragma once

// The playback facade the rest of the program uses. Owns the VlcPlayer for the whole run and
// the current timecode adjuster, which is replaced on every open: positions are read and set
// only through it. Owned by the playback session and used from the user-interface thread,
// but for its clock (GetTime, GetState), which the device thread reads too: the adjuster is
// used under a lock.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "player/PlayerClock.h"
#include "player/TimecodeAdjuster.h"
#include "player/VlcPlayer.h"

// Kinds callers pass to OpenFile and OpenLocation.
enum class AdjusterKind {
    kFile,
    kDvd,
};

class AdjustedPlayer final : public PlayerClock {
public:
    // Starts libvlc with the player's fixed arguments; other arguments are for tests.
    explicit AdjustedPlayer(
        const std::vector<const char*>& arguments = VlcPlayer::DefaultArguments());
    ~AdjustedPlayer() override;

    AdjustedPlayer(const AdjustedPlayer&) = delete;
    AdjustedPlayer& operator=(const AdjustedPlayer&) = delete;

    [[nodiscard]] bool IsAvailable() const { return vlc_->IsAvailable(); }

    void OpenFile(const std::string& path, AdjusterKind kind);
    void OpenLocation(const std::string& location, AdjusterKind kind);
    // Starts playback, then restarts the adjuster's clock.
    void Play();
    // The adjusted playback position in ms. Any thread.
    [[nodiscard]] int64_t GetTime() override;
    // The position as libvlc reports it, before adjustment.
    [[nodiscard]] int64_t GetReportedTime() const { return vlc_->GetTime(); }
    // Seeks through the adjuster.
    void SetTime(int64_t ms);

    void Pause() { vlc_->Pause(); }
    void Stop() { vlc_->Stop(); }
    // Any thread.
    [[nodiscard]] PlayerState GetState() const override { return vlc_->GetState(); }
    [[nodiscard]] int64_t GetLength() const { return vlc_->GetLength(); }
    [[nodiscard]] int GetVolume() const { return vlc_->GetVolume(); }
    void SetVolume(int volume) { vlc_->SetVolume(volume); }
    [[nodiscard]] bool IsMuted() const { return vlc_->IsMuted(); }
    void SetMute(bool on) { vlc_->SetMute(on); }
    [[nodiscard]] bool HasVideoOutput() const { return vlc_->HasVideoOutput(); }
    void SetTitle(int index) { vlc_->SetTitle(index); }
    void SetChapter(int index) { vlc_->SetChapter(index); }
    void GetTitleNames(std::vector<std::string>* list) const { vlc_->GetTitleNames(list); }
    void GetChapterNames(std::vector<std::string>* list) const { vlc_->GetChapterNames(list); }
    [[nodiscard]] MediaKind GetMediaKind() const { return vlc_->GetMediaKind(); }
    void SetHwnd(uint32_t window) { vlc_->SetHwnd(window); }
    void AttachEvents(PlayerEventFn callback, void* userData) {
        vlc_->AttachEvents(callback, userData);
    }
    void DetachEvents() { vlc_->DetachEvents(); }

    [[nodiscard]] const TimecodeAdjuster& Adjuster() const { return *adjuster_; }

private:
    void SelectAdjuster(AdjusterKind kind);

    std::unique_ptr<VlcPlayer> vlc_;
    std::mutex adjusting_;  // guards adjuster_ and its state
    std::unique_ptr<TimecodeAdjuster> adjuster_;
};
