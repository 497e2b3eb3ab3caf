#include "widgets/SliderGeometry.h"

#include <cmath>
#include <limits>

namespace {

// Truncates toward zero, saturating instead of overflowing an int.
int TruncateToInt(double value) {
    constexpr double lowest = std::numeric_limits<int>::min();
    constexpr double highest = std::numeric_limits<int>::max();
    if (std::isnan(value)) return 0;
    if (value <= lowest) return std::numeric_limits<int>::min();
    if (value >= highest) return std::numeric_limits<int>::max();
    return static_cast<int>(value);
}

// The room the thumb's left edge can travel, in pixels; may be zero or negative.
double Track(const SliderGeometry& g) {
    return static_cast<double>(g.channelWidth) - g.marginRight - g.thumbWidth - g.marginLeft;
}

}  // namespace

int ThumbCentre(const SliderGeometry& g, int position) {
    const double range = static_cast<double>(g.rangeMax) - g.rangeMin;
    const double share = range == 0 ? 0.0 : (static_cast<double>(position) - g.rangeMin) / range;
    return g.marginLeft + TruncateToInt(share * Track(g)) + g.thumbWidth / 2;
}

int ThumbLeft(const SliderGeometry& g, int position) {
    return ThumbCentre(g, position) - g.thumbWidth / 2;
}

int PositionAtPixel(const SliderGeometry& g, int x) {
    const double track = Track(g);
    if (track == 0) return g.rangeMin;
    const double share = (static_cast<double>(x) - g.thumbWidth / 2 - g.marginLeft) / track;
    return TruncateToInt(share * (static_cast<double>(g.rangeMax) - g.rangeMin) + g.rangeMin);
}

int ClampDragPixel(const SliderGeometry& g, int x) {
    const int first = g.marginLeft + g.thumbWidth / 2;
    const int last = g.channelWidth - g.marginRight - g.thumbWidth / 2;
    if (x < first) x = first;
    if (x > last) x = last;
    return x;
}

int ClampPosition(int position, int rangeMin, int rangeMax) {
    if (position > rangeMax) position = rangeMax;
    if (position < rangeMin) position = rangeMin;
    return position;
}

uint32_t ColorRefToRgb(uint32_t colorRef) {
    const uint32_t red = colorRef & 0xFF;
    const uint32_t green = (colorRef >> 8) & 0xFF;
    const uint32_t blue = (colorRef >> 16) & 0xFF;
    return (red << 16) | (green << 8) | blue;
}
