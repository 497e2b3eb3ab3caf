#pragma once

// What the rest of the program sees of the player: its states and the two views of its clock.
// The timecode adjusters read the position libvlc reports (PlayerTime, from VlcPlayer); the
// synchronisation reads the adjusted position (PlayerClock, from AdjustedPlayer). Any thread.

#include <cstdint>
#include <optional>

// Player states as the rest of the program sees them; the values are libvlc's.
enum class PlayerState : int {
    kNothingSpecial = 0,
    kOpening = 1,
    kBuffering = 2,
    kPlaying = 3,
    kPaused = 4,
    kStopped = 5,
    kEnded = 6,
    kError = 7,
};

// The position as the player reports it, and seeks; what an adjuster needs of the player.
class PlayerTime {
public:
    virtual ~PlayerTime() = default;
    // Playback position in ms as the player reports it; -1 without media.
    [[nodiscard]] virtual int64_t GetTime() const = 0;
    virtual void SetTime(int64_t ms) = 0;
    [[nodiscard]] virtual PlayerState GetState() const = 0;
    // When (monotonic ms) the player announced `reported` as its new position, if that is
    // the latest position it announced; none where it does not tell.
    [[nodiscard]] virtual std::optional<int64_t> ReportSeenAt(int64_t /*reported*/) const {
        return std::nullopt;
    }
    // How many times the player has gone to another title or menu (a DVD) since it was made;
    // a change of the count means the position is counted from a new start.
    [[nodiscard]] virtual uint64_t TitleChanges() const { return 0; }
};

// The adjusted position and the state; what the synchronisation needs of the player.
class PlayerClock {
public:
    virtual ~PlayerClock() = default;
    // The adjusted playback position in ms.
    [[nodiscard]] virtual int64_t GetTime() = 0;
    [[nodiscard]] virtual PlayerState GetState() const = 0;
    // As PlayerTime::TitleChanges.
    [[nodiscard]] virtual uint64_t TitleChanges() const { return 0; }
};
