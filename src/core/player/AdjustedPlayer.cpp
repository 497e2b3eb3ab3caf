#include "player/AdjustedPlayer.h"

#include <thread>
#include <utility>

#include "player/DVDAdjuster.h"
#include "player/FileAdjuster.h"
#include "player/StreamTiming.h"

AdjustedPlayer::AdjustedPlayer(const std::vector<const char*>& arguments)
    : vlc_(std::make_unique<VlcPlayer>(arguments)), slot_(std::make_shared<Slot>()) {
    slot_->adjuster = std::make_unique<FileAdjuster>(*vlc_);
}

// The adjuster reads the player, so it goes first; a reading still under way finds no
// adjuster to give its timing to.
AdjustedPlayer::~AdjustedPlayer() {
    {
        const std::lock_guard lock(slot_->lock);
        slot_->adjuster.reset();
        ++slot_->opened;
    }
    vlc_.reset();
}

// A new adjuster for every open, so that no clock state carries over between media. It
// starts on the timing of a medium that tells nothing, and takes the medium's own when the
// reading thread has it.
void AdjustedPlayer::SelectAdjuster(AdjusterKind kind, const std::string& medium) {
    std::unique_ptr<TimecodeAdjuster> adjuster;
    switch (kind) {
        case AdjusterKind::kFile:
            adjuster = std::make_unique<FileAdjuster>(*vlc_);
            break;
        case AdjusterKind::kDvd:
            adjuster =
                std::make_unique<FileAdjuster>(*vlc_, platform::Steady(), kUnreadDvdScale, false);
            break;
        case AdjusterKind::kDvdWholeSecond:
            adjuster = std::make_unique<DVDAdjuster>(*vlc_);
            break;
    }
    uint64_t opened = 0;
    {
        const std::lock_guard lock(slot_->lock);
        slot_->adjuster = std::move(adjuster);
        slot_->titleChanges = vlc_->TitleChanges();
        opened = ++slot_->opened;
    }
    if (kind == AdjusterKind::kDvdWholeSecond) return;
    std::thread([slot = slot_, opened, kind, medium] {
        const ClockScale scale =
            kind == AdjusterKind::kDvd ? DvdClockScale(medium) : FileClockScale(medium);
        const std::lock_guard lock(slot->lock);
        if (slot->opened != opened) return;
        if (auto* picture = dynamic_cast<FileAdjuster*>(slot->adjuster.get())) {
            picture->SetScale(scale);
        }
    }).detach();
}

std::optional<ClockScale> AdjustedPlayer::PictureClockScale() const {
    const std::lock_guard lock(slot_->lock);
    const auto* picture = dynamic_cast<const FileAdjuster*>(slot_->adjuster.get());
    if (picture == nullptr) return std::nullopt;
    return picture->Scale();
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
    const std::lock_guard lock(slot_->lock);
    slot_->adjuster->Reset();
}

void AdjustedPlayer::FollowTitle() {
    const uint64_t changes = vlc_->TitleChanges();
    if (changes == slot_->titleChanges) return;
    slot_->titleChanges = changes;
    slot_->adjuster->NewTitle();
}

int64_t AdjustedPlayer::GetTime() {
    const std::lock_guard lock(slot_->lock);
    FollowTitle();
    return slot_->adjuster->GetTime();
}

void AdjustedPlayer::SetTime(int64_t ms) {
    const std::lock_guard lock(slot_->lock);
    FollowTitle();
    slot_->adjuster->SetTime(ms);
}
