#include "effects/EffectSupport.h"
#include "kivo/imaging/Colour.h"

namespace kivo::effects {

extern const EffectInfo InvertEffect = {
    "Invert", "colour", {}, [](BitmapHandle* h, const std::vector<int>&) {
        return L_InvertBitmap(h);
    }};

}  // namespace kivo::effects

int L_InvertBitmap(BitmapHandle* h) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    // v' = 255 − v
    return ApplyLuts(h, LutsOf([](int v) { return uint8_t(255 - v); }));
}
