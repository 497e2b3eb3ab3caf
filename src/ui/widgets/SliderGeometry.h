#pragma once

// The arithmetic of the bitmap slider: where the thumb of a position sits, which position a
// pixel stands for, and how far a drag may take the thumb. Pure functions, called by
// CBitmapSlider for painting and for mouse and key handling.

#include <cstdint>

// What the arithmetic needs to know about one slider. Widths are in pixels.
struct SliderGeometry {
    int channelWidth = 0;
    int thumbWidth = 0;
    int rangeMin = 0;
    int rangeMax = 100;
    int marginLeft = 0;
    int marginRight = 0;
};

// The x of the thumb's centre at `position`. The share of the range is taken first, in
// floating point, and truncated toward zero. An empty range puts the thumb at its start.
[[nodiscard]] int ThumbCentre(const SliderGeometry& g, int position);

// The x of the thumb's left edge at `position`.
[[nodiscard]] int ThumbLeft(const SliderGeometry& g, int position);

// The position a thumb centred on pixel x stands for: the share of the track is taken first,
// then scaled to the range and truncated toward zero. Not clamped to the range. A track with
// no room gives rangeMin.
[[nodiscard]] int PositionAtPixel(const SliderGeometry& g, int x);

// Keeps a dragged thumb's centre on the track: first no further left than its start, then no
// further right than its end (the end wins when the track has no room).
[[nodiscard]] int ClampDragPixel(const SliderGeometry& g, int x);

// Keeps a position within the range: first no more than rangeMax, then no less than rangeMin
// (so a range whose minimum exceeds its maximum gives the minimum).
[[nodiscard]] int ClampPosition(int position, int rangeMin, int rangeMax);

// The 0xRRGGBB colour of a colour reference laid out 0x00BBGGRR.
[[nodiscard]] uint32_t ColorRefToRgb(uint32_t colorRef);
