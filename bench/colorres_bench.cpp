// Colour-depth conversion speed on a 4-megapixel photo-like picture, per conversion the editor's
// colour menu and the savers use.

#include <benchmark/benchmark.h>

#include <cmath>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/ColorRes.h"

namespace {

// Smooth gradients, a hard-edged disc and fine noise, so the quantiser sees a realistic spread.
const BitmapHandle& Picture() {
    static const BitmapHandle picture = [] {
        BitmapHandle b;
        const int w = 2400, h = 1600;
        L_CreateBitmap(&b, 1, w, h, 24);
        uint32_t state = 12345;
        for (int y = 0; y < h; ++y) {
            uint8_t* row = b.Row(y);
            for (int x = 0; x < w; ++x) {
                state = state * 1664525u + 1013904223u;
                const int noise = int(state >> 28) - 8;
                const double fx = double(x) / w, fy = double(y) / h;
                double r = 60 + 150 * fy + 40 * std::sin(9 * fx), g = 110 + 90 * fx * fy,
                       bl = 220 - 120 * fy;
                const double dx = fx - 0.3, dy = fy - 0.4;
                if (dx * dx + dy * dy < 0.02) r = 230, g = 180, bl = 40;
                auto clamp = [](double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
                row[3 * x] = clamp(bl + noise);
                row[3 * x + 1] = clamp(g + noise);
                row[3 * x + 2] = clamp(r + noise);
            }
        }
        return b;
    }();
    return picture;
}

void Convert(benchmark::State& state, int bpp, int flags, const RgbQuad* palette, int colours,
             int fromBpp) {
    BitmapHandle src;
    if (fromBpp == 24)
        src = Picture();
    else
        L_ColorResBitmap(&Picture(), &src, fromBpp, CRF_FLOYDSTEINDITHERING);
    for (auto _ : state) {
        BitmapHandle dst;
        benchmark::DoNotOptimize(L_ColorResBitmap(&src, &dst, bpp, flags, palette, colours));
    }
    state.SetItemsProcessed(state.iterations() * int64_t(src.Width) * src.Height);
}

const RgbQuad BlackWhite[2] = {RgbQuad{0, 0, 0, 0}, RgbQuad{255, 255, 255, 0}};

BENCHMARK_CAPTURE(Convert, To8Wu_FloydSteinberg, 8, CRF_FLOYDSTEINDITHERING, nullptr, 0, 24)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, To8Wu_Nearest, 8, 0, nullptr, 0, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, To4Wu_FloydSteinberg, 4, CRF_FLOYDSTEINDITHERING, nullptr, 0, 24)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, To1BlackWhite_FloydSteinberg, 1, CRF_FLOYDSTEINDITHERING, BlackWhite,
                  2, 24)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, To16_Truncate, 16, CRF_BYTEORDERBGR, nullptr, 0, 24)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, To32, 32, CRF_BYTEORDERBGR, nullptr, 0, 24)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, From8To24, 24, CRF_BYTEORDERBGR, nullptr, 0, 8)
    ->Unit(benchmark::kMillisecond);

}  // namespace
