#include <algorithm>

#include "core/ParallelRows.h"
#include "effects/EffectSupport.h"
#include "kivo/imaging/Artistic.h"

namespace kivo::effects {

constexpr EffectParam MosaicParams[] = {{"size", 1, 256, 5}};
extern const EffectInfo MosaicEffect = {
    "Mosaic", "artistic", MosaicParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_MosaicBitmap(h, a[0]); }};

}  // namespace kivo::effects

int L_MosaicBitmap(BitmapHandle* h, int size) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(MosaicParams, {size}); status != SUCCESS) return status;
    return RunFilter(h, [size](const BitmapHandle& src, BitmapHandle& dst) {
        const int n = Channels(src);
        const int tileRows = (src.Height + size - 1) / size;
        kivo::Progress progress(tileRows);
        return ForRows(tileRows, progress, 0, [&](int first, int end) {
            std::vector<uint32_t> sums(size_t((src.Width + size - 1) / size) * 4);
            for (int t = first; t < end; ++t) {
                const int y0 = t * size, y1 = std::min(src.Height, y0 + size);
                std::fill(sums.begin(), sums.end(), 0);
                for (int y = y0; y < y1; ++y) {
                    const uint8_t* s = src.Row(y);
                    for (int x = 0; x < src.Width; ++x)
                        for (int i = 0; i < n; ++i) sums[size_t(x / size) * 4 + i] += s[x * n + i];
                }
                for (int x0 = 0, tile = 0; x0 < src.Width; x0 += size, ++tile) {
                    const int x1 = std::min(src.Width, x0 + size);
                    const uint32_t count = uint32_t((x1 - x0) * (y1 - y0));
                    uint8_t mean[4];
                    for (int i = 0; i < n; ++i)
                        mean[i] = uint8_t((sums[size_t(tile) * 4 + i] + count / 2) / count);
                    for (int y = y0; y < y1; ++y) {
                        uint8_t* d = dst.Row(y);
                        for (int x = x0; x < x1; ++x)
                            for (int i = 0; i < n; ++i) d[x * n + i] = mean[i];
                    }
                }
            }
        });
    });
}
