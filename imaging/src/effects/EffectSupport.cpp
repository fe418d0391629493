#include "effects/EffectSupport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "core/ParallelRows.h"
#include "core/PixelRows.h"
#include "kivo/imaging/ColorRes.h"

namespace kivo::effects {

int CheckArgs(std::span<const EffectParam> params, std::initializer_list<int> values) {
    size_t i = 0;
    for (int v : values) {
        if (i >= params.size() || v < params[i].Min || v > params[i].Max)
            return ERROR_INV_PARAMETER;
        ++i;
    }
    return SUCCESS;
}

int CheckBitmap(const BitmapHandle* h) {
    if (!h) return ERROR_INV_PARAMETER;
    if (!h->Allocated() || !h->Data()) return ERROR_NO_BITMAP;
    switch (h->BitsPerPixel) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            return SUCCESS;
        default:
            return ERROR_INV_BITSPERPIXEL;
    }
}

int ForRows(int height, Progress& progress, int64_t base, const std::function<void(int, int)>& fn) {
    // Chunks of a sixteenth keep the progress bar moving without costing the threads much.
    const int chunk = std::max(64, height / 16);
    for (int y0 = 0; y0 < height; y0 += chunk) {
        const int y1 = std::min(height, y0 + chunk);
        ParallelRows(y1 - y0, [&](int first, int end) { fn(y0 + first, y0 + end); });
        if (!progress.Report(base + y1)) return ERROR_USER_ABORT;
    }
    return SUCCESS;
}

int TrueColourCopy(const BitmapHandle& src, BitmapHandle* out) {
    if (src.BitsPerPixel >= 24) {
        *out = src;
        return SUCCESS;
    }
    // Going up in depth is exact, so the shared conversion serves; it drops the region, which
    // the caller keeps on the original handle.
    return L_ColorResBitmap(&src, out, 24, CRF_BYTEORDERBGR);
}

bool InRegion(const BitmapRegion& region, int x, int y) {
    const BitmapRect& b = region.Bounds;
    if (x < b.Left || x >= b.Right || y < b.Top || y >= b.Bottom) return false;
    const size_t w = size_t(b.Right - b.Left);
    return region.Mask[size_t(y - b.Top) * w + size_t(x - b.Left)] != 0;
}

namespace {

// Copies back from `original` every pixel of `result` outside the region.
void RestoreOutside(const BitmapRegion& region, const BitmapHandle& original,
                    BitmapHandle& result) {
    const int n = Channels(result);
    const BitmapRect& b = region.Bounds;
    const size_t maskWidth = size_t(std::max(0, b.Right - b.Left));
    ParallelRows(result.Height, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            const uint8_t* s = original.Row(y);
            uint8_t* d = result.Row(y);
            const bool rowInside = y >= b.Top && y < b.Bottom && maskWidth > 0;
            const uint8_t* mask =
                rowInside ? region.Mask.data() + size_t(y - b.Top) * maskWidth : nullptr;
            for (int x = 0; x < result.Width; ++x) {
                const bool inside = mask && x >= b.Left && x < b.Right && mask[x - b.Left];
                if (!inside) std::memcpy(d + size_t(x) * n, s + size_t(x) * n, size_t(n));
            }
        }
    });
}

}  // namespace

void ClearPadding(BitmapHandle& h) {
    const size_t used = (size_t(h.Width) * size_t(h.BitsPerPixel) + 7) / 8;
    if (used >= size_t(h.BytesPerLine)) return;
    for (int y = 0; y < h.Height; ++y)
        std::memset(h.Row(y) + used, 0, size_t(h.BytesPerLine) - used);
}

int RunFilter(BitmapHandle* h, const Kernel& kernel) {
    return Guard([&]() -> int {
        BitmapHandle promoted;
        const BitmapHandle* src = h;
        if (h->BitsPerPixel < 24) {
            int status = TrueColourCopy(*h, &promoted);
            if (status != SUCCESS) return status;
            src = &promoted;
        }
        BitmapHandle dst;
        int status = dst.Allocate(src->Width, src->Height, src->BitsPerPixel);
        if (status != SUCCESS) return status;
        status = kernel(*src, dst);
        if (status != SUCCESS) return status;
        ClearPadding(dst);
        if (h->Region) {
            RestoreOutside(*h->Region, *src, dst);
            dst.Region = std::move(h->Region);
        }
        dst.ViewPerspective = h->ViewPerspective;
        *h = std::move(dst);
        return SUCCESS;
    });
}

