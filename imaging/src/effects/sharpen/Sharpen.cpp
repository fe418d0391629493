#include "kivo/imaging/Sharpen.h"

#include <array>

#include "effects/EffectSupport.h"

namespace kivo::effects {

constexpr EffectParam SharpenParams[] = {{"sharpness", -1000, 1000, 500}};
extern const EffectInfo SharpenEffect = {
    "Sharpen", "sharpen", SharpenParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_SharpenBitmap(h, a[0]); }};

}  // namespace kivo::effects

int L_SharpenBitmap(BitmapHandle* h, int sharpness) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(SharpenParams, {sharpness}); status != SUCCESS) return status;
    if (sharpness == 0) return SUCCESS;
    // v' = v + k · (v − blur) with k = sharpness/500 above 0 and sharpness/1000 below, in 1/1000.
    const int k = sharpness > 0 ? sharpness * 2 : sharpness;
    return RunFilter(h, [k](const BitmapHandle& src, BitmapHandle& dst) {
        const std::vector<int> weights = GaussianWeights(1.0);
        int status = ConvolveSeparable(src, dst, weights);
        if (status != SUCCESS) return status;
        const int n = Channels(src);
        // The change depends on v − blur alone: one table instead of a division per byte.
        std::array<int, 511> change;
        for (int t = -255; t <= 255; ++t) {
            const int diff = t * k;
            change[size_t(t + 255)] = (diff >= 0 ? diff + 500 : diff - 500) / 1000;
        }
        kivo::Progress progress(src.Height);
        return ForRows(src.Height, progress, 0, [&](int first, int end) {
            const size_t bytes = size_t(src.Width) * size_t(n);
            for (int y = first; y < end; ++y) {
                const uint8_t* s = src.Row(y);
                uint8_t* d = dst.Row(y);
                for (size_t i = 0; i < bytes; ++i)
                    d[i] = ClampByte(s[i] + change[size_t(s[i] - d[i] + 255)]);
                if (n == 4)
                    for (int x = 0; x < src.Width; ++x) d[4 * x + 3] = s[4 * x + 3];
            }
        });
    });
}
