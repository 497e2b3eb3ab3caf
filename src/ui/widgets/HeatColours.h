#pragma once

// The colours of the seek bar's heat strip: a cold-to-hot ramp for the script's mean speed
// and the mix that dims it where the video has not been played yet. Pure functions on QRgb
// values, usable with no display; CBitmapSlider calls them when it builds its heat pictures.

#include <QRgb>

// One pixel column of a heat strip.
struct HeatColumn {
    float speed = 0;    // mean speed, 0 (at rest) to 100
    bool mark = false;  // the device changes direction here
};

// The opaque colour of a mean speed, interpolated between fixed stops:
//
//   speed    0          25       50       70        85        100
//   colour   deep blue  azure    green    yellow    orange    red
//
// Speeds outside 0..100 take the nearest end; NaN counts as 0.
[[nodiscard]] QRgb HeatColour(double speed);

// `share` (0 to 1) of `over` and the rest of `under`, channel by channel, alpha included.
[[nodiscard]] QRgb MixColours(QRgb over, QRgb under, double share);
