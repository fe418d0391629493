#include <cmath>

#include "effects/EffectSupport.h"
#include "kivo/imaging/Colour.h"

namespace kivo::effects {

constexpr EffectParam GammaCorrectParams[] = {{"gamma", 1, 1000, 150}};
extern const EffectInfo GammaCorrectEffect = {
    "GammaCorrect", "colour", GammaCorrectParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_GammaCorrectBitmap(h, a[0]); }};

}  // namespace kivo::effects

int L_GammaCorrectBitmap(BitmapHandle* h, int gamma) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(GammaCorrectParams, {gamma}); status != SUCCESS) return status;
    // v' = 255 · (v / 255)^(100 / gamma)
    const double exponent = 100.0 / gamma;
    return ApplyLuts(h, LutsOf([exponent](int v) {
                         return ClampByte(int(std::lround(255 * std::pow(v / 255.0, exponent))));
                     }));
}
