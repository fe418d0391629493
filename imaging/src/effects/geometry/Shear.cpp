#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "effects/EffectSupport.h"
#include "kivo/imaging/Geometry.h"

namespace kivo::effects {

constexpr EffectParam ShearParams[] = {
    {"angle", -4500, 4500, 2000}, {"horizontal", 0, 1, 1}, {"fill", 0, 0xFFFFFF, 0xFFFFFF}};
extern const EffectInfo ShearEffect = {"Shear", "geometry", ShearParams,
                                       [](BitmapHandle* h, const std::vector<int>& a) {
                                           return L_ShearBitmap(h, a[0], a[1] != 0, ColorRef(a[2]));
                                       }};

namespace {

// How far (in pixels) the line at position i of `length` lines slides: the far end by the
// whole extent, the near end not at all, so the result starts at index 0.
struct Slide {
    int Whole;      // floor(-offset)
    unsigned Frac;  // fraction of -offset in 1/256
};

std::vector<Slide> Slides(int length, double t) {
    std::vector<Slide> out(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i) {
        const double offset = t > 0 ? t * (length - 1 - i) : -t * i;
        const double back = -offset;
        const double whole = std::floor(back);
        int frac = int(std::lround((back - whole) * 256));
        int w = int(whole);
        if (frac == 256) {
            frac = 0;
            ++w;
        }
        out[size_t(i)] = {w, unsigned(frac)};
    }
    return out;
}

}  // namespace

}  // namespace kivo::effects

int L_ShearBitmap(BitmapHandle* h, int angle, bool horizontal, ColorRef fill) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(ShearParams, {angle, horizontal ? 1 : 0, int(fill & 0xFFFFFF)});
        status != SUCCESS)
        return status;
    if (angle == 0) return SUCCESS;
    return Guard([&]() -> int {
        BitmapHandle promoted;
        const BitmapHandle* src = h;
        if (h->BitsPerPixel < 24) {
            int status = TrueColourCopy(*h, &promoted);
            if (status != SUCCESS) return status;
            src = &promoted;
        }
        const double t = std::tan(angle / 100.0 * std::numbers::pi / 180.0);
        const int w = src->Width, ht = src->Height, n = Channels(*src);
        const int lines = horizontal ? ht : w;
        const int grow = int(std::ceil(std::abs(t) * (lines - 1) - 1e-6));
        const int nw = horizontal ? w + grow : w, nh = horizontal ? ht : ht + grow;
        BitmapHandle out;
        int status = out.Allocate(nw, nh, src->BitsPerPixel);
        if (status != SUCCESS) return status;
        const std::vector<Slide> slides = Slides(lines, t);
        const uint8_t fillPixel[4] = {GetBValue(fill), GetGValue(fill), GetRValue(fill), 255};

        // One sample of the old picture along the sliding axis; off the picture it is the fill.
        auto sample = [&](int x, int y) -> const uint8_t* {
            if (x < 0 || x >= w || y < 0 || y >= ht) return fillPixel;
            return src->Row(y) + size_t(x) * n;
        };
        kivo::Progress progress(nh);
        status = ForRows(nh, progress, 0, [&](int first, int end) {
            for (int y = first; y < end; ++y) {
                uint8_t* d = out.Row(y);
                for (int x = 0; x < nw; ++x, d += n) {
                    const Slide s = slides[size_t(horizontal ? y : x)];
                    const uint8_t *a, *b;
                    if (horizontal) {
                        a = sample(x + s.Whole, y);
                        b = sample(x + s.Whole + 1, y);
                    } else {
                        a = sample(x, y + s.Whole);
                        b = sample(x, y + s.Whole + 1);
                    }
                    for (int i = 0; i < n; ++i)
                        d[i] = uint8_t((a[i] * (256 - s.Frac) + b[i] * s.Frac + 128) >> 8);
                }
            }
        });
        if (status != SUCCESS) return status;
        ClearPadding(out);
        out.ViewPerspective = h->ViewPerspective;
        *h = std::move(out);
        return SUCCESS;
    });
}
