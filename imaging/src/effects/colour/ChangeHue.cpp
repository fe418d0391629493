#include <algorithm>
#include <cmath>

#include "effects/EffectSupport.h"
#include "kivo/imaging/Colour.h"

namespace kivo::effects {

constexpr EffectParam ChangeHueParams[] = {{"change", -3600, 3600, 900}};
extern const EffectInfo ChangeHueEffect = {
    "ChangeHue", "colour", ChangeHueParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_ChangeBitmapHue(h, a[0]); }};

}  // namespace kivo::effects

int L_ChangeBitmapHue(BitmapHandle* h, int change) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(ChangeHueParams, {change}); status != SUCCESS) return status;
    const int turn = ((change % 3600) + 3600) % 3600;
    if (turn == 0) return SUCCESS;
    // In HSV the hue turns and the value (max) and the spread (max − min) stay: the six sectors
    // of the wheel place the middle channel linearly between min and max.
    const double shift = turn / 600.0;  // in sectors of 60°
    return ApplyColourFn(h, [shift](uint8_t& b, uint8_t& g, uint8_t& r) {
        const int mx = std::max({r, g, b}), mn = std::min({r, g, b});
        if (mx == mn) return;
        const double d = mx - mn;
        double hue;
        if (mx == r)
            hue = (g - b) / d;
        else if (mx == g)
            hue = 2 + (b - r) / d;
        else
            hue = 4 + (r - g) / d;
        hue = std::fmod(hue + shift + 6, 6);
        const int sector = std::min(5, int(hue));
        const double f = hue - sector;
        const uint8_t up = uint8_t(std::lround(mn + d * f)),
                      down = uint8_t(std::lround(mx - d * f));
        const uint8_t hi = uint8_t(mx), lo = uint8_t(mn);
        switch (sector) {
            case 0:
                r = hi;
                g = up;
                b = lo;
                break;
            case 1:
                r = down;
                g = hi;
                b = lo;
                break;
            case 2:
                r = lo;
                g = hi;
                b = up;
                break;
            case 3:
                r = lo;
                g = down;
                b = hi;
                break;
            case 4:
                r = up;
                g = lo;
                b = hi;
                break;
            default:
                r = hi;
                g = lo;
                b = down;
                break;
        }
    });
}
