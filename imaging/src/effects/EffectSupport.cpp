#include "effects/EffectSupport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

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

int ApplyLuts(BitmapHandle* h, const ChannelLuts& luts) {
    if (h->BitsPerPixel <= 8 && !h->Region) {
        for (RgbQuad& q : h->Palette) {
            q.Blue = luts.B[q.Blue];
            q.Green = luts.G[q.Green];
            q.Red = luts.R[q.Red];
        }
        return SUCCESS;
    }
    return RunFilter(h, [&](const BitmapHandle& src, BitmapHandle& dst) {
        Progress progress(src.Height);
        const int n = Channels(src);
        return ForRows(src.Height, progress, 0, [&](int first, int end) {
            for (int y = first; y < end; ++y) {
                const uint8_t* s = src.Row(y);
                uint8_t* d = dst.Row(y);
                if (n == 3) {
                    for (int x = 0; x < src.Width; ++x) {
                        d[3 * x] = luts.B[s[3 * x]];
                        d[3 * x + 1] = luts.G[s[3 * x + 1]];
                        d[3 * x + 2] = luts.R[s[3 * x + 2]];
                    }
                } else {
                    for (int x = 0; x < src.Width; ++x) {
                        d[4 * x] = luts.B[s[4 * x]];
                        d[4 * x + 1] = luts.G[s[4 * x + 1]];
                        d[4 * x + 2] = luts.R[s[4 * x + 2]];
                        d[4 * x + 3] = s[4 * x + 3];
                    }
                }
            }
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

int ConvolveSeparable(const BitmapHandle& src, BitmapHandle& dst, std::span<const int> weights) {
    const int radius = int(weights.size() / 2);
    const int n = Channels(src);
    const int w = src.Width, h = src.Height;
    const size_t rowBytes = size_t(w) * size_t(n);
    std::vector<uint8_t> tmp(rowBytes * size_t(h));
    Progress progress(int64_t(h) * 2);

    // Horizontal: each row is padded by repeating its end pixels, so the tap loop has no
    // branches and runs over whole rows (which GCC vectorises).
    int status = ForRows(h, progress, 0, [&](int first, int end) {
        std::vector<uint8_t> pad((size_t(w) + 2 * size_t(radius)) * size_t(n));
        std::vector<int32_t> acc(rowBytes);
        for (int y = first; y < end; ++y) {
            const uint8_t* s = src.Row(y);
            for (int i = 0; i < radius; ++i) {
                std::memcpy(&pad[size_t(i) * n], s, size_t(n));
                std::memcpy(&pad[(size_t(radius) + w + i) * n], s + (w - 1) * n, size_t(n));
            }
            std::memcpy(&pad[size_t(radius) * n], s, rowBytes);
            std::fill(acc.begin(), acc.end(), 1 << 13);
            for (size_t k = 0; k < weights.size(); ++k) {
                const int wk = weights[k];
                const uint8_t* p = &pad[k * size_t(n)];
                int32_t* a = acc.data();
                for (size_t i = 0; i < rowBytes; ++i) a[i] += wk * p[i];
            }
            uint8_t* t = &tmp[size_t(y) * rowBytes];
            for (size_t i = 0; i < rowBytes; ++i) t[i] = ClampByte(acc[i] >> 14);
        }
    });
    if (status != SUCCESS) return status;

    return ForRows(h, progress, h, [&](int first, int end) {
        std::vector<int32_t> acc(rowBytes);
        for (int y = first; y < end; ++y) {
            std::fill(acc.begin(), acc.end(), 1 << 13);
            for (int k = -radius; k <= radius; ++k) {
                const int sy = std::clamp(y + k, 0, h - 1);
                const int wk = weights[size_t(k + radius)];
                const uint8_t* p = &tmp[size_t(sy) * rowBytes];
                int32_t* a = acc.data();
                for (size_t i = 0; i < rowBytes; ++i) a[i] += wk * p[i];
            }
            uint8_t* d = dst.Row(y);
            for (size_t i = 0; i < rowBytes; ++i) d[i] = ClampByte(acc[i] >> 14);
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
