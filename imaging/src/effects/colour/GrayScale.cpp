#include "core/PixelRows.h"
#include "effects/EffectSupport.h"
#include "kivo/imaging/Colour.h"

namespace kivo::effects {

constexpr EffectParam GrayScaleParams[] = {{"bitsPerPixel", 8, 8, 8}};
extern const EffectInfo GrayScaleEffect = {
    "GrayScale", "colour", GrayScaleParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_GrayScaleBitmap(h, a[0]); }};

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
                kivo::ExpandRow<3>(h->Row(y), h->BitsPerPixel, h->Width, palette, bgr.data());
                uint8_t* d = out.Row(y);
                for (int x = 0; x < h->Width; ++x)
                    d[x] = uint8_t(
                        Luma(bgr[3 * size_t(x)], bgr[3 * size_t(x) + 1], bgr[3 * size_t(x) + 2]));
            }
        });
        if (status != SUCCESS) return status;
        ClearPadding(out);
        out.ViewPerspective = h->ViewPerspective;
        *h = std::move(out);
        return SUCCESS;
    });
}
