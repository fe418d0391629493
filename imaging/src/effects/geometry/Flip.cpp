#include <cstring>

#include "core/ParallelRows.h"
#include "effects/EffectSupport.h"
#include "kivo/imaging/Geometry.h"

namespace kivo::effects {

extern const EffectInfo FlipEffect = {
    "Flip", "geometry", {}, [](BitmapHandle* h, const std::vector<int>&) {
        return L_FlipBitmap(h);
    }};

}  // namespace kivo::effects

int L_FlipBitmap(BitmapHandle* h) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    return Guard([&]() -> int {
        BitmapHandle out;
        int status = out.Allocate(h->Width, h->Height, h->BitsPerPixel);
        if (status != SUCCESS) return status;
        out.Palette = h->Palette;
        out.ViewPerspective = h->ViewPerspective;
        const size_t bytes = size_t(h->BytesPerLine);
        kivo::ParallelRows(h->Height, [&](int first, int end) {
            for (int y = first; y < end; ++y)
                std::memcpy(out.Row(y), h->Row(h->Height - 1 - y), bytes);
        });
        *h = std::move(out);
        return SUCCESS;
    });
}
