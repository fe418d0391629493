#include "effects/EffectSupport.h"
#include "kivo/imaging/Colour.h"

namespace kivo::effects {

constexpr EffectParam SolarizeParams[] = {{"threshold", 0, 255, 128}};
extern const EffectInfo SolarizeEffect = {
    "Solarize", "colour", SolarizeParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_SolarizeBitmap(h, a[0]); }};

}  // namespace kivo::effects

int L_SolarizeBitmap(BitmapHandle* h, int threshold) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(SolarizeParams, {threshold}); status != SUCCESS) return status;
    // v' = v ≥ threshold ? 255 − v : v
    return ApplyLuts(h,
                     LutsOf([threshold](int v) { return uint8_t(v >= threshold ? 255 - v : v); }));
}
