#pragma once

// Row expansion shared by the depth conversions: any stored depth to B, G, R (and A) bytes.

#include <array>
#include <cstdint>
#include <cstring>

#include "kivo/imaging/Bitmap.h"

namespace kivo {

// The 5-bit channel of a 16-bit pixel widened to 8 bits so that 0 → 0 and 31 → 255.
constexpr uint8_t Widen5(unsigned v) { return uint8_t((v << 3) | (v >> 2)); }

// A palette padded to 256 entries, so that an index beyond a short palette (a damaged file)
// reads black instead of memory outside the palette.
inline std::array<RgbQuad, 256> PaddedPalette(const ColorPalette& palette) {
    std::array<RgbQuad, 256> out{};
    for (size_t i = 0; i < palette.size() && i < out.size(); ++i) out[i] = palette[i];
    return out;
}

// Expands `width` pixels of a row stored at `bpp` bits into `out` with `OutChannels` bytes per
// pixel (3: B, G, R; 4: B, G, R, A). Alpha is 255 unless the source has 32 bits.
template <int OutChannels>
void ExpandRow(const uint8_t* row, int bpp, int width, const std::array<RgbQuad, 256>& palette,
               uint8_t* out) {
    auto put = [out](int x, uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
        uint8_t* p = out + size_t(x) * OutChannels;
        p[0] = b;
        p[1] = g;
        p[2] = r;
        if constexpr (OutChannels == 4) p[3] = a;
    };
    switch (bpp) {
        case 1:
            for (int x = 0; x < width; ++x) {
                const RgbQuad& c = palette[(row[x >> 3] >> (7 - (x & 7))) & 1];
                put(x, c.Blue, c.Green, c.Red, 255);
            }
            break;
        case 4:
            for (int x = 0; x < width; ++x) {
                const RgbQuad& c = palette[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
                put(x, c.Blue, c.Green, c.Red, 255);
            }
            break;
        case 8:
            for (int x = 0; x < width; ++x) {
                const RgbQuad& c = palette[row[x]];
                put(x, c.Blue, c.Green, c.Red, 255);
            }
            break;
        case 16:
            for (int x = 0; x < width; ++x) {
                unsigned v = unsigned(row[2 * x]) | (unsigned(row[2 * x + 1]) << 8);
                put(x, Widen5(v & 31), Widen5((v >> 5) & 31), Widen5((v >> 10) & 31), 255);
            }
            break;
        case 24:
            if constexpr (OutChannels == 3) {
                std::memcpy(out, row, size_t(width) * 3);
            } else {
                for (int x = 0; x < width; ++x)
                    put(x, row[3 * x], row[3 * x + 1], row[3 * x + 2], 255);
            }
            break;
        case 32:
            if constexpr (OutChannels == 4) {
                std::memcpy(out, row, size_t(width) * 4);
            } else {
                for (int x = 0; x < width; ++x)
                    put(x, row[4 * x], row[4 * x + 1], row[4 * x + 2], row[4 * x + 3]);
            }
            break;
        default:
            break;
    }
}

}  // namespace kivo
