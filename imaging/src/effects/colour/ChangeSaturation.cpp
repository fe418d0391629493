#include <array>

#include "effects/EffectSupport.h"
#include "kivo/imaging/Colour.h"

namespace kivo::effects {

constexpr EffectParam ChangeSaturationParams[] = {{"change", -1000, 1000, 500}};
extern const EffectInfo ChangeSaturationEffect = {
    "ChangeSaturation", "colour", ChangeSaturationParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_ChangeBitmapSaturation(h, a[0]); }};

}  // namespace kivo::effects

int L_ChangeBitmapSaturation(BitmapHandle* h, int change) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(ChangeSaturationParams, {change}); status != SUCCESS) return status;
    const int factor = 1000 + change;
    // c' = Y + (c − Y) · (1000 + change) / 1000, Y the pixel's luma; rounded half away from Y.
    // The scaled difference depends on c − Y alone, so it comes from a table.
    std::array<int, 511> moved;
    for (int t = -255; t <= 255; ++t) {
        const int d = t * factor;
        moved[size_t(t + 255)] = (d >= 0 ? d + 500 : d - 500) / 1000;
    }
    auto scale = [&moved](int c, int y) { return ClampByte(y + moved[size_t(c - y + 255)]); };
    return ApplyColourFn(h, [&](uint8_t& b, uint8_t& g, uint8_t& r) {
        const int y = Luma(b, g, r);
        b = scale(b, y);
        g = scale(g, y);
        r = scale(r, y);
    });
}
