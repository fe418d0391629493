#include <algorithm>
#include <array>

#include "effects/EffectSupport.h"
#include "kivo/imaging/Artistic.h"

namespace kivo::effects {

constexpr EffectParam OilifyParams[] = {{"size", 1, 32, 6}};
extern const EffectInfo OilifyEffect = {
    "Oilify", "artistic", OilifyParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_OilifyBitmap(h, a[0]); }};

namespace {

constexpr int Levels = 32;

// The brightness histogram of the window, with the colour sums of each level; the window slides
// along a row one column at a time.
struct Window {
    std::array<int, Levels> Count{};
    std::array<std::array<uint32_t, 4>, Levels> Sum{};

    void Add(const uint8_t* p, int level, int n, int sign) {
        Count[size_t(level)] += sign;
        for (int i = 0; i < n; ++i) Sum[size_t(level)][size_t(i)] += uint32_t(sign * p[i]);
    }
};

}  // namespace

}  // namespace kivo::effects

int L_OilifyBitmap(BitmapHandle* h, int size) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(OilifyParams, {size}); status != SUCCESS) return status;
    const int r = size / 2;
    return RunFilter(h, [r](const BitmapHandle& src, BitmapHandle& dst) {
        const int n = Channels(src), w = src.Width, ht = src.Height;
        // The brightness level of every pixel, computed once instead of once per window.
        std::vector<uint8_t> level(size_t(w) * size_t(ht));
        kivo::Progress progress(int64_t(ht) * 2);
        int status = ForRows(ht, progress, 0, [&](int first, int end) {
            for (int y = first; y < end; ++y) {
                const uint8_t* s = src.Row(y);
                for (int x = 0; x < w; ++x)
                    level[size_t(y) * w + x] =
                        uint8_t(Luma(s[x * n], s[x * n + 1], s[x * n + 2]) * Levels / 256);
            }
        });
        if (status != SUCCESS) return status;
        return ForRows(ht, progress, ht, [&](int first, int end) {
            for (int y = first; y < end; ++y) {
                Window win;
                auto column = [&](int cx, int sign) {
                    cx = std::clamp(cx, 0, w - 1);
                    for (int dy = -r; dy <= r; ++dy) {
                        const int sy = std::clamp(y + dy, 0, ht - 1);
                        win.Add(src.Row(sy) + size_t(cx) * n, level[size_t(sy) * w + cx], n, sign);
                    }
                };
                for (int dx = -r; dx <= r; ++dx) column(dx, 1);
                uint8_t* d = dst.Row(y);
                for (int x = 0; x < w; ++x) {
                    int best = 0;
                    for (int l = 1; l < Levels; ++l)
                        if (win.Count[size_t(l)] > win.Count[size_t(best)]) best = l;
                    const uint32_t count = uint32_t(win.Count[size_t(best)]);
                    for (int i = 0; i < n; ++i)
                        d[x * n + i] =
                            uint8_t((win.Sum[size_t(best)][size_t(i)] + count / 2) / count);
                    if (n == 4) d[x * n + 3] = src.Row(y)[x * n + 3];
                    column(x - r, -1);
                    column(x + r + 1, 1);
                }
            }
        });
    });
}