bool CanWorkInPlace(const BitmapHandle& h) {
    return !h.Region && h.BitsPerPixel >= 24 && L_GetStatusCallBack() == nullptr;
}

namespace {

#if defined(__x86_64__)
// A table of 256 bytes looked up 64 bytes at a time: two 128-byte permutes and a blend by the
// top bit of each byte. With keepAlpha every fourth byte (alpha of B, G, R, A pixels) stays.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) size_t LookUpBytesVbmi(
    const uint8_t* s, uint8_t* d, const uint8_t* lut, size_t len, bool keepAlpha) {
    const __m512i t0 = _mm512_loadu_si512(lut), t1 = _mm512_loadu_si512(lut + 64);
    const __m512i t2 = _mm512_loadu_si512(lut + 128), t3 = _mm512_loadu_si512(lut + 192);
    const __mmask64 alpha = keepAlpha ? 0x8888888888888888ull : 0;
    size_t i = 0;
    for (; i + 64 <= len; i += 64) {
        const __m512i v = _mm512_loadu_si512(s + i);
        const __m512i low = _mm512_permutex2var_epi8(t0, v, t1);
        const __m512i high = _mm512_permutex2var_epi8(t2, v, t3);
        __m512i r = _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high);
        r = _mm512_mask_blend_epi8(alpha, r, v);
        _mm512_storeu_si512(d + i, r);
    }
    return i;
}

bool HasVbmi() {
    static const bool has = __builtin_cpu_supports("avx512f") &&
                            __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512vbmi");
    return has;
}
#endif

// One table for every byte of a row (every colour byte with keepAlpha): no stride to keep.
void LookUpBytes(const uint8_t* s, uint8_t* d, const std::array<uint8_t, 256>& lut, size_t len,
                 bool keepAlpha) {
    size_t i = 0;
#if defined(__x86_64__)
    if (HasVbmi()) i = LookUpBytesVbmi(s, d, lut.data(), len, keepAlpha);
#endif
    for (; i < len; ++i) d[i] = keepAlpha && i % 4 == 3 ? s[i] : lut[s[i]];
}

void LookUpRow(const uint8_t* s, uint8_t* d, int width, int n, const ChannelLuts& luts, bool same) {
    if (same) return LookUpBytes(s, d, luts.B, size_t(width) * size_t(n), n == 4);
    if (n == 3) {
        for (int x = 0; x < width; ++x) {
            d[3 * x] = luts.B[s[3 * x]];
            d[3 * x + 1] = luts.G[s[3 * x + 1]];
            d[3 * x + 2] = luts.R[s[3 * x + 2]];
        }
    } else {
        for (int x = 0; x < width; ++x) {
            d[4 * x] = luts.B[s[4 * x]];
            d[4 * x + 1] = luts.G[s[4 * x + 1]];
            d[4 * x + 2] = luts.R[s[4 * x + 2]];
            d[4 * x + 3] = s[4 * x + 3];
        }
    }
}

}  // namespace

int ApplyLuts(BitmapHandle* h, const ChannelLuts& luts) {
    if (h->BitsPerPixel <= 8 && !h->Region) {
        for (RgbQuad& q : h->Palette) {
            q.Blue = luts.B[q.Blue];
            q.Green = luts.G[q.Green];
            q.Red = luts.R[q.Red];
        }
        return SUCCESS;
    }
    const bool same = luts.B == luts.G && luts.G == luts.R;
    if (CanWorkInPlace(*h)) {
        const int n = Channels(*h);
        ParallelRows(h->Height, [&](int first, int end) {
            for (int y = first; y < end; ++y)
                LookUpRow(h->Row(y), h->Row(y), h->Width, n, luts, same);
        });
        return SUCCESS;
    }
    return RunFilter(h, [&](const BitmapHandle& src, BitmapHandle& dst) {
        Progress progress(src.Height);
        const int n = Channels(src);
        return ForRows(src.Height, progress, 0, [&](int first, int end) {
            for (int y = first; y < end; ++y)
                LookUpRow(src.Row(y), dst.Row(y), src.Width, n, luts, same);
        });
    });
}

