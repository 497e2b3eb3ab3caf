#include "player/AdjustedPlayer.h"

#include "player/DVDAdjuster.h"
#include "player/FileAdjuster.h"
#include "player/StreamTiming.h"

AdjustedPlayer::AdjustedPlayer(const std::vector<const char*>& arguments)
    : vlc_(std::make_unique<VlcPlayer>(arguments)),
      adjuster_(std::make_unique<FileAdjuster>(*vlc_)) {}

// The adjuster reads the player, so it goes first.
AdjustedPlayer::~AdjustedPlayer() {
    adjuster_.reset();
    vlc_.reset();
}

// A new adjuster for every open, so that no clock state carries over between media.
// The medium's timing is read before the lock is taken: it reads the medium's first megabytes.
void AdjustedPlayer::SelectAdjuster(AdjusterKind kind, const std::string& medium) {
    std::unique_ptr<TimecodeAdjuster> adjuster;
    switch (kind) {
        case AdjusterKind::kFile:
            adjuster =
                std::make_unique<FileAdjuster>(*vlc_, platform::Steady(), FileClockScale(medium));
            break;
        case AdjusterKind::kDvd:
            adjuster = std::make_unique<FileAdjuster>(*vlc_, platform::Steady(),
                                                      DvdClockScale(medium), false);
            break;
        case AdjusterKind::kDvdWholeSecond:
            adjuster = std::make_unique<DVDAdjuster>(*vlc_);
            break;
    }
    const std::lock_guard lock(adjusting_);
    adjuster_ = std::move(adjuster);
}

void AdjustedPlayer::OpenFile(const std::string& path, AdjusterKind kind) {
    SelectAdjuster(kind, path);
    vlc_->OpenPath(path);
}

void AdjustedPlayer::OpenLocation(const std::string& location, AdjusterKind kind) {
    SelectAdjuster(kind, location);
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
