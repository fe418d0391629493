#include <array>
#include <cstdlib>

#include "effects/EffectSupport.h"
#include "kivo/imaging/Sharpen.h"

namespace kivo::effects {

constexpr EffectParam UnsharpMaskParams[] = {{"amount", 0, 1000, 100},
                                             {"radius", 1, 1000, 15},
                                             {"threshold", 0, 255, 50},
                                             {"colourType", 1, 2, UNSHARPMASK_YUV}};
extern const EffectInfo UnsharpMaskEffect = {
    "UnsharpMask", "sharpen", UnsharpMaskParams, [](BitmapHandle* h, const std::vector<int>& a) {
        return L_UnsharpMaskBitmap(h, a[0], a[1], a[2], a[3]);
    }};

}  // namespace kivo::effects

int L_UnsharpMaskBitmap(BitmapHandle* h, int amount, int radius, int threshold, int colourType) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(UnsharpMaskParams, {amount, radius, threshold, colourType});
        status != SUCCESS)
        return status;
    return RunFilter(h, [&](const BitmapHandle& src, BitmapHandle& dst) {
        int status = ConvolveSeparable(src, dst, GaussianWeights(radius / 10.0));
        if (status != SUCCESS) return status;
        const int n = Channels(src);
        // v' = v + amount/100 · (v − blur), where |v − blur| ≥ threshold. The change depends on
        // the difference alone, so it comes from a table (0 below the threshold).
        std::array<int, 511> change;
        for (int diff = -255; diff <= 255; ++diff) {
            const int d = diff * amount;
            change[size_t(diff + 255)] =
                std::abs(diff) >= threshold ? (d >= 0 ? d + 50 : d - 50) / 100 : 0;
        }
        auto sharpen = [&change](int v, int diff) {
            return ClampByte(v + change[size_t(diff + 255)]);
        };
        kivo::Progress progress(src.Height);
        return ForRows(src.Height, progress, 0, [&](int first, int end) {
            for (int y = first; y < end; ++y) {
                const uint8_t* s = src.Row(y);
                uint8_t* d = dst.Row(y);
                for (int x = 0; x < src.Width; ++x, s += n, d += n) {
                    if (colourType == UNSHARPMASK_RGB) {
                        for (int i = 0; i < 3; ++i) d[i] = sharpen(s[i], s[i] - d[i]);
                    } else {
                        const int diff = Luma(s[0], s[1], s[2]) - Luma(d[0], d[1], d[2]);
                        for (int i = 0; i < 3; ++i) d[i] = sharpen(s[i], diff);
                    }
                    if (n == 4) d[3] = s[3];
                }
            }
        });
    });
}
