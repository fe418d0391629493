#include "core/PixelRows.h"
#include "effects/EffectSupport.h"
#include "kivo/imaging/Colour.h"

namespace kivo::effects {

constexpr EffectParam GrayScaleParams[] = {{"bitsPerPixel", 8, 8, 8}};
extern const EffectInfo GrayScaleEffect = {
    "GrayScale", "colour", GrayScaleParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_GrayScaleBitmap(h, a[0]); }};

namespace {

// Luma (as Luma() rounds it) of a row of B, G, R(, A) pixels; unsigned, so the division by 1000
// becomes a multiplication the vectoriser handles. Cloned for AVX2, whose shuffles gather the
// interleaved channels; the arithmetic is the same integer sum on every path.
template <int N>
inline void LumaRow(const uint8_t* __restrict s, uint8_t* __restrict d, int width) {
    for (int x = 0; x < width; ++x) {
        const unsigned b = s[N * x], g = s[N * x + 1], r = s[N * x + 2];
        d[x] = uint8_t((r * 299u + g * 587u + b * 114u + 500u) / 1000u);
    }
}

__attribute__((target_clones("avx2", "default"))) void LumaRow3(const uint8_t* s, uint8_t* d,
                                                                 int width) {
    LumaRow<3>(s, d, width);
}

__attribute__((target_clones("avx2", "default"))) void LumaRow4(const uint8_t* s, uint8_t* d,
                                                                 int width) {
    LumaRow<4>(s, d, width);
}

}  // namespace

}  // namespace kivo::effects

int L_GrayScaleBitmap(BitmapHandle* h, int bitsPerPixel) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(GrayScaleParams, {bitsPerPixel}); status != SUCCESS) return status;
    if (h->Region) {
        return ApplyColourFn(
            h, [](uint8_t& b, uint8_t& g, uint8_t& r) { b = g = r = uint8_t(Luma(b, g, r)); });
    }
    return Guard([&]() -> int {
        BitmapHandle out;
        int status = out.Allocate(h->Width, h->Height, 8);
        if (status != SUCCESS) return status;
        out.Palette.resize(256);
        for (int i = 0; i < 256; ++i)
            out.Palette[size_t(i)] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
        const std::array<RgbQuad, 256> palette = kivo::PaddedPalette(h->Palette);
        kivo::Progress progress(h->Height);
        status = ForRows(h->Height, progress, 0, [&](int first, int end) {
            std::vector<uint8_t> bgr(size_t(h->Width) * 3);
            for (int y = first; y < end; ++y) {
                // 24 and 32 bits are read where they are; other depths are expanded first.
                const int n = h->BitsPerPixel >= 24 ? h->BitsPerPixel / 8 : 3;
                const uint8_t* s = h->Row(y);
                if (n == 3 && h->BitsPerPixel != 24) {
                    kivo::ExpandRow<3>(s, h->BitsPerPixel, h->Width, palette, bgr.data());
                    s = bgr.data();
                }
                uint8_t* d = out.Row(y);
                if (n == 3)
                    LumaRow3(s, d, h->Width);
                else
                    LumaRow4(s, d, h->Width);
            }
        });
        if (status != SUCCESS) return status;
        ClearPadding(out);
        out.ViewPerspective = h->ViewPerspective;
        *h = std::move(out);
        return SUCCESS;
    });
}