std::array<uint8_t, 4> StoredColour(const BitmapHandle& h, ColorRef colour) {
    const int r = GetRValue(colour), g = GetGValue(colour), b = GetBValue(colour);
    std::array<uint8_t, 4> v{uint8_t(b), uint8_t(g), uint8_t(r), 255};
    if (h.BitsPerPixel <= 8) {
        // Nearest palette entry by squared distance, lowest index on ties.
        int best = 0;
        long bestDistance = -1;
        const size_t entries = std::min(h.Palette.size(), size_t(1) << h.BitsPerPixel);
        for (size_t i = 0; i < entries; ++i) {
            const RgbQuad& q = h.Palette[i];
            const long d = long(q.Red - r) * (q.Red - r) + long(q.Green - g) * (q.Green - g) +
                           long(q.Blue - b) * (q.Blue - b);
            if (bestDistance < 0 || d < bestDistance) {
                bestDistance = d;
                best = int(i);
            }
        }
        v = {uint8_t(best), 0, 0, 0};
    } else if (h.BitsPerPixel == 16) {
        const unsigned p = unsigned(b >> 3) | (unsigned(g >> 3) << 5) | (unsigned(r >> 3) << 10);
        v = {uint8_t(p), uint8_t(p >> 8), 0, 0};
    }
    return v;
}

