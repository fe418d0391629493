#include "kivo/imaging/Combine.h"

#include <algorithm>
#include <cstring>

#include "core/PixelRows.h"
#include "effects/EffectSupport.h"
#include "kivo/imaging/Geometry.h"

namespace kivo::effects {

namespace {

// The blend functions, d the destination and s the source channel (0..255).
template <int Op>
inline uint8_t Blend(int d, int s) {
    if constexpr (Op == CB_OP_ADD) return ClampByte(d + s);
    if constexpr (Op == CB_OP_AND) return uint8_t(d & s);
    if constexpr (Op == CB_OP_OR) return uint8_t(d | s);
    if constexpr (Op == CB_OP_XOR) return uint8_t(d ^ s);
    if constexpr (Op == CB_OP_SUBSRC) return ClampByte(d - s);
    if constexpr (Op == CB_OP_SUBDST) return ClampByte(s - d);
    if constexpr (Op == CB_OP_MULTIPLY) return uint8_t((d * s + 127) / 255);
    // Division by zero saturates: a black divisor makes white, as d / s grows without bound.
    if constexpr (Op == CB_OP_DIVDST) return s == 0 ? 255 : ClampByte((d * 255 + s / 2) / s);
    if constexpr (Op == CB_OP_DIVSRC) return d == 0 ? 255 : ClampByte((s * 255 + d / 2) / d);
    if constexpr (Op == CB_OP_AVERAGE) return uint8_t((d + s + 1) / 2);
    if constexpr (Op == CB_OP_MINIMUM) return uint8_t(std::min(d, s));
    if constexpr (Op == CB_OP_MAXIMUM) return uint8_t(std::max(d, s));
    return uint8_t(d);
}

// dst row (n bytes per pixel) op src row (3 bytes per pixel, B, G, R), alpha kept.
template <int Op>
void BlendRow(uint8_t* d, const uint8_t* s, int count, int n) {
    for (int x = 0; x < count; ++x)
        for (int i = 0; i < 3; ++i) d[x * n + i] = Blend<Op>(d[x * n + i], s[3 * x + i]);
}

using RowFn = void (*)(uint8_t*, const uint8_t*, int, int);

RowFn RowFor(int operation) {
    switch (operation) {
        case CB_OP_ADD:
            return BlendRow<CB_OP_ADD>;
        case CB_OP_AND:
            return BlendRow<CB_OP_AND>;
        case CB_OP_OR:
            return BlendRow<CB_OP_OR>;
        case CB_OP_XOR:
            return BlendRow<CB_OP_XOR>;
        case CB_OP_SUBSRC:
            return BlendRow<CB_OP_SUBSRC>;
        case CB_OP_SUBDST:
            return BlendRow<CB_OP_SUBDST>;
        case CB_OP_MULTIPLY:
            return BlendRow<CB_OP_MULTIPLY>;
        case CB_OP_DIVDST:
            return BlendRow<CB_OP_DIVDST>;
        case CB_OP_DIVSRC:
            return BlendRow<CB_OP_DIVSRC>;
        case CB_OP_AVERAGE:
            return BlendRow<CB_OP_AVERAGE>;
        case CB_OP_MINIMUM:
            return BlendRow<CB_OP_MINIMUM>;
        case CB_OP_MAXIMUM:
            return BlendRow<CB_OP_MAXIMUM>;
        default:
            return nullptr;
    }
}

}  // namespace

// The registry form combines the whole picture with its own mirror image, so every operation
// shows on one picture without a second file.
constexpr EffectParam CombineParams[] = {{"operation", CB_OP_ADD, CB_OP_MAXIMUM, CB_OP_AVERAGE}};
extern const EffectInfo CombineEffect = {
    "Combine", "combine", CombineParams, [](BitmapHandle* h, const std::vector<int>& a) {
        BitmapHandle mirror;
        if (int status = L_CopyBitmap(&mirror, h); status != SUCCESS) return status;
        if (int status = L_ReverseBitmap(&mirror); status != SUCCESS) return status;
        return L_CombineBitmap(h, 0, 0, h->Width, h->Height, &mirror, 0, 0, a[0]);
    }};

}  // namespace kivo::effects

int L_CombineBitmap(BitmapHandle* dst, int x, int y, int width, int height, const BitmapHandle* src,
                    int sx, int sy, int operation) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(dst); status != SUCCESS) return status;
    if (int status = CheckBitmap(src); status != SUCCESS) return status;
    const RowFn blend = RowFor(operation);
    if (!blend || width < 0 || height < 0) return ERROR_INV_PARAMETER;
    // Clip the rectangle to both bitmaps, moving both origins together.
    int64_t left = std::max<int64_t>({0, -int64_t(x), -int64_t(sx)});
    int64_t top = std::max<int64_t>({0, -int64_t(y), -int64_t(sy)});
    const int64_t right =
        std::min<int64_t>({width, int64_t(dst->Width) - x, int64_t(src->Width) - sx});
    const int64_t bottom =
        std::min<int64_t>({height, int64_t(dst->Height) - y, int64_t(src->Height) - sy});
    if (right <= left || bottom <= top) return SUCCESS;
    const int cw = int(right - left), ch = int(bottom - top);
    const int dx0 = int(x + left), dy0 = int(y + top), sx0 = int(sx + left), sy0 = int(sy + top);
    // When dst and src are one handle, the source is a copy taken before anything changes.
    BitmapHandle copy;
    if (src == dst) copy = *src;
    const BitmapHandle& source = src == dst ? copy : *src;
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
                blend(out.Row(row) + size_t(dx0) * n, bgr.data() + size_t(sx0) * 3, cw, n);
            }
        });
    });
}
