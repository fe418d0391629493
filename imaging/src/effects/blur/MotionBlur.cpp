#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

#include "effects/EffectSupport.h"
#include "kivo/imaging/Blur.h"

namespace kivo::effects {

constexpr EffectParam MotionBlurParams[] = {
    {"dim", 1, 500, 50}, {"angle", 0, 36000, 4500}, {"unidirectional", 0, 1, 0}};
extern const EffectInfo MotionBlurEffect = {"MotionBlur", "blur", MotionBlurParams,
                                            [](BitmapHandle* h, const std::vector<int>& a) {
                                                return L_MotionBlurBitmap(h, a[0], a[1], a[2] != 0);
                                            }};

namespace {

// One sample along the line: whole-pixel offsets and bilinear weights in 1/256 (the same for
// every pixel, since the line only moves with the pixel).
struct Tap {
    int Dx, Dy;
    unsigned W00, W10, W01, W11;
};

}  // namespace

}  // namespace kivo::effects

int L_MotionBlurBitmap(BitmapHandle* h, int dim, int angle, bool unidirectional) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(MotionBlurParams, {dim, angle, unidirectional ? 1 : 0});
        status != SUCCESS)
        return status;
    const double a = angle / 100.0 * std::numbers::pi / 180;
    std::vector<Tap> taps;
    for (int k = 0; k < dim; ++k) {
        const double t = unidirectional ? k : k - (dim - 1) / 2.0;
        const double px = t * std::cos(a), py = t * std::sin(a);
        const double fx = std::floor(px), fy = std::floor(py);
        const unsigned ux = unsigned(std::lround((px - fx) * 16)),
                       uy = unsigned(std::lround((py - fy) * 16));
        taps.push_back(
            {int(fx), int(fy), (16 - ux) * (16 - uy), ux * (16 - uy), (16 - ux) * uy, ux * uy});
    }
    // The taps' bilinear weights, gathered per offset: a sparse kernel whose weights sum to
    // 256 · dim. Offsets shared by neighbouring taps are added once.
    struct Weight {
        int Dx, Dy;
        int32_t W;
    };
    std::vector<Weight> kernel;
    auto add = [&](int dx, int dy, unsigned wgt) {
        if (wgt == 0) return;
        for (Weight& k : kernel)
            if (k.Dx == dx && k.Dy == dy) {
                k.W += int32_t(wgt);
                return;
            }
        kernel.push_back({dx, dy, int32_t(wgt)});
    };
    int reachX = 0;
    for (const Tap& t : taps) {
        add(t.Dx, t.Dy, t.W00);
        add(t.Dx + 1, t.Dy, t.W10);
        add(t.Dx, t.Dy + 1, t.W01);
        add(t.Dx + 1, t.Dy + 1, t.W11);
        reachX = std::max({reachX, std::abs(t.Dx), std::abs(t.Dx + 1)});
    }
    std::sort(kernel.begin(), kernel.end(),
              [](const Weight& a, const Weight& b) { return a.Dy < b.Dy; });
    return RunFilter(h, [&](const BitmapHandle& src, BitmapHandle& dst) {
        const int n = Channels(src), w = src.Width, ht = src.Height;
        const size_t nb = size_t(n), rowBytes = size_t(w) * nb;
        kivo::Progress progress(ht);
        return ForRows(ht, progress, 0, [&](int first, int end) {
            // A source row padded with its edge pixels reads like the clamped coordinates did.
            std::vector<uint8_t> pad((size_t(w) + 2 * size_t(reachX)) * nb);
            std::vector<int32_t> acc(rowBytes);
            for (int y = first; y < end; ++y) {
                std::fill(acc.begin(), acc.end(), 0);
                int paddedDy = INT32_MIN;
                for (const Weight& k : kernel) {
                    if (k.Dy != paddedDy) {
                        paddedDy = k.Dy;
                        const uint8_t* s = src.Row(std::clamp(y + k.Dy, 0, ht - 1));
                        for (int i = 0; i < reachX; ++i) {
                            std::memcpy(&pad[size_t(i) * nb], s, nb);
                            std::memcpy(&pad[(size_t(reachX) + size_t(w) + size_t(i)) * nb],
                                        s + size_t(w - 1) * nb, nb);
                        }
                        std::memcpy(&pad[size_t(reachX) * nb], s, rowBytes);
                    }
                    const uint8_t* p = &pad[size_t(reachX + k.Dx) * nb];
                    int32_t* a = acc.data();
                    const int32_t wk = k.W;
                    for (size_t i = 0; i < rowBytes; ++i) a[i] += wk * p[i];
                }
                // round(acc / (256 · dim)) = floor(floor((acc + 128 · dim) / 256) / dim); the
                // inner quotient is below 2^24 and the outer at most 255, so a float division
                // rounds to the exact whole part (its error is far below 1/dim).
                const int32_t half = int32_t(128 * taps.size());
                const float divisor = float(taps.size());
                uint8_t* d = dst.Row(y);
                for (size_t i = 0; i < rowBytes; ++i)
                    d[i] = uint8_t(int(float((acc[i] + half) >> 8) / divisor));
            }
        });
    });
}
