#include "support/PhotoFixture.h"

#include <cmath>

#include "kivo/imaging/ColorRes.h"

namespace kivo::test {

BitmapHandle MakePhotoFixture(int width, int height, uint32_t seed) {
    BitmapHandle b;
    L_CreateBitmap(&b, 1, width, height, 24);
    uint32_t state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = b.Row(y);
        for (int x = 0; x < width; ++x) {
            state = state * 134775813u + 1;
            int noise = int(state >> 29) - 4;
            double fx = double(x) / width, fy = double(y) / height;
            // A sky-to-ground gradient, a disc and a bar give smooth areas and sharp edges.
            double r = 200 * (1 - fy) + 40 * fx, g = 120 + 100 * std::sin(6 * fx) * fy,
                   bl = 230 * (1 - fy * fx);
            double dx = fx - 0.6, dy = fy - 0.4;
            if (dx * dx + dy * dy < 0.04) r = 240, g = 190, bl = 60;
            if (fx > 0.15 && fx < 0.25) r *= 0.3, g *= 0.3, bl *= 0.3;
            auto clamp = [](double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
            row[x * 3 + 0] = clamp(bl + noise);
            row[x * 3 + 1] = clamp(g + noise);
            row[x * 3 + 2] = clamp(r + noise);
        }
    }
    return b;
}

BitmapHandle MakePhotoFixtureAtDepth(int width, int height, int bitsPerPixel, uint32_t seed) {
    BitmapHandle b = MakePhotoFixture(width, height, seed);
    if (bitsPerPixel == 24) return b;
    BitmapHandle out;
    L_ColorResBitmap(&b, &out, bitsPerPixel,
                     bitsPerPixel <= 8 ? CRF_OPTIMIZEDPALETTE | CRF_FLOYDSTEINDITHERING
                                       : CRF_BYTEORDERBGR);
    if (bitsPerPixel == 32)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) out.Row(y)[x * 4 + 3] = uint8_t((x * 255) / width);
    return out;
}

}  // namespace kivo::test
