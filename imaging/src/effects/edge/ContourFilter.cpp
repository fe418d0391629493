#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "effects/EffectSupport.h"
#include "kivo/imaging/Edge.h"

namespace kivo::effects {

constexpr EffectParam ContourFilterParams[] = {{"threshold", 0, 255, 50},
                                               {"deltaDirection", 0, 180, 35},
                                               {"maximumError", 0, 255, 15},
                                               {"option", 0, 2, CONTOUR_BLACK_ON_WHITE}};
extern const EffectInfo ContourFilterEffect = {
    "ContourFilter", "edge", ContourFilterParams, [](BitmapHandle* h, const std::vector<int>& a) {
        return L_ContourFilterBitmap(h, a[0], a[1], a[2], a[3]);
    }};

}  // namespace kivo::effects

int L_ContourFilterBitmap(BitmapHandle* h, int threshold, int deltaDirection, int maximumError,
                          int option) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status =
            CheckArgs(ContourFilterParams, {threshold, deltaDirection, maximumError, option});
        status != SUCCESS)
        return status;
    return RunFilter(h, [&](const BitmapHandle& src, BitmapHandle& dst) {
        const int n = Channels(src), w = src.Width, ht = src.Height;
        const size_t count = size_t(w) * size_t(ht);
        kivo::Progress progress(int64_t(ht) * 3);

        // Each channel smoothed by 1-2-1 in both directions, so grain does not draw lines. The
        // gradient is taken per channel and the strongest wins, so a border between two colours
        // of the same brightness (water against grass) is a contour too.
        std::vector<std::array<uint8_t, 3>> smooth(count);
        int status = ForRows(ht, progress, 0, [&](int first, int end) {
            for (int y = first; y < end; ++y) {
                const uint8_t* rows[3] = {src.Row(std::max(0, y - 1)), src.Row(y),
                                          src.Row(std::min(ht - 1, y + 1))};
                for (int x = 0; x < w; ++x) {
                    const int xs[3] = {std::max(0, x - 1) * n, x * n, std::min(w - 1, x + 1) * n};
                    for (int c = 0; c < 3; ++c) {
                        int v = 0;
                        for (int j = 0; j < 3; ++j)
                            for (int i = 0; i < 3; ++i)
                                v += rows[j][xs[i] + c] * (i == 1 ? 2 : 1) * (j == 1 ? 2 : 1);
                        smooth[size_t(y) * w + x][size_t(c)] = uint8_t((v + 8) / 16);
                    }
                }
            }
        });
        if (status != SUCCESS) return status;
        auto S = [&](int x, int y, int c) {
            return int(smooth[size_t(std::clamp(y, 0, ht - 1)) * w +
                              size_t(std::clamp(x, 0, w - 1))][size_t(c)]);
        };
        // Sobel divided by 2: a step edge from 0 to v measures 2v, so the threshold is in levels
        // of the change across one pixel step of a lightly blurred edge.
        std::vector<uint16_t> magnitude(count);
        std::vector<float> angle(count);
        status = ForRows(ht, progress, ht, [&](int first, int end) {
            for (int y = first; y < end; ++y)
                for (int x = 0; x < w; ++x) {
                    int bestGx = 0, bestGy = 0, best = -1;
                    for (int c = 0; c < 3; ++c) {
                        const int gx = S(x + 1, y - 1, c) + 2 * S(x + 1, y, c) +
                                       S(x + 1, y + 1, c) - S(x - 1, y - 1, c) -
                                       2 * S(x - 1, y, c) - S(x - 1, y + 1, c);
                        const int gy = S(x - 1, y + 1, c) + 2 * S(x, y + 1, c) +
                                       S(x + 1, y + 1, c) - S(x - 1, y - 1, c) -
                                       2 * S(x, y - 1, c) - S(x + 1, y - 1, c);
                        if (gx * gx + gy * gy > best) {
                            best = gx * gx + gy * gy;
                            bestGx = gx;
                            bestGy = gy;
                        }
                    }
                    magnitude[size_t(y) * w + x] =
                        uint16_t(std::lround(std::sqrt(double(best)) / 2));
                    angle[size_t(y) * w + x] = float(std::atan2(bestGy, bestGx));
                }
        });
        if (status != SUCCESS) return status;

        // Ridges: pixels whose magnitude is not below either neighbour across the edge.
        const int weak = std::max(1, threshold - maximumError);
        std::vector<uint8_t> ridge(count);  // 0 none, 1 weak, 2 strong, 3 on a contour
        std::vector<size_t> stack;
        for (int y = 0; y < ht; ++y)
            for (int x = 0; x < w; ++x) {
                const size_t i = size_t(y) * w + x;
                const int m = magnitude[i];
                if (m < weak) continue;
                const double a = angle[i];
                const int dx = int(std::lround(std::cos(a))), dy = int(std::lround(std::sin(a)));
                auto M = [&](int px, int py) {
                    if (px < 0 || px >= w || py < 0 || py >= ht) return 0;
                    return int(magnitude[size_t(py) * w + px]);
                };
                if (m < M(x + dx, y + dy) || m < M(x - dx, y - dy)) continue;
                ridge[i] = m >= threshold ? 3 : 1;
                if (ridge[i] == 3) stack.push_back(i);
            }
        // Follow contours from the strong ridges into weak ones that keep the direction.
        const double maxTurn = deltaDirection * std::numbers::pi / 180;
        while (!stack.empty()) {
            const size_t i = stack.back();
            stack.pop_back();
            const int x = int(i % size_t(w)), y = int(i / size_t(w));
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int px = x + dx, py = y + dy;
                    if (px < 0 || px >= w || py < 0 || py >= ht) continue;
                    const size_t j = size_t(py) * w + px;
                    if (ridge[j] != 1) continue;
                    double turn = std::abs(angle[j] - angle[i]);
                    if (turn > std::numbers::pi) turn = 2 * std::numbers::pi - turn;
                    if (turn > maxTurn) continue;
                    ridge[j] = 3;
                    stack.push_back(j);
                }
        }
        if (!progress.Report(int64_t(ht) * 2)) return int(ERROR_USER_ABORT);

        return ForRows(ht, progress, int64_t(ht) * 2, [&](int first, int end) {
            for (int y = first; y < end; ++y) {
                const uint8_t* s = src.Row(y);
                uint8_t* d = dst.Row(y);
                for (int x = 0; x < w; ++x) {
                    const bool line = ridge[size_t(y) * w + x] == 3;
                    for (int c = 0; c < 3; ++c) {
                        uint8_t v;
                        switch (option) {
                            case CONTOUR_BLACK_ON_WHITE:
                                v = line ? 0 : 255;
                                break;
                            case CONTOUR_COLOUR_ON_WHITE:
                                v = line ? s[x * n + c] : 255;
                                break;
                            default:
                                v = line ? 255 : 0;
                                break;
                        }
                        d[x * n + c] = v;
                    }
                    if (n == 4) d[x * n + 3] = s[x * n + 3];
                }
            }
        });
    });
}
