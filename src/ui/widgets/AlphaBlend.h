#pragma once

// The per-pixel blend the control bar's image buttons use to lay one frame of their strip
// over a snapshot of what lies beneath them. Plain byte arithmetic with no toolkit types, so
// the exact results can be checked directly; called by CAlphaButton when it paints.

#include <cstdint>

// Blends `width` × `height` pixels of `source` (straight-alpha B,G,R,A bytes) over
// `destination` (premultiplied B,G,R,A bytes) in place. Strides are in bytes; bytes past
// width × 4 in a row are left alone.
void BlendOver(const uint8_t* source, int sourceStride, uint8_t* destination, int destinationStride,
               int width, int height);
