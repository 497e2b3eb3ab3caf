#include "widgets/AlphaBlend.h"

#include <cstddef>

void BlendOver(const uint8_t* source, int sourceStride, uint8_t* destination, int destinationStride,
               int width, int height) {
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = source + static_cast<std::ptrdiff_t>(y) * sourceStride;
        uint8_t* d = destination + static_cast<std::ptrdiff_t>(y) * destinationStride;
        for (int x = 0; x < width; ++x, s += 4, d += 4) {
            const unsigned a = s[3];
            const unsigned rest = 255 - a;
            for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>((s[c] * a + d[c] * rest) / 255);
            // The bar is a translucent window, so the alpha byte must be blended too: the
            // colour bytes above are premultiplied by it, and a transparent snapshot has to
            // come out as the source premultiplied by its own alpha.
            d[3] = static_cast<uint8_t>((255 * a + d[3] * rest) / 255);
        }
    }
}
