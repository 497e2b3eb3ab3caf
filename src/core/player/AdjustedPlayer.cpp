#include "player/AdjustedPlayer.h"

#include "player/DVDAdjuster.h"
#include "player/FileAdjuster.h"

AdjustedPlayer::AdjustedPlayer(const std::vector<const char*>& arguments)
    : vlc_(std::make_unique<VlcPlayer>(arguments)),
      adjuster_(std::make_unique<FileAdjuster>(*vlc_)) {}

// The adjuster reads the player, so it goes first.
AdjustedPlayer::~AdjustedPlayer() {
    adjuster_.reset();
    vlc_.reset();
}

// A new adjuster for every open, so that no clock state carries over between media.
void AdjustedPlayer::SelectAdjuster(AdjusterKind kind) {
    const std::lock_guard lock(adjusting_);
    if (kind == AdjusterKind::kDvd) {
        adjuster_ = std::make_unique<DVDAdjuster>(*vlc_);
    } else {
        adjuster_ = std::make_unique<FileAdjuster>(*vlc_);
    }
}

void AdjustedPlayer::OpenFile(const std::string& path, AdjusterKind kind) {
    SelectAdjuster(kind);
    vlc_->OpenPath(path);
}

void AdjustedPlayer::OpenLocation(const std::string& location, AdjusterKind kind) {
    SelectAdjuster(kind);
    vlc_->OpenLocation(location);
}

void AdjustedPlayer::Play() {
    vlc_->Play();
    const std::lock_guard lock(adjusting_);
    adjuster_->Reset();
}

int64_t AdjustedPlayer::GetTime() {
    const std::lock_guard lock(adjusting_);
    return adjuster_->GetTime();
}

void AdjustedPlayer::SetTime(int64_t ms) {
    const std::lock_guard lock(adjusting_);
    adjuster_->SetTime(ms);
}
