#include <cmath>

#include "effects/EffectSupport.h"
#include "kivo/imaging/Colour.h"

namespace kivo::effects {

constexpr EffectParam ChangeContrastParams[] = {{"change", -1000, 1000, 120}};
extern const EffectInfo ChangeContrastEffect = {
    "ChangeContrast", "colour", ChangeContrastParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_ChangeBitmapContrast(h, a[0]); }};

}  // namespace kivo::effects

int L_ChangeBitmapContrast(BitmapHandle* h, int change) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(ChangeContrastParams, {change}); status != SUCCESS) return status;
    // v' = 128 + (v − 128) · f; at +1000 the factor is unbounded: a threshold at 128.
    return ApplyLuts(h, LutsOf([change](int v) {
                         if (change == 1000) return uint8_t(v >= 128 ? 255 : 0);
                         const double f =
                             change <= 0 ? (1000 + change) / 1000.0 : 1000.0 / (1000 - change);
                         return ClampByte(int(std::lround(128 + (v - 128) * f)));
                     }));
}
