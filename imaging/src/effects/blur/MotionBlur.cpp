#include <algorithm>
#include <cmath>
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
    return RunFilter(h, [&](const BitmapHandle& src, BitmapHandle& dst) {
        const int n = Channels(src), w = src.Width, ht = src.Height;
        int reachX = 0, reachY = 0;
        for (const Tap& t : taps) {
            reachX = std::max({reachX, std::abs(t.Dx), std::abs(t.Dx + 1)});
            reachY = std::max({reachY, std::abs(t.Dy), std::abs(t.Dy + 1)});
        }
        const uint64_t total = uint64_t(256) * taps.size();
        kivo::Progress progress(ht);
        return ForRows(ht, progress, 0, [&](int first, int end) {
            for (int y = first; y < end; ++y) {
                uint8_t* d = dst.Row(y);
                const bool rowInside = y - reachY >= 0 && y + reachY < ht;
                for (int x = 0; x < w; ++x) {
                    uint64_t acc[4] = {0, 0, 0, 0};
                    const bool inside = rowInside && x - reachX >= 0 && x + reachX < w;
                    for (const Tap& t : taps) {
                        int x0 = x + t.Dx, y0 = y + t.Dy, x1 = x0 + 1, y1 = y0 + 1;
                        if (!inside) {
                            x0 = std::clamp(x0, 0, w - 1);
                            x1 = std::clamp(x1, 0, w - 1);
                            y0 = std::clamp(y0, 0, ht - 1);
                            y1 = std::clamp(y1, 0, ht - 1);
                        }
                        const uint8_t* p00 = src.Row(y0) + size_t(x0) * n;
                        const uint8_t* p10 = src.Row(y0) + size_t(x1) * n;
                        const uint8_t* p01 = src.Row(y1) + size_t(x0) * n;
                        const uint8_t* p11 = src.Row(y1) + size_t(x1) * n;
                        for (int i = 0; i < n; ++i)
                            acc[i] +=
                                p00[i] * t.W00 + p10[i] * t.W10 + p01[i] * t.W01 + p11[i] * t.W11;
                    }
                    for (int i = 0; i < n; ++i)
                        d[x * n + i] = uint8_t((acc[i] + total / 2) / total);
                }
            }
        });
    });
}
