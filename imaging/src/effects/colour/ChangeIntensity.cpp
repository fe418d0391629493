#include "effects/EffectSupport.h"
#include "kivo/imaging/Colour.h"

namespace kivo::effects {

constexpr EffectParam ChangeIntensityParams[] = {{"change", -1000, 1000, 150}};
extern const EffectInfo ChangeIntensityEffect = {
    "ChangeIntensity", "colour", ChangeIntensityParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_ChangeBitmapIntensity(h, a[0]); }};

}  // namespace kivo::effects

int L_ChangeBitmapIntensity(BitmapHandle* h, int change) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(ChangeIntensityParams, {change}); status != SUCCESS) return status;
    // v' = v + change · 255 / 1000, rounded
    const int shift = (change * 255 + (change >= 0 ? 500 : -500)) / 1000;
    return ApplyLuts(h, LutsOf([shift](int v) { return ClampByte(v + shift); }));
}
