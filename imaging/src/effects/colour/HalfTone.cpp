#include <cmath>
#include <numbers>

#include "core/PixelRows.h"
#include "effects/EffectSupport.h"
#include "kivo/imaging/Colour.h"

namespace kivo::effects {

constexpr EffectParam HalfToneParams[] = {
    {"type", HT_PRINT, HT_VIEW, HT_VIEW}, {"angle", -36000, 36000, 0}, {"dim", 1, 16, 1}};
extern const EffectInfo HalfToneEffect = {"HalfTone", "colour", HalfToneParams,
                                          [](BitmapHandle* h, const std::vector<int>& a) {
                                              return L_HalfToneBitmap(h, a[0], a[1], a[2]);
                                          }};

namespace {

constexpr uint8_t Bayer8[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                                  {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                                  {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                                  {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};

}  // namespace

}  // namespace kivo::effects

int L_HalfToneBitmap(BitmapHandle* h, int type, int angle, int dim) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(HalfToneParams, {type, angle, dim}); status != SUCCESS)
        return status;
    const double a = angle / 100.0 * std::numbers::pi / 180, c = std::cos(a), s = std::sin(a);
    const double cell = 4.0 * dim;
    // The threshold (0..255) a pixel's brightness must exceed to be white.
    auto threshold = [&](int x, int y) -> int {
        if (type == HT_VIEW) return Bayer8[(y / dim) % 8][(x / dim) % 8] * 4 + 2;
        // Round dots grow from the cell centres on the turned screen. A pixel's threshold is
        // the share of the cell lying farther from the centre than it, so the share of white
        // follows the brightness linearly (a disc of squared radius q, clipped to the cell once
        // it passes the sides).
        const double u = (x * c + y * s) / cell, v = (-x * s + y * c) / cell;
        const double du = u - std::floor(u) - 0.5, dv = v - std::floor(v) - 0.5;
        const double q = du * du + dv * dv;
        double inner = std::numbers::pi * q;
        if (q > 0.25) inner -= 4 * (q * std::acos(0.5 / std::sqrt(q)) - 0.5 * std::sqrt(q - 0.25));
        return int(std::lround(254 * (1 - std::min(1.0, inner))));
    };
    if (h->Region) {
        return RunFilter(h, [&](const BitmapHandle& src, BitmapHandle& dst) {
            const int n = Channels(src);
            kivo::Progress progress(src.Height);
            return ForRows(src.Height, progress, 0, [&](int first, int end) {
                for (int y = first; y < end; ++y) {
                    const uint8_t* p = src.Row(y);
                    uint8_t* d = dst.Row(y);
                    for (int x = 0; x < src.Width; ++x) {
                        const uint8_t v =
                            Luma(p[x * n], p[x * n + 1], p[x * n + 2]) > threshold(x, y) ? 255 : 0;
                        d[x * n] = d[x * n + 1] = d[x * n + 2] = v;
                        if (n == 4) d[x * n + 3] = p[x * n + 3];
                    }
                }
            });
        });
    }
    return Guard([&]() -> int {
        BitmapHandle out;
        int status = out.Allocate(h->Width, h->Height, 1);
        if (status != SUCCESS) return status;
        out.Palette = {RgbQuad{0, 0, 0, 0}, RgbQuad{255, 255, 255, 0}};
        const std::array<RgbQuad, 256> palette = kivo::PaddedPalette(h->Palette);
        kivo::Progress progress(h->Height);
        status = ForRows(h->Height, progress, 0, [&](int first, int end) {
            std::vector<uint8_t> bgr(size_t(h->Width) * 3);
            for (int y = first; y < end; ++y) {
                kivo::ExpandRow<3>(h->Row(y), h->BitsPerPixel, h->Width, palette, bgr.data());
                uint8_t* d = out.Row(y);
                std::fill(d, d + out.BytesPerLine, 0);
                for (int x = 0; x < h->Width; ++x)
                    if (Luma(bgr[3 * x], bgr[3 * x + 1], bgr[3 * x + 2]) > threshold(x, y))
                        d[x >> 3] |= uint8_t(0x80 >> (x & 7));
            }
        });
        if (status != SUCCESS) return status;
        out.ViewPerspective = h->ViewPerspective;
        *h = std::move(out);
        return SUCCESS;
    });
}
