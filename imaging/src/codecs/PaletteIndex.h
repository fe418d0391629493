#pragma once

// Palette helpers shared by the palette-writing codecs.

#include <algorithm>
#include <cstdint>

#include "kivo/imaging/Bitmap.h"

namespace kivo {

// The largest palette index any pixel of a 1, 4 or 8-bit bitmap uses (bits past the width in a
// row's last byte are not pixels and are ignored). Writers use it so that a palette shorter than
// the pixels need is padded instead of producing a file whose indices point past its colours.
inline int MaxPaletteIndex(const BitmapHandle& bmp) {
    const int bpp = bmp.BitsPerPixel;
    const int width = bmp.Width;
    int maxIndex = 0;
    for (int y = 0; y < bmp.Height; ++y) {
        const uint8_t* row = bmp.Row(y);
        if (bpp == 8) {
            uint8_t m = 0;
            for (int x = 0; x < width; ++x) m = std::max(m, row[x]);
            maxIndex = std::max(maxIndex, int(m));
        } else if (bpp == 4) {
            for (int x = 0; x < width; ++x)
                maxIndex = std::max(maxIndex, (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
        } else if (bpp == 1) {
            for (int x = 0; x < width && maxIndex == 0; ++x)
                maxIndex = (row[x >> 3] >> (7 - (x & 7))) & 1;
        }
        if (maxIndex == (1 << bpp) - 1) break;
    }
    return maxIndex;
}

// Clears the bits past the width in the last byte of a packed 1 or 4-bit row, so that files never
// carry leftovers from memory.
inline void ClearTrailingBits(uint8_t* row, int width, int bpp) {
    const int usedBits = int((int64_t(width) * bpp) % 8);
    if (bpp < 8 && usedBits != 0)
        row[(int64_t(width) * bpp) / 8] &= uint8_t(0xFF << (8 - usedBits));
}

}  // namespace kivo
