#include "core/ParallelRows.h"
#include "effects/EffectSupport.h"
#include "kivo/imaging/Geometry.h"

namespace kivo::effects {

extern const EffectInfo ReverseEffect = {
    "Reverse", "geometry", {}, [](BitmapHandle* h, const std::vector<int>&) {
        return L_ReverseBitmap(h);
    }};

namespace {

template <int N>
void ReverseRow(const uint8_t* s, uint8_t* d, int width) {
    for (int x = 0; x < width; ++x)
        for (int i = 0; i < N; ++i) d[size_t(x) * N + i] = s[size_t(width - 1 - x) * N + i];
}

}  // namespace

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
        const int w = h->Width, bpp = h->BitsPerPixel;
        kivo::ParallelRows(h->Height, [&](int first, int end) {
            for (int y = first; y < end; ++y) {
                const uint8_t* s = h->Row(y);
                uint8_t* d = out.Row(y);
                switch (bpp) {
                    case 8:
                        ReverseRow<1>(s, d, w);
                        break;
                    case 16:
                        ReverseRow<2>(s, d, w);
                        break;
                    case 24:
                        ReverseRow<3>(s, d, w);
                        break;
                    case 32:
                        ReverseRow<4>(s, d, w);
                        break;
                    default:
                        for (int x = 0; x < w; ++x) CopyPixel(s, w - 1 - x, d, x, bpp);
                }
            }
        });
        ClearPadding(out);
        *h = std::move(out);
        return SUCCESS;
    });
}
