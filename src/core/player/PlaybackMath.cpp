#include "player/PlaybackMath.h"

#include <cstdio>

namespace {

constexpr size_t kMaxTitleBytes = 80;

}  // namespace

std::string ShortenTitle(const std::string& title) {
    if (title.size() <= kMaxTitleBytes) return title;
    size_t start = title.size() - kMaxTitleBytes;
    while (start < title.size() && (static_cast<unsigned char>(title[start]) & 0xC0) == 0x80) {
        ++start;
    }
    return "..." + title.substr(start);
}

std::string FormatClock(int64_t ms) {
    const int64_t s = ms / 1000;
    const int64_t hours = s / 3600 - (s / 86400) * 24;
    const int64_t minutes = s / 60 - (s / 3600) * 60;
    const int64_t seconds = s - (s / 60) * 60;
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(hours),
                  static_cast<int>(minutes), static_cast<int>(seconds));
    return text;
}

int64_t SliderSeekTarget(int64_t length, int position) {
    if (position < 100) return (length / 100) * position;
    return length - 1;
}

int SliderPosition(int64_t t, int64_t length) {
    if (length <= 0) return 0;
    return static_cast<int>(static_cast<double>(t) / static_cast<double>(length) * 100.0);
}

int64_t HoldStep(int64_t holdElapsed) {
    int64_t threshold = 3000;
    for (int i = 1;; ++i) {
        const int64_t step = (int64_t{1} << (i - 1)) * 1000;
        if (holdElapsed <= threshold || i == 8) return step;
        threshold += 3000 / (i + 1);
    }
}

int64_t HoldSeekTarget(int64_t t, int64_t step, int64_t length, bool forward) {
    int64_t target = forward ? t + step : t - step;
    if (target >= length) target = length - 1;
    if (target <= 0) target = 0;
    return target;
}
