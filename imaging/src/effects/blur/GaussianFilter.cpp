#include "effects/EffectSupport.h"
#include "kivo/imaging/Blur.h"

namespace kivo::effects {

constexpr EffectParam GaussianFilterParams[] = {{"radius", 1, 1000, 100}};
extern const EffectInfo GaussianFilterEffect = {
    "GaussianFilter", "blur", GaussianFilterParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_GaussianFilterBitmap(h, a[0]); }};

}  // namespace kivo::effects

int L_GaussianFilterBitmap(BitmapHandle* h, int radius) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(GaussianFilterParams, {radius}); status != SUCCESS) return status;
    return RunFilter(h, [radius](const BitmapHandle& src, BitmapHandle& dst) {
        return ConvolveSeparable(src, dst, GaussianWeights(radius / 10.0));
    });
}
