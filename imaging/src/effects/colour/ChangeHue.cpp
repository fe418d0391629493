#include <algorithm>
#include <cmath>

#include "effects/EffectSupport.h"
#include "kivo/imaging/Colour.h"

namespace kivo::effects {

constexpr EffectParam ChangeHueParams[] = {{"change", -3600, 3600, 900}};
extern const EffectInfo ChangeHueEffect = {
    "ChangeHue", "colour", ChangeHueParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_ChangeBitmapHue(h, a[0]); }};

namespace {

// std::lround for 0 ≤ v < 256 without the library call: v − int(v) is exact in that range.
inline uint8_t RoundHalfUp(double v) {
    const int i = int(v);
    return uint8_t(v - i >= 0.5 ? i + 1 : i);
}

}  // namespace

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
        // hue + shift + 6 lies in [5, 17), so taking out 6 or 12 is fmod(…, 6), and exact.
        hue = hue + shift + 6;
        if (hue >= 12)
            hue -= 12;
        else if (hue >= 6)
            hue -= 6;
        const int sector = std::min(5, int(hue));
        const double f = hue - sector;
        const uint8_t up = RoundHalfUp(mn + d * f), down = RoundHalfUp(mx - d * f);
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
