#include "player/AdjustedPlayer.h"

#include "player/DVDAdjuster.h"
#include "player/FileAdjuster.h"

AdjustedPlayer::AdjustedPlayer(const std::vector<const char*>& arguments)
    : vlc(std::make_unique<VlcPlayer>(arguments)), adjuster(std::make_unique<FileAdjuster>(*vlc)) {}

// The adjuster reads the player, so it goes first.
AdjustedPlayer::~AdjustedPlayer() {
    adjuster.reset();
    vlc.reset();
}

// A new adjuster for every open, so that no clock state carries over between media.
void AdjustedPlayer::SelectAdjuster(AdjusterKind kind) {
    if (kind == AdjusterKind::kDvd) {
        adjuster = std::make_unique<DVDAdjuster>(*vlc);
    } else {
        adjuster = std::make_unique<FileAdjuster>(*vlc);
    }
}

void AdjustedPlayer::OpenFile(const std::string& path, AdjusterKind kind) {
    SelectAdjuster(kind);
    vlc->OpenPath(path);
}

void AdjustedPlayer::OpenLocation(const std::string& location, AdjusterKind kind) {
    SelectAdjuster(kind);
    vlc->OpenLocation(location);
}

void AdjustedPlayer::Play() {
    vlc->Play();
    adjuster->Reset();
}

int64_t AdjustedPlayer::GetTime() { return adjuster->GetTime(); }

void AdjustedPlayer::SetTime(int64_t ms) { adjuster->SetTime(ms); }
