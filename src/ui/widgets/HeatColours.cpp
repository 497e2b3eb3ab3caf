#include "widgets/HeatColours.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

struct Stop {
    double speed;
    QRgb colour;
};

// Saturated enough to read on the 4-pixel channel over the dark bar; speed 0 stays clearly
// apart from the black strip so that a stopped stretch still reads as part of the channel.
constexpr Stop kStops[] = {
    {0, qRgb(44, 62, 150)},   {25, qRgb(31, 162, 214)}, {50, qRgb(52, 196, 106)},
    {70, qRgb(242, 208, 43)}, {85, qRgb(248, 138, 30)}, {100, qRgb(232, 50, 43)},
};

int MixChannel(int over, int under, double share) {
    return static_cast<int>(std::lround(under + (over - under) * share));
}

}  // namespace

QRgb HeatColour(double speed) {
    if (std::isnan(speed) || speed <= kStops[0].speed) return kStops[0].colour;
    const auto upper = std::find_if(std::begin(kStops), std::end(kStops),
                                    [speed](const Stop& stop) { return stop.speed >= speed; });
    if (upper == std::end(kStops)) return std::prev(upper)->colour;
    const Stop& lower = *std::prev(upper);
    return MixColours(upper->colour, lower.colour,
                      (speed - lower.speed) / (upper->speed - lower.speed));
}

QRgb MixColours(QRgb over, QRgb under, double share) {
    share = std::clamp(share, 0.0, 1.0);
    return qRgba(MixChannel(qRed(over), qRed(under), share),
                 MixChannel(qGreen(over), qGreen(under), share),
                 MixChannel(qBlue(over), qBlue(under), share),
                 MixChannel(qAlpha(over), qAlpha(under), share));
}
