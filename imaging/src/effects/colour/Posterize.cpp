#include "effects/EffectSupport.h"
#include "kivo/imaging/Colour.h"

namespace kivo::effects {

constexpr EffectParam PosterizeParams[] = {{"levels", 2, 64, 4}};
extern const EffectInfo PosterizeEffect = {
    "Posterize", "colour", PosterizeParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_PosterizeBitmap(h, a[0]); }};

}  // namespace kivo::effects

int L_PosterizeBitmap(BitmapHandle* h, int levels) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(PosterizeParams, {levels}); status != SUCCESS) return status;
    // v' = round(floor(v · levels / 256) · 255 / (levels − 1)): equal bands, ends kept at 0, 255.
    return ApplyLuts(h, LutsOf([levels](int v) {
                         const int band = v * levels / 256;
                         return uint8_t((band * 255 + (levels - 1) / 2) / (levels - 1));
                     }));
}
