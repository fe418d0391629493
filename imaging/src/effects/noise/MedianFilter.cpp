#include <algorithm>
#include <array>

#include "effects/EffectSupport.h"
#include "kivo/imaging/Noise.h"

namespace kivo::effects {

constexpr EffectParam MedianFilterParams[] = {{"size", 1, 32, 5}};
extern const EffectInfo MedianFilterEffect = {
    "MedianFilter", "noise", MedianFilterParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_MedianFilterBitmap(h, a[0]); }};

namespace {

// Huang's running median: a histogram of the window, the current median and the number of
// values below it. Neighbouring windows share all but two columns, so the median moves little
// and is found again in a few steps.
struct RunningMedian {
    std::array<int, 256> Hist{};
    int Median = 0;
    int Below = 0;  // values < Median

    void Add(int v) {
        ++Hist[size_t(v)];
        if (v < Median) ++Below;
    }
    void Remove(int v) {
        --Hist[size_t(v)];
        if (v < Median) --Below;
    }
    // The median is the value at sorted position `half` (the window holds 2·half + 1 values).
    int Find(int half) {
        while (Below > half) {
            --Median;
            Below -= Hist[size_t(Median)];
        }
        while (Below + Hist[size_t(Median)] <= half) {
            Below += Hist[size_t(Median)];
            ++Median;
        }
        return Median;
    }
};

}  // namespace

}  // namespace kivo::effects

int L_MedianFilterBitmap(BitmapHandle* h, int size) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(MedianFilterParams, {size}); status != SUCCESS) return status;
    const int r = size / 2;
    return RunFilter(h, [r](const BitmapHandle& src, BitmapHandle& dst) {
        const int n = Channels(src), w = src.Width, ht = src.Height;
        const int side = 2 * r + 1, half = side * side / 2;
        kivo::Progress progress(ht);
        return ForRows(ht, progress, 0, [&](int first, int end) {
            std::vector<const uint8_t*> rows(static_cast<size_t>(side));
            for (int y = first; y < end; ++y) {
                for (int k = 0; k < side; ++k)
                    rows[size_t(k)] = src.Row(std::clamp(y + k - r, 0, ht - 1));
                std::array<RunningMedian, 4> med;
                auto column = [&](int cx, bool add) {
                    cx = std::clamp(cx, 0, w - 1) * n;
                    for (int k = 0; k < side; ++k)
                        for (int i = 0; i < n; ++i) {
                            const int v = rows[size_t(k)][cx + i];
                            if (add)
                                med[size_t(i)].Add(v);
                            else
                                med[size_t(i)].Remove(v);
                        }
                };
                for (int dx = -r; dx <= r; ++dx) column(dx, true);
                uint8_t* d = dst.Row(y);
                for (int x = 0; x < w; ++x) {
                    for (int i = 0; i < n; ++i) d[x * n + i] = uint8_t(med[size_t(i)].Find(half));
                    column(x - r, false);
                    column(x + r + 1, true);
                }
            }
        });
    });
}
