#include "effects/EffectSupport.h"
#include "kivo/imaging/Colour.h"

namespace kivo::effects {

constexpr EffectParam RemoveRedeyeParams[] = {
    {"newColour", 0, 0xFFFFFF, 0x808080}, {"strength", 0, 255, 145}, {"lightness", 0, 200, 100}};
extern const EffectInfo RemoveRedeyeEffect = {
    "RemoveRedeye", "colour", RemoveRedeyeParams, [](BitmapHandle* h, const std::vector<int>& a) {
        return L_RemoveRedeyeBitmap(h, ColorRef(a[0]), a[1], a[2]);
    }};

}  // namespace kivo::effects

int L_RemoveRedeyeBitmap(BitmapHandle* h, ColorRef newColour, int strength, int lightness) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status =
            CheckArgs(RemoveRedeyeParams, {int(newColour & 0xFFFFFF), strength, lightness});
        status != SUCCESS)
        return status;
    const int limit = 256 - strength;
    const int nr = GetRValue(newColour), ng = GetGValue(newColour), nb = GetBValue(newColour);
    // c' = new · shade / 255 · lightness / 100, where shade = (g + b) / 2 is how light the
    // pupil would be without the red reflection.
    return ApplyColourFn(h, [&](uint8_t& b, uint8_t& g, uint8_t& r) {
        if (r - (g + b) / 2 < limit) return;
        const int shade = (g + b) / 2;
        r = ClampByte((nr * shade * lightness + 12750) / 25500);
        g = ClampByte((ng * shade * lightness + 12750) / 25500);
        b = ClampByte((nb * shade * lightness + 12750) / 25500);
    });
}
