#include "effects/EffectSupport.h"
#include "kivo/imaging/Noise.h"

namespace kivo::effects {

constexpr EffectParam AddNoiseParams[] = {{"range", 0, 1000, 200},
                                          {"channel", 0, 3, CHANNEL_MASTER}};
extern const EffectInfo AddNoiseEffect = {
    "AddNoise", "noise", AddNoiseParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_AddBitmapNoise(h, a[0], a[1]); }};

namespace {

// A counter-based generator: the noise of a pixel depends only on its position and channel,
// so row bands can be filled in any order on any number of threads with the same result.
inline uint32_t Hash(uint64_t v) {
    v += 0x9E3779B97F4A7C15ull;
    v = (v ^ (v >> 30)) * 0xBF58476D1CE4E5B9ull;
    v = (v ^ (v >> 27)) * 0x94D049BB133111EBull;
    return uint32_t((v ^ (v >> 31)) >> 32);
}

}  // namespace

}  // namespace kivo::effects

int L_AddBitmapNoise(BitmapHandle* h, int range, int channel) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(AddNoiseParams, {range, channel}); status != SUCCESS) return status;
    const int amplitude = (range * 255 + 500) / 1000;
    return RunFilter(h, [&](const BitmapHandle& src, BitmapHandle& dst) {
        const int n = Channels(src), w = src.Width;
        // Channel order in memory is B, G, R.
        const int only = channel == CHANNEL_RED ? 2 : channel == CHANNEL_GREEN ? 1 : 0;
        const uint32_t span = uint32_t(2 * amplitude + 1);
        kivo::Progress progress(src.Height);
        return ForRows(src.Height, progress, 0, [&](int first, int end) {
            for (int y = first; y < end; ++y) {
                const uint8_t* s = src.Row(y);
                uint8_t* d = dst.Row(y);
                for (int x = 0; x < w; ++x) {
                    const uint64_t position = uint64_t(y) * uint64_t(w) + uint64_t(x);
                    // Uniform in [−amplitude, amplitude] by the multiply-shift reduction.
                    const int noise = int((uint64_t(Hash(position)) * span) >> 32) - amplitude;
                    for (int i = 0; i < n; ++i) d[x * n + i] = s[x * n + i];
                    if (channel == CHANNEL_MASTER) {
                        for (int i = 0; i < 3; ++i) d[x * n + i] = ClampByte(s[x * n + i] + noise);
                    } else {
                        d[x * n + only] = ClampByte(s[x * n + only] + noise);
                    }
                }
            }
        });
    });
}
