#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/PixelRows.h"
#include "effects/EffectSupport.h"
#include "kivo/imaging/Combine.h"
#include "kivo/imaging/Geometry.h"

namespace kivo::effects {

// The registry form lays the picture's mirror image over it through a round mask: opaque in
// the middle, fading out towards the corners.
extern const EffectInfo FeatherAlphaBlendEffect = {
    "FeatherAlphaBlend", "combine", {}, [](BitmapHandle* h, const std::vector<int>&) {
        BitmapHandle mirror, mask;
        if (int status = L_CopyBitmap(&mirror, h); status != SUCCESS) return status;
        if (int status = L_ReverseBitmap(&mirror); status != SUCCESS) return status;
        if (int status = L_CreateBitmap(&mask, 1, h->Width, h->Height, 8); status != SUCCESS)
            return status;
        const double cx = h->Width / 2.0, cy = h->Height / 2.0;
        for (int y = 0; y < h->Height; ++y)
            for (int x = 0; x < h->Width; ++x) {
                const double dx = (x + 0.5 - cx) / cx, dy = (y + 0.5 - cy) / cy;
                mask.Row(y)[x] = ClampByte(int(std::lround(255 * (1.2 - std::hypot(dx, dy)))));
            }
        return L_FeatherAlphaBlendBitmap(h, 0, 0, h->Width, h->Height, &mirror, 0, 0, &mask);
    }};

}  // namespace kivo::effects

int L_FeatherAlphaBlendBitmap(BitmapHandle* dst, int x, int y, int width, int height,
                              const BitmapHandle* src, int sx, int sy, const BitmapHandle* mask) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(dst); status != SUCCESS) return status;
    if (int status = CheckBitmap(src); status != SUCCESS) return status;
    if (int status = CheckBitmap(mask); status != SUCCESS) return status;
    if (mask->BitsPerPixel != 8 || width < 0 || height < 0) return ERROR_INV_PARAMETER;
    const int64_t left = std::max<int64_t>({0, -int64_t(x), -int64_t(sx)});
    const int64_t top = std::max<int64_t>({0, -int64_t(y), -int64_t(sy)});
    const int64_t right = std::min<int64_t>(
        {width, int64_t(dst->Width) - x, int64_t(src->Width) - sx, int64_t(mask->Width) - sx});
    const int64_t bottom = std::min<int64_t>(
        {height, int64_t(dst->Height) - y, int64_t(src->Height) - sy, int64_t(mask->Height) - sy});
    if (right <= left || bottom <= top) return SUCCESS;
    const int cw = int(right - left), ch = int(bottom - top);
    const int dx0 = int(x + left), dy0 = int(y + top), sx0 = int(sx + left), sy0 = int(sy + top);
    BitmapHandle srcCopy, maskCopy;
    if (src == dst) srcCopy = *src;
    if (mask == dst) maskCopy = *mask;
    const BitmapHandle& source = src == dst ? srcCopy : *src;
    const BitmapHandle& alpha = mask == dst ? maskCopy : *mask;
    return RunFilter(dst, [&](const BitmapHandle& in, BitmapHandle& out) {
        const int n = Channels(in);
        const std::array<RgbQuad, 256> palette = kivo::PaddedPalette(source.Palette);
        kivo::Progress progress(in.Height);
        return ForRows(in.Height, progress, 0, [&](int first, int end) {
            std::vector<uint8_t> bgr(size_t(source.Width) * 3);
            for (int row = first; row < end; ++row) {
                std::memcpy(out.Row(row), in.Row(row), size_t(in.Width) * size_t(n));
                if (row < dy0 || row >= dy0 + ch) continue;
                kivo::ExpandRow<3>(source.Row(sy0 + row - dy0), source.BitsPerPixel, source.Width,
                                   palette, bgr.data());
                const uint8_t* m = alpha.Row(sy0 + row - dy0) + sx0;
                const uint8_t* s = bgr.data() + size_t(sx0) * 3;
                uint8_t* d = out.Row(row) + size_t(dx0) * n;
                // d' = d + (s − d) · m / 255, rounded
                for (int i = 0; i < cw; ++i)
                    for (int c = 0; c < 3; ++c) {
                        const int v = d[i * n + c] * 255 + (s[3 * i + c] - d[i * n + c]) * m[i];
                        d[i * n + c] = uint8_t((v + 127) / 255);
                    }
            }
        });
    });
}
