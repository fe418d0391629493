#pragma once

// What every effect shares: argument checks, the promotion of palette and 16-bit bitmaps to 24
// bits, region restriction, row-parallel loops with progress, and the point-operation wrappers.
// An effect checks its arguments, then hands its kernel to RunFilter or one of the point-op
// wrappers, which do the rest once for all.

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <new>
#include <span>
#include <type_traits>

#include "core/ParallelRows.h"
#include "core/Progress.h"
#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/Effects.h"

namespace kivo::effects {

// SUCCESS, or ERROR_INV_PARAMETER when a value lies outside its parameter's range.
int CheckArgs(std::span<const EffectParam> params, std::initializer_list<int> values);
// ERROR_INV_PARAMETER for null, ERROR_NO_BITMAP when not allocated, ERROR_INV_BITSPERPIXEL for a
// depth the library does not store.
int CheckBitmap(const BitmapHandle* h);

// Runs fn and turns escaping exceptions into status codes.
template <class Fn>
int Guard(Fn&& fn) {
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    } catch (...) {
        return ERROR_INTERNAL;
    }
}

// Runs fn(firstRow, endRow) over [0, height) on all cores, in chunks, reporting base + rows done
// to progress after each chunk (the status callback runs on the calling thread only).
// SUCCESS or ERROR_USER_ABORT.
int ForRows(int height, Progress& progress, int64_t base,
            const std::function<void(int first, int end)>& fn);

// A 24-bit copy of a 1/4/8/16-bit bitmap (24 and 32 bits are copied as they are).
int TrueColourCopy(const BitmapHandle& src, BitmapHandle* out);

// Bytes per pixel of a true-colour bitmap (3 or 4).
inline int Channels(const BitmapHandle& h) { return h.BitsPerPixel / 8; }

bool InRegion(const BitmapRegion& region, int x, int y);

// A kernel reads src (24 or 32 bits) and writes every pixel of dst (same size and depth,
// allocated, uninitialised). It reports its own progress and returns a status.
using Kernel = std::function<int(const BitmapHandle& src, BitmapHandle& dst)>;
// Promotes h to true colour when needed, runs the kernel, keeps the pixels outside h's region
// (and the region itself) and moves the result into h.
int RunFilter(BitmapHandle* h, const Kernel& kernel);

// True when a point operation may change h's pixels where they are instead of building the
// result aside: no region to keep, a true-colour bitmap, and no status callback, so nothing can
// abort halfway (a point operation has nothing else that can fail once it has started).
bool CanWorkInPlace(const BitmapHandle& h);

// One lookup table per channel, indexed by the old value.
struct ChannelLuts {
    std::array<uint8_t, 256> B, G, R;
};
// A table built from a per-value function, the same for the three channels.
template <class Fn>
ChannelLuts LutsOf(Fn fn) {
    ChannelLuts luts;
    for (int v = 0; v < 256; ++v) luts.B[size_t(v)] = luts.G[size_t(v)] = luts.R[size_t(v)] = fn(v);
    return luts;
}
// Applies the tables: to the palette of a 1/4/8-bit bitmap without a region, else to every pixel
// (32 bits keeps alpha).
int ApplyLuts(BitmapHandle* h, const ChannelLuts& luts);

// Applies fn(b, g, r) (references, changed in place) to every colour: the palette of a 1/4/8-bit
// bitmap without a region, else each pixel.
template <class Fn>
int ApplyColourFn(BitmapHandle* h, Fn fn) {
    if (h->BitsPerPixel <= 8 && !h->Region) {
        for (RgbQuad& q : h->Palette) fn(q.Blue, q.Green, q.Red);
        return SUCCESS;
    }
    // Each pixel is read before it is written, so the same loop serves in place.
    auto row = [&fn](const uint8_t* s, uint8_t* d, int width, auto channels) {
        constexpr int n = decltype(channels)::value;
        for (int x = 0; x < width; ++x, s += n, d += n) {
            uint8_t b = s[0], g = s[1], r = s[2];
            fn(b, g, r);
            d[0] = b;
            d[1] = g;
            d[2] = r;
            if constexpr (n == 4) d[3] = s[3];
        }
    };
    auto rows = [&](const BitmapHandle& src, BitmapHandle& dst, int first, int end) {
        for (int y = first; y < end; ++y) {
            if (src.BitsPerPixel == 24)
                row(src.Row(y), dst.Row(y), src.Width, std::integral_constant<int, 3>());
            else
                row(src.Row(y), dst.Row(y), src.Width, std::integral_constant<int, 4>());
        }
    };
    if (CanWorkInPlace(*h)) {
        ParallelRows(h->Height, [&](int first, int end) { rows(*h, *h, first, end); });
        return SUCCESS;
    }
    return RunFilter(h, [&](const BitmapHandle& src, BitmapHandle& dst) {
        Progress progress(src.Height);
        return ForRows(src.Height, progress, 0,
                       [&](int first, int end) { rows(src, dst, first, end); });
    });
}

