#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "core/HugePages.h"
#include "core/ParallelRows.h"
#include "core/PixelRows.h"
#include "effects/EffectSupport.h"
#include "kivo/imaging/Geometry.h"

namespace kivo::effects {

constexpr EffectParam SizeParams[] = {
    {"width", 1, 32767, 320}, {"height", 1, 32767, 240}, {"flags", 0, 4, SIZE_BICUBIC}};
extern const EffectInfo SizeEffect = {
    "Size", "geometry", SizeParams,
    [](BitmapHandle* h, const std::vector<int>& a) { return L_SizeBitmap(h, a[0], a[1], a[2]); }};

namespace {

// Source index of each new index: the old pixel under the new pixel's centre.
std::vector<int> NearestMap(int oldLength, int newLength) {
    std::vector<int> map(static_cast<size_t>(newLength));
    for (int i = 0; i < newLength; ++i)
        map[size_t(i)] = int(std::min<int64_t>(
            oldLength - 1, (int64_t(2 * i + 1) * oldLength) / (int64_t(2) * newLength)));
    return map;
}

template <int N>
void NearestRow(const uint8_t* s, uint8_t* d, const std::vector<int>& xmap) {
    for (size_t x = 0; x < xmap.size(); ++x)
        for (int i = 0; i < N; ++i) d[x * N + i] = s[size_t(xmap[x]) * N + i];
}

int SizeNearest(const BitmapHandle& src, BitmapHandle& out) {
    const std::vector<int> xmap = NearestMap(src.Width, out.Width);
    const std::vector<int> ymap = NearestMap(src.Height, out.Height);
    const int bpp = src.BitsPerPixel;
    Progress progress(out.Height);
    return ForRows(out.Height, progress, 0, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            const uint8_t* s = src.Row(ymap[size_t(y)]);
            uint8_t* d = out.Row(y);
            switch (bpp) {
                case 8:
                    NearestRow<1>(s, d, xmap);
                    break;
                case 16:
                    NearestRow<2>(s, d, xmap);
                    break;
                case 24:
                    NearestRow<3>(s, d, xmap);
                    break;
                case 32:
                    NearestRow<4>(s, d, xmap);
                    break;
                default:
                    for (int x = 0; x < out.Width; ++x) CopyPixel(s, xmap[size_t(x)], d, x, bpp);
            }
        }
    });
}

// The old pixels [First, End) a new pixel covers; at least one.
struct Span {
    int First, End;
};
std::vector<Span> CoverSpans(int oldLength, int newLength) {
    std::vector<Span> spans(static_cast<size_t>(newLength));
    for (int i = 0; i < newLength; ++i) {
        const int first = int(int64_t(i) * oldLength / newLength);
        const int end = int((int64_t(i + 1) * oldLength + newLength - 1) / newLength);
        spans[size_t(i)] = {std::min(first, oldLength - 1), std::max(end, first + 1)};
    }
    return spans;
}

