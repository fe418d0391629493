#include "effects/EffectSupport.h"
#include "kivo/imaging/Blur.h"

namespace kivo::effects {

constexpr EffectParam AverageFilterParams[] = {{"size", 1, 200, 10}};
extern const EffectInfo AverageFilterEffect = {
    "AverageFilter", "blur", AverageFilterParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_AverageFilterBitmap(h, a[0]); }};

}  // namespace kivo::effects

int L_AverageFilterBitmap(BitmapHandle* h, int size) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(AverageFilterParams, {size}); status != SUCCESS) return status;
    return RunFilter(h, [size](const BitmapHandle& src, BitmapHandle& dst) {
        return ConvolveSeparable(src, dst, BoxWeights(size / 2));
    });
}
