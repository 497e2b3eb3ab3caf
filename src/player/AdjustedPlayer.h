#pragma once

// The playback facade the rest of the program uses: owns the VlcPlayer for the whole run.
// Used from the user-interface thread only.

#include <cstdint>
#include <memory>

#include "player/VlcPlayer.h"

class AdjustedPlayer {
public:
    AdjustedPlayer() : vlc(std::make_unique<VlcPlayer>()) {}

    [[nodiscard]] bool IsAvailable() const { return vlc->IsAvailable(); }
    [[nodiscard]] int GetState() const { return vlc->GetState(); }
    [[nodiscard]] int64_t GetTime() const { return vlc->GetTime(); }
    [[nodiscard]] int64_t GetLength() const { return vlc->GetLength(); }
    [[nodiscard]] int GetMediaKind() const { return vlc->GetMediaKind(); }
    void SetHwnd(uint32_t window) { vlc->SetHwnd(window); }

private:
    std::unique_ptr<VlcPlayer> vlc;
};