// Each new pixel is the darkest of the old pixels it covers, so thin dark lines survive a
// reduction (text, line art). The chosen pixel is copied, so every depth keeps its palette.
int SizeFavourBlack(const BitmapHandle& src, BitmapHandle& out) {
    const std::vector<Span> xs = CoverSpans(src.Width, out.Width);
    const std::vector<Span> ys = CoverSpans(src.Height, out.Height);
    const int bpp = src.BitsPerPixel;
    const std::array<RgbQuad, 256> palette = PaddedPalette(src.Palette);
    std::array<uint8_t, 256> paletteLuma{};
    for (size_t i = 0; i < 256; ++i)
        paletteLuma[i] = uint8_t(Luma(palette[i].Blue, palette[i].Green, palette[i].Red));
    auto lumaAt = [&](const uint8_t* row, int x) -> int {
        switch (bpp) {
            case 1:
            case 4:
                return paletteLuma[GetIndex(row, bpp, x)];
            case 8:
                return paletteLuma[row[x]];
            case 16: {
                const unsigned v = unsigned(row[2 * x]) | (unsigned(row[2 * x + 1]) << 8);
                return Luma(Widen5(v & 31), Widen5((v >> 5) & 31), Widen5((v >> 10) & 31));
            }
            default: {
                const uint8_t* p = row + size_t(x) * (bpp / 8);
                return Luma(p[0], p[1], p[2]);
            }
        }
    };
    Progress progress(out.Height);
    return ForRows(out.Height, progress, 0, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            const Span ry = ys[size_t(y)];
            uint8_t* d = out.Row(y);
            for (int x = 0; x < out.Width; ++x) {
                const Span rx = xs[size_t(x)];
                int best = 256, bestX = rx.First, bestY = ry.First;
                for (int sy = ry.First; sy < ry.End; ++sy) {
                    const uint8_t* row = src.Row(sy);
                    for (int sx = rx.First; sx < rx.End; ++sx) {
                        const int l = lumaAt(row, sx);
                        if (l < best) {
                            best = l;
                            bestX = sx;
                            bestY = sy;
                        }
                    }
                }
                CopyPixel(src.Row(bestY), bestX, d, x, bpp);
            }
        }
    });
}

// Filter taps of one new index along one axis: First is the first old index, weights sum to
// 1 << 14 (old indices beyond the picture are clamped to its edge when the taps are built).
struct Taps {
    std::vector<int> Offset;  // per new index, into Index/Weight
    std::vector<int> Count;
    std::vector<int> Index;
    std::vector<int> Weight;
    std::vector<int> Unclamped;  // Index before clamping to the picture
};

double CatmullRom(double t) {
    t = std::abs(t);
    if (t < 1) return 1.5 * t * t * t - 2.5 * t * t + 1;
    if (t < 2) return -0.5 * t * t * t + 2.5 * t * t - 4 * t + 2;
    return 0;
}

Taps BuildTaps(int oldLength, int newLength, int method) {
    Taps taps;
    taps.Offset.resize(size_t(newLength));
    taps.Count.resize(size_t(newLength));
    const double scale = double(oldLength) / newLength;
    std::vector<std::pair<int, double>> real;
    for (int o = 0; o < newLength; ++o) {
        real.clear();
        if (method == SIZE_RESAMPLE && scale > 1) {
            // Area average: each old pixel weighs by how much of it the new pixel covers.
            const double lo = o * scale, hi = (o + 1) * scale;
            for (int i = int(std::floor(lo)); i < int(std::ceil(hi)); ++i) {
                const double cover = std::min(hi, i + 1.0) - std::max(lo, double(i));
                if (cover > 0) real.push_back({i, cover});
            }
        } else if (method == SIZE_RESAMPLE) {
            const double c = (o + 0.5) * scale - 0.5;
            const int i0 = int(std::floor(c));
            const double f = c - i0;
            real.push_back({i0, 1 - f});
            real.push_back({i0 + 1, f});
        } else {
            // Catmull-Rom, stretched by the reduction so that it also averages when shrinking.
            const double stretch = std::max(1.0, scale), support = 2 * stretch;
            const double c = (o + 0.5) * scale;
            for (int i = int(std::floor(c - support)); i <= int(std::ceil(c + support)); ++i) {
                const double wgt = CatmullRom((i + 0.5 - c) / stretch);
                if (wgt != 0) real.push_back({i, wgt});
            }
        }
        double sum = 0;
        for (auto& [i, wgt] : real) sum += wgt;
        taps.Offset[size_t(o)] = int(taps.Index.size());
        int total = 0, largest = 0;
        for (auto& [i, wgt] : real) {
            const int fixed = int(std::lround(wgt / sum * (1 << 14)));
            taps.Index.push_back(std::clamp(i, 0, oldLength - 1));
            taps.Unclamped.push_back(i);
            taps.Weight.push_back(fixed);
            total += fixed;
            if (fixed > taps.Weight[size_t(taps.Offset[size_t(o)] + largest)])
                largest = int(taps.Weight.size()) - 1 - taps.Offset[size_t(o)];
        }
        // The rounding remainder goes on the heaviest tap, so flat areas stay flat.
        taps.Weight[size_t(taps.Offset[size_t(o)] + largest)] += (1 << 14) - total;
        taps.Count[size_t(o)] = int(real.size());
    }
    return taps;
}