namespace {

// The inner loops of the separable convolution, over `len` interleaved channel bytes. The
// weights are symmetric, so the two taps at the same distance are added first (at most 510, in
// 16 bits) and multiplied once. The loops are cloned for AVX2, picked at load time on machines
// that have it; the sums are integers and the same on every path.
#define KIVO_SIMD_CLONES __attribute__((target_clones("avx2", "default")))

KIVO_SIMD_CLONES
void StartSums(int32_t* acc, const uint8_t* centre, int weight, size_t len) {
    for (size_t i = 0; i < len; ++i) acc[i] = (1 << 13) + weight * centre[i];
}

KIVO_SIMD_CLONES
void AddPairs(int32_t* acc, const uint8_t* a, const uint8_t* b, int weight, size_t len) {
    const int16_t w = int16_t(weight);
    for (size_t i = 0; i < len; ++i) acc[i] += w * int16_t(a[i] + b[i]);
}

KIVO_SIMD_CLONES
void StoreSums(const int32_t* acc, uint8_t* out, size_t len) {
    for (size_t i = 0; i < len; ++i) {
        const int v = acc[i] >> 14;
        out[i] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

// Box weights: every tap but the centre has the same weight `w`, so a sum is w · (window sum) +
// (centre − w) · centre pixel; the window sums fit 16 bits for up to 257 taps.
KIVO_SIMD_CLONES
void StoreBox(const uint16_t* windowSum, const uint8_t* centre, int w, int centreExtra,
              uint8_t* out, size_t len) {
    for (size_t i = 0; i < len; ++i) {
        const int v = ((1 << 13) + w * int(windowSum[i]) + centreExtra * int(centre[i])) >> 14;
        out[i] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

KIVO_SIMD_CLONES
void AddBytes(uint16_t* sum, const uint8_t* a, size_t len) {
    for (size_t i = 0; i < len; ++i) sum[i] = uint16_t(sum[i] + a[i]);
}

KIVO_SIMD_CLONES
void SubtractBytes(uint16_t* sum, const uint8_t* a, size_t len) {
    for (size_t i = 0; i < len; ++i) sum[i] = uint16_t(sum[i] - a[i]);
}

// Bytes per chunk of a row: the 32-bit sums of a chunk stay in the first-level cache while every
// tap is added.
constexpr size_t Chunk = 4096;

}  // namespace

int ConvolveSeparable(const BitmapHandle& src, BitmapHandle& dst, std::span<const int> weights) {
    const int radius = int(weights.size() / 2);
    const int n = Channels(src);
    const int w = src.Width, h = src.Height;
    const size_t rowBytes = size_t(w) * size_t(n);
    const size_t nb = size_t(n);
    Progress progress(h);

    bool symmetric = weights.size() % 2 == 1, box = symmetric && radius > 0 && radius <= 128;
    for (int k = 1; k <= radius; ++k) {
        symmetric = symmetric && weights[size_t(radius - k)] == weights[size_t(radius + k)];
        box = box && weights[size_t(radius + k)] == weights[size_t(radius + 1)];
    }
    if (!symmetric) return ERROR_INV_PARAMETER;
    const int centre = weights[size_t(radius)];
    const int side = radius > 0 ? weights[size_t(radius + 1)] : 0;

    // Each band of rows filters the source rows it needs horizontally into a ring of 2·radius + 2
    // rows and sums the ring vertically, so the intermediate picture never leaves the cache (the
    // few rows two bands share are filtered twice). Horizontal results are rounded to bytes
    // before the vertical pass.
    return ForRows(h, progress, 0, [&](int first, int end) {
        const int ringRows = 2 * radius + 2;
        std::vector<uint8_t> ring(rowBytes * size_t(ringRows));
        std::vector<uint8_t> pad((size_t(w) + 2 * size_t(radius)) * nb);
        std::vector<int32_t> acc(std::min(rowBytes, Chunk));
        std::vector<uint16_t> sum(box ? std::min(rowBytes, Chunk) : 0);
        auto slot = [&](int yy) {
            return &ring[size_t(((yy % ringRows) + ringRows) % ringRows) * rowBytes];
        };
        // Row yy of the horizontal pass (rows above and below the picture repeat its edge rows).
        auto horizontal = [&](int yy) {
            const uint8_t* s = src.Row(std::clamp(yy, 0, h - 1));
            for (int i = 0; i < radius; ++i) {
                std::memcpy(&pad[size_t(i) * nb], s, nb);
                std::memcpy(&pad[(size_t(radius) + size_t(w) + size_t(i)) * nb],
                            s + size_t(w - 1) * nb, nb);
            }
            std::memcpy(&pad[size_t(radius) * nb], s, rowBytes);
            uint8_t* t = slot(yy);
            const uint8_t* c = &pad[size_t(radius) * nb];
            for (size_t x0 = 0; x0 < rowBytes; x0 += Chunk) {
                const size_t len = std::min(Chunk, rowBytes - x0);
                if (box) {
                    std::fill(sum.begin(), sum.begin() + ptrdiff_t(len), uint16_t(0));
                    for (int k = -radius; k <= radius; ++k)
                        AddBytes(sum.data(), c + x0 + ptrdiff_t(k) * n, len);
                    StoreBox(sum.data(), c + x0, side, centre - side, t + x0, len);
                    continue;
                }
                StartSums(acc.data(), c + x0, centre, len);
                for (int k = 1; k <= radius; ++k)
                    AddPairs(acc.data(), c + x0 - size_t(k) * nb, c + x0 + size_t(k) * nb,
                             weights[size_t(radius + k)], len);
                StoreSums(acc.data(), t + x0, len);
            }
        };
        for (int yy = first - radius; yy < first + radius; ++yy) horizontal(yy);
        std::vector<uint16_t> column(box ? rowBytes : 0, 0);
        if (box) {
            // Running column sums move down one row at a time.
            for (int yy = first - radius; yy < first + radius; ++yy)
                AddBytes(column.data(), slot(yy), rowBytes);
        }
        for (int y = first; y < end; ++y) {
            horizontal(y + radius);
            uint8_t* d = dst.Row(y);
            if (box) {
                AddBytes(column.data(), slot(y + radius), rowBytes);
                StoreBox(column.data(), slot(y), side, centre - side, d, rowBytes);
                // Take out the top row now, while the ring still holds it.
                SubtractBytes(column.data(), slot(y - radius), rowBytes);
                continue;
            }
            for (size_t x0 = 0; x0 < rowBytes; x0 += Chunk) {
                const size_t len = std::min(Chunk, rowBytes - x0);
                StartSums(acc.data(), slot(y) + x0, centre, len);
                for (int k = 1; k <= radius; ++k)
                    AddPairs(acc.data(), slot(y - k) + x0, slot(y + k) + x0,
                             weights[size_t(radius + k)], len);
                StoreSums(acc.data(), d + x0, len);
            }
        }
    });
}

namespace {

// Scales real weights to fixed point and puts the rounding remainder on the centre tap, so the
// weights sum to exactly 1 << 14 and flat areas stay exactly flat.
std::vector<int> ToFixed(const std::vector<double>& real) {
    double sum = 0;
    for (double v : real) sum += v;
    std::vector<int> out(real.size());
    int total = 0;
    for (size_t i = 0; i < real.size(); ++i) {
        out[i] = int(std::lround(real[i] / sum * (1 << 14)));
        total += out[i];
    }
    out[real.size() / 2] += (1 << 14) - total;
    return out;
}

}  // namespace

std::vector<int> GaussianWeights(double sigma) {
    const int radius = std::max(1, int(std::ceil(3 * sigma)));
    std::vector<double> real(size_t(2 * radius + 1));
    for (int i = -radius; i <= radius; ++i)
        real[size_t(i + radius)] = std::exp(-double(i) * i / (2 * sigma * sigma));
    return ToFixed(real);
}

std::vector<int> BoxWeights(int radius) {
    return ToFixed(std::vector<double>(size_t(2 * radius + 1), 1.0));
}

}  // namespace kivo::effects
