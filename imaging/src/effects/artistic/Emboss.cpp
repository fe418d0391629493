#include <algorithm>

#include "core/ParallelRows.h"
#include "effects/EffectSupport.h"
#include "kivo/imaging/Artistic.h"

namespace kivo::effects {

constexpr EffectParam EmbossParams[] = {{"direction", 0, 7, 1}, {"depth", 0, 1000, 500}};
extern const EffectInfo EmbossEffect = {
    "Emboss", "artistic", EmbossParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_EmbossBitmap(h, a[0], a[1]); }};

}  // namespace kivo::effects

int L_EmbossBitmap(BitmapHandle* h, int direction, int depth) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(EmbossParams, {direction, depth}); status != SUCCESS) return status;
    // The eight compass steps, clockwise from north (y grows downwards).
    static constexpr int Dx[8] = {0, 1, 1, 1, 0, -1, -1, -1};
    static constexpr int Dy[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
    // The lit side is the step towards the light and its two neighbouring steps; the shadow side
    // the opposite three.
    int ox[3], oy[3];
    for (int k = 0; k < 3; ++k) {
        const int dir = (direction + 7 + k) % 8;
        ox[k] = Dx[dir];
        oy[k] = Dy[dir];
    }
    return RunFilter(h, [&](const BitmapHandle& src, BitmapHandle& dst) {
        const int n = Channels(src), w = src.Width, ht = src.Height;
        std::vector<uint8_t> luma(size_t(w) * size_t(ht));
        kivo::ParallelRows(ht, [&](int first, int end) {
            for (int y = first; y < end; ++y) {
                const uint8_t* s = src.Row(y);
                for (int x = 0; x < w; ++x)
                    luma[size_t(y) * w + x] = uint8_t(Luma(s[x * n], s[x * n + 1], s[x * n + 2]));
            }
        });
        auto at = [&](int x, int y) {
            return int(
                luma[size_t(std::clamp(y, 0, ht - 1)) * w + size_t(std::clamp(x, 0, w - 1))]);
        };
        kivo::Progress progress(ht);
        return ForRows(ht, progress, 0, [&](int first, int end) {
            for (int y = first; y < end; ++y) {
                uint8_t* d = dst.Row(y);
                const uint8_t* s = src.Row(y);
                for (int x = 0; x < w; ++x) {
                    int lit = 0, shadow = 0;
                    for (int k = 0; k < 3; ++k) {
                        lit += at(x + ox[k], y + oy[k]);
                        shadow += at(x - ox[k], y - oy[k]);
                    }
                    const uint8_t v = ClampByte(128 + (lit - shadow) * depth / 1000);
                    d[x * n] = d[x * n + 1] = d[x * n + 2] = v;
                    if (n == 4) d[x * n + 3] = s[x * n + 3];
                }
            }
        });
    });
}