// The horizontal taps laid out for speed: every new pixel reads K neighbouring pixels from
// First on, with zero weights where it needs fewer. The row is read from a copy padded with its
// edge pixels, which is what clamping the indices did, so the sums are the same.
struct DenseTaps {
    int K = 1;
    int PadLeft = 0, PadRight = 0;
    std::vector<int> First;   // per new index, unclamped
    std::vector<int> Weight;  // K per new index
};

DenseTaps Densify(const Taps& taps, int oldLength) {
    DenseTaps d;
    const size_t count = taps.Offset.size();
    d.First.resize(count);
    for (size_t o = 0; o < count; ++o) {
        const int off = taps.Offset[o], c = taps.Count[o];
        d.First[o] = taps.Unclamped[size_t(off)];
        d.K = std::max(d.K, taps.Unclamped[size_t(off + c - 1)] - d.First[o] + 1);
    }
    d.Weight.assign(count * size_t(d.K), 0);
    for (size_t o = 0; o < count; ++o) {
        const int off = taps.Offset[o], c = taps.Count[o];
        for (int k = 0; k < c; ++k)
            d.Weight[o * size_t(d.K) + size_t(taps.Unclamped[size_t(off + k)] - d.First[o])] +=
                taps.Weight[size_t(off + k)];
        d.PadLeft = std::max(d.PadLeft, -d.First[o]);
        d.PadRight = std::max(d.PadRight, d.First[o] + d.K - oldLength);
    }
    return d;
}

// One row through the horizontal taps; `pad` is the source row with PadLeft pixels in front.
// K and N fixed at compile time let GCC unroll the taps and keep the sums in registers.
template <int N, int K>
void FilterRow(const uint8_t* pad, const DenseTaps& t, uint8_t* out, int width) {
    const int* first = t.First.data();
    const int* weight = t.Weight.data();
    const int kk = K > 0 ? K : t.K;
    for (int x = 0; x < width; ++x, weight += kk) {
        const uint8_t* p = pad + size_t(first[x] + t.PadLeft) * N;
        int acc[N];
        for (int i = 0; i < N; ++i) acc[i] = 1 << 13;
        for (int k = 0; k < kk; ++k)
            for (int i = 0; i < N; ++i) acc[i] += weight[k] * p[k * N + i];
        for (int i = 0; i < N; ++i) out[size_t(x) * N + i] = ClampByte(acc[i] >> 14);
    }
}

template <int N>
void FilterRowN(const uint8_t* pad, const DenseTaps& t, uint8_t* out, int width) {
    switch (t.K) {
        case 1:
            return FilterRow<N, 1>(pad, t, out, width);
        case 2:
            return FilterRow<N, 2>(pad, t, out, width);
        case 3:
            return FilterRow<N, 3>(pad, t, out, width);
        case 4:
            return FilterRow<N, 4>(pad, t, out, width);
        case 5:
            return FilterRow<N, 5>(pad, t, out, width);
        case 6:
            return FilterRow<N, 6>(pad, t, out, width);
        case 7:
            return FilterRow<N, 7>(pad, t, out, width);
        case 8:
            return FilterRow<N, 8>(pad, t, out, width);
        default:
            return FilterRow<N, 0>(pad, t, out, width);
    }
}

