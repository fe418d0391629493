// The list of effects, in gallery order: one line per effect.

#include <algorithm>
#include <cctype>

#include "kivo/imaging/Effects.h"

#define KIVO_EFFECTS(X) \
    X(Rotate)           \
    X(Flip)             \
    X(Reverse)          \
    X(Size)             \
    X(Shear)            \
    X(Mosaic)           \
    X(Posterize)        \
    X(Sharpen)          \
    X(Oilify)           \
    X(GrayScale)        \
    X(Emboss)           \
    X(Solarize)         \
    X(AddNoise)         \
    X(Invert)           \
    X(EdgeDetector)     \
    X(Combine)          \
    X(MedianFilter)     \
    X(UnsharpMask)      \
    X(ChangeSaturation) \
    X(ContourFilter)    \
    X(ChangeIntensity)  \
    X(ChangeContrast)   \
    X(GammaCorrect)     \
    X(ChangeHue)        \
    X(HalfTone)         \
    X(RemoveRedeye)     \
    X(GaussianFilter)   \
    X(AverageFilter)    \
    X(MotionBlur)       \
    X(FeatherAlphaBlend)

namespace kivo::effects {
#define KIVO_DECLARE(name) extern const EffectInfo name##Effect;
KIVO_EFFECTS(KIVO_DECLARE)
#undef KIVO_DECLARE
}  // namespace kivo::effects

namespace {

#define KIVO_ENTRY(name) &kivo::effects::name##Effect,
const EffectInfo* const Registry[] = {KIVO_EFFECTS(KIVO_ENTRY)};
#undef KIVO_ENTRY

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower((unsigned char)x) == std::tolower((unsigned char)y);
           });
}

}  // namespace

std::span<const EffectInfo* const> EffectRegistry() { return Registry; }

const EffectInfo* FindEffect(std::string_view name) {
    for (const EffectInfo* e : Registry)
        if (SameName(e->Name, name)) return e;
    return nullptr;
}

int PrepareEffectArgs(const EffectInfo& effect, std::vector<int>* args, int* badParam) {
    if (badParam) *badParam = -1;
    if (args->size() > effect.Params.size()) return ERROR_INV_PARAMETER;
    for (size_t i = args->size(); i < effect.Params.size(); ++i)
        args->push_back(effect.Params[i].Default);
    for (size_t i = 0; i < args->size(); ++i) {
        const EffectParam& p = effect.Params[i];
        if ((*args)[i] < p.Min || (*args)[i] > p.Max) {
            if (badParam) *badParam = int(i);
            return ERROR_INV_PARAMETER;
        }
    }
    return SUCCESS;
}