inline uint8_t ClampByte(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }
// Rec. 601 luma, rounded: the grey the library uses everywhere.
inline int Luma(int b, int g, int r) { return (r * 299 + g * 587 + b * 114 + 500) / 1000; }

// The stored bytes of a colour at a bitmap's depth: the nearest palette index at 1/4/8 bits
// (in byte 0), x1555 at 16, B, G, R at 24 and B, G, R, 255 at 32.
std::array<uint8_t, 4> StoredColour(const BitmapHandle& h, ColorRef colour);

// Pixel movement at any depth: reads or writes the stored value of pixel x of a row.
inline unsigned GetIndex(const uint8_t* row, int bpp, int x) {
    if (bpp == 1) return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15u;
}
inline void SetIndex(uint8_t* row, int bpp, int x, unsigned v) {
    if (bpp == 1) {
        const uint8_t bit = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = uint8_t(v ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
    } else {
        const int shift = (x & 1) ? 0 : 4;
        row[x >> 1] = uint8_t((row[x >> 1] & ~(15 << shift)) | ((v & 15) << shift));
    }
}
inline void CopyPixel(const uint8_t* srcRow, int sx, uint8_t* dstRow, int dx, int bpp) {
    if (bpp < 8) {
        SetIndex(dstRow, bpp, dx, GetIndex(srcRow, bpp, sx));
        return;
    }
    const int n = bpp / 8;
    for (int i = 0; i < n; ++i) dstRow[dx * n + i] = srcRow[sx * n + i];
}
inline void PutStored(uint8_t* row, int bpp, int x, const std::array<uint8_t, 4>& v) {
    if (bpp < 8) {
        SetIndex(row, bpp, x, v[0]);
        return;
    }
    const int n = bpp / 8;
    for (int i = 0; i < n; ++i) row[x * n + i] = v[size_t(i)];
}
// Writes row s mirrored into d (width pixels at any depth).
inline void ReverseRow(const uint8_t* s, uint8_t* d, int width, int bpp) {
    auto reverse = [&](auto bytes) {
        constexpr int N = decltype(bytes)::value;
        for (int x = 0; x < width; ++x)
            for (int i = 0; i < N; ++i) d[size_t(x) * N + i] = s[size_t(width - 1 - x) * N + i];
    };
    switch (bpp) {
        case 8:
            return reverse(std::integral_constant<int, 1>());
        case 16:
            return reverse(std::integral_constant<int, 2>());
        case 24:
            return reverse(std::integral_constant<int, 3>());
        case 32:
            return reverse(std::integral_constant<int, 4>());
        default:
            for (int x = 0; x < width; ++x) CopyPixel(s, width - 1 - x, d, x, bpp);
    }
}
// Zeroes the bytes after the last pixel of every row, so saved files carry no stale memory.
void ClearPadding(BitmapHandle& h);

// Convolution of interleaved 8-bit channels with a symmetric separable kernel of fixed-point
// weights (sum 1 << 14; ERROR_INV_PARAMETER when not symmetric), border pixels repeated. src and
// dst have the same geometry; all channels (alpha included) are filtered. Reports src.Height
// rows.
int ConvolveSeparable(const BitmapHandle& src, BitmapHandle& dst, std::span<const int> weights);
// Fixed-point Gaussian weights for a standard deviation in pixels (radius ceil(3 sigma)).
std::vector<int> GaussianWeights(double sigma);
// Fixed-point box weights over 2 * radius + 1 pixels.
std::vector<int> BoxWeights(int radius);

}  // namespace kivo::effects
