#include "core/ParallelRows.h"
#include "effects/EffectSupport.h"
#include "kivo/imaging/Geometry.h"

namespace kivo::effects {

extern const EffectInfo ReverseEffect = {
    "Reverse", "geometry", {}, [](BitmapHandle* h, const std::vector<int>&) {
        return L_ReverseBitmap(h);
    }};

}  // namespace kivo::effects

int L_ReverseBitmap(BitmapHandle* h) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    return Guard([&]() -> int {
        BitmapHandle out;
        int status = out.Allocate(h->Width, h->Height, h->BitsPerPixel);
        if (status != SUCCESS) return status;
        out.Palette = h->Palette;
        out.ViewPerspective = h->ViewPerspective;
        kivo::ParallelRows(h->Height, [&](int first, int end) {
            for (int y = first; y < end; ++y)
                ReverseRow(h->Row(y), out.Row(y), h->Width, h->BitsPerPixel);
        });
        ClearPadding(out);
        *h = std::move(out);
        return SUCCESS;
    });
}