int SizeFiltered(const BitmapHandle& src, BitmapHandle& out, int method) {
    const int n = Channels(src);
    const DenseTaps xt = Densify(BuildTaps(src.Width, out.Width, method), src.Width);
    const Taps yt = BuildTaps(src.Height, out.Height, method);
    const size_t tmpRow = size_t(out.Width) * size_t(n);
    // Every byte is written by the first pass: no zeroing, and huge pages for the first touch.
    const auto tmp = std::make_unique_for_overwrite<uint8_t[]>(tmpRow * size_t(src.Height));
    kivo::AdviseHugePages(tmp.get(), tmpRow * size_t(src.Height));
    Progress progress(int64_t(src.Height) + out.Height);

    int status = ForRows(src.Height, progress, 0, [&](int first, int end) {
        const int w = src.Width;
        std::vector<uint8_t> pad(size_t(xt.PadLeft + w + xt.PadRight) * size_t(n));
        for (int y = first; y < end; ++y) {
            const uint8_t* s = src.Row(y);
            for (int i = 0; i < xt.PadLeft; ++i) std::memcpy(&pad[size_t(i) * n], s, size_t(n));
            std::memcpy(&pad[size_t(xt.PadLeft) * n], s, size_t(w) * size_t(n));
            for (int i = 0; i < xt.PadRight; ++i)
                std::memcpy(&pad[size_t(xt.PadLeft + w + i) * n], s + size_t(w - 1) * n, size_t(n));
            uint8_t* t = &tmp[size_t(y) * tmpRow];
            if (n == 3)
                FilterRowN<3>(pad.data(), xt, t, out.Width);
            else
                FilterRowN<4>(pad.data(), xt, t, out.Width);
        }
    });
    if (status != SUCCESS) return status;

    return ForRows(out.Height, progress, src.Height, [&](int first, int end) {
        std::vector<int32_t> acc(tmpRow);
        for (int y = first; y < end; ++y) {
            std::fill(acc.begin(), acc.end(), 1 << 13);
            const int off = yt.Offset[size_t(y)], count = yt.Count[size_t(y)];
            for (int k = 0; k < count; ++k) {
                const uint8_t* t = &tmp[size_t(yt.Index[size_t(off + k)]) * tmpRow];
                const int wgt = yt.Weight[size_t(off + k)];
                int32_t* a = acc.data();
                for (size_t i = 0; i < tmpRow; ++i) a[i] += wgt * t[i];
            }
            uint8_t* d = out.Row(y);
            for (size_t i = 0; i < tmpRow; ++i) d[i] = ClampByte(acc[i] >> 14);
        }
    });
}

}  // namespace

}  // namespace kivo::effects

int L_SizeBitmap(BitmapHandle* h, int width, int height, int flags) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(SizeParams, {width, height, flags}); status != SUCCESS)
        return status;
    if (flags == 3) return ERROR_INV_PARAMETER;
    if (width == h->Width && height == h->Height) {
        h->Region.reset();
        return SUCCESS;
    }
    return Guard([&]() -> int {
        BitmapHandle promoted;
        const BitmapHandle* src = h;
        const bool interpolating = flags == SIZE_RESAMPLE || flags == SIZE_BICUBIC;
        if (interpolating && h->BitsPerPixel < 24) {
            int status = TrueColourCopy(*h, &promoted);
            if (status != SUCCESS) return status;
            src = &promoted;
        }
        BitmapHandle out;
        int status = out.Allocate(width, height, src->BitsPerPixel);
        if (status != SUCCESS) return status;
        out.Palette = src->Palette;
        if (flags == SIZE_NORMAL)
            status = SizeNearest(*src, out);
        else if (flags == SIZE_FAVORBLACK)
            status = SizeFavourBlack(*src, out);
        else
            status = SizeFiltered(*src, out, flags);
        if (status != SUCCESS) return status;
        ClearPadding(out);
        out.ViewPerspective = h->ViewPerspective;
        *h = std::move(out);
        return SUCCESS;
    });
}
