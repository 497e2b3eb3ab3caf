#pragma once

// What the virtual dongle says back to the player, and when: bytes at given times after the
// player first opens the port, and bytes repeated at a given period from then on. The clock
// starts afresh at each plug-in.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace devsim {

struct Utterance {
    double ms = 0;  // a time after the start, or the period of a repeated one
    std::vector<uint8_t> bytes;
};

// "MS:HEX[,MS:HEX...]": milliseconds, a colon and the bytes as pairs of hex digits
// ("100:13,250:0d0a"). Throws std::invalid_argument naming what is wrong.
[[nodiscard]] std::vector<Utterance> ParseTalk(const std::string& text);

class TalkSchedule {
public:
    // `once` is said once each, `every` repeatedly at its period (which must be above 0).
    TalkSchedule(std::vector<Utterance> once, std::vector<Utterance> every);

    [[nodiscard]] bool Started() const { return start_.has_value(); }
    // Starts the clock at `now` (milliseconds); nothing is due before.
    void Start(double now);
    // Stops the clock and forgets what was said; Start begins again from the first item.
    void Stop();
    // When the next item is due, if the clock runs and anything is left.
    [[nodiscard]] std::optional<double> NextAt() const;
    // The items due by `now`, in the order they fell due. A repeated item that fell behind is
    // said once and the times it missed are skipped.
    [[nodiscard]] std::vector<std::vector<uint8_t>> TakeDue(double now);

private:
    std::vector<Utterance> once_;
    std::vector<Utterance> every_;
    std::optional<double> start_;
    size_t onceSaid_ = 0;              // once_ is sorted by time; the next one to say
    std::vector<double> everyNextAt_;  // per repeated item
};

}  // namespace devsim
