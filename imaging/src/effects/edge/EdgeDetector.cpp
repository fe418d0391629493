#include <algorithm>
#include <cmath>
#include <vector>

#include "effects/EffectSupport.h"
#include "kivo/imaging/Edge.h"

namespace kivo::effects {

constexpr EffectParam EdgeDetectorParams[] = {
    {"threshold", 0, 255, 30}, {"filter", EDG_SOBEL_VERT, EDG_PREWITT_ALL, EDG_SOBEL_ALL}};
extern const EffectInfo EdgeDetectorEffect = {
    "EdgeDetector", "edge", EdgeDetectorParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_EdgeDetectorBitmap(h, a[0], a[1]); }};

}  // namespace kivo::effects

int L_EdgeDetectorBitmap(BitmapHandle* h, int threshold, int filter) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(EdgeDetectorParams, {threshold, filter}); status != SUCCESS)
        return status;
    const int family = filter >> 8, which = filter & 0xFF;
    if (family < 1 || family > 2 || which < 1 || which > 3) return ERROR_INV_PARAMETER;
    // Sobel weighs the middle row (or column) of the 3 × 3 window twice, Prewitt once.
    const int centre = family == 1 ? 2 : 1;
    const bool horizontalChange = which & 1, verticalChange = which & 2;
    // The rounded magnitude with the threshold applied, by squared magnitude: anything from
    // 255.5² up rounds to 256 or more, which clamps to 255 and passes every threshold.
    constexpr int Top = 65281;  // 255.5² = 65280.25
    std::vector<uint8_t> strength(Top);
    for (int v = 0; v < Top; ++v) {
        const int m = int(std::lround(std::sqrt(double(v))));
        strength[size_t(v)] = m < threshold ? 0 : ClampByte(m);
    }
    return RunFilter(h, [&](const BitmapHandle& src, BitmapHandle& dst) {
        const int n = Channels(src), w = src.Width, ht = src.Height;
        kivo::Progress progress(ht);
        return ForRows(ht, progress, 0, [&](int first, int end) {
            for (int y = first; y < end; ++y) {
                const uint8_t* up = src.Row(std::max(0, y - 1));
                const uint8_t* mid = src.Row(y);
                const uint8_t* down = src.Row(std::min(ht - 1, y + 1));
                uint8_t* d = dst.Row(y);
                for (int x = 0; x < w; ++x) {
                    const int l = std::max(0, x - 1) * n, c = x * n, r = std::min(w - 1, x + 1) * n;
                    for (int i = 0; i < 3; ++i) {
                        const int gx = (up[r + i] + centre * mid[r + i] + down[r + i]) -
                                       (up[l + i] + centre * mid[l + i] + down[l + i]);
                        const int gy = (down[l + i] + centre * down[c + i] + down[r + i]) -
                                       (up[l + i] + centre * up[c + i] + up[r + i]);
                        const int sx = horizontalChange ? gx : 0, sy = verticalChange ? gy : 0;
                        const int v = sx * sx + sy * sy;
                        d[c + i] = v >= Top ? 255 : strength[size_t(v)];
                    }
                    if (n == 4) d[c + 3] = mid[c + 3];
                }
            }
        });
    });
}
