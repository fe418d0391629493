#include "kivo/imaging/ColorRes.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "core/Dither.h"
#include "core/ParallelRows.h"
#include "core/PixelRows.h"
#include "core/Progress.h"
#include "core/Quantize.h"

namespace {

using namespace kivo;

bool ValidDepth(int bpp) {
    return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
}

// Runs fn over rows [0, height) on all cores in chunks, reporting progressBase + rows done after
// each chunk (the status callback must not run on the worker threads). False on abort.
template <class Fn>
bool ChunkedRows(int height, Progress& progress, int64_t progressBase, Fn&& fn) {
    const int chunk = std::max(64, height / 16);
    for (int y0 = 0; y0 < height; y0 += chunk) {
        const int y1 = std::min(height, y0 + chunk);
        ParallelRows(y1 - y0, [&](int first, int end) { fn(y0 + first, y0 + end); });
        if (!progress.Report(progressBase + y1)) return false;
    }
    return true;
}

// The bytes after the last pixel of each row, so that saved files do not carry stale memory.
void ClearPadding(BitmapHandle& out) {
    const size_t used = (size_t(out.Width) * size_t(out.BitsPerPixel) + 7) / 8;
    if (used >= size_t(out.BytesPerLine)) return;
    for (int y = 0; y < out.Height; ++y)
        std::memset(out.Row(y) + used, 0, size_t(out.BytesPerLine) - used);
}

int IndexAt(const uint8_t* row, int bpp, int x) {
    switch (bpp) {
        case 1:
            return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 4:
            return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
        default:
            return row[x];
    }
}

int ToTrueColour(const BitmapHandle& src, const std::array<RgbQuad, 256>& palette,
                 BitmapHandle& out, Progress& progress) {
    const bool four = out.BitsPerPixel == 32;
    bool ok = ChunkedRows(src.Height, progress, 0, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            if (four)
                ExpandRow<4>(src.Row(y), src.BitsPerPixel, src.Width, palette, out.Row(y));
            else
                ExpandRow<3>(src.Row(y), src.BitsPerPixel, src.Width, palette, out.Row(y));
        }
    });
    return ok ? SUCCESS : ERROR_USER_ABORT;
}

int To16(const BitmapHandle& src, const std::array<RgbQuad, 256>& palette, BitmapHandle& out,
         bool dither, Progress& progress) {
    bool ok;
    if (dither) {
        ok = DitherFloydSteinberg(
            src, palette, [] { return FiveBitQuantiser{}; },
            [&out](int y, const uint16_t* codes) { Pack16(codes, out.Width, out.Row(y)); },
            progress, 0);
    } else {
        ok = ChunkedRows(src.Height, progress, 0, [&](int first, int end) {
            std::vector<uint8_t> bgr(size_t(src.Width) * 3);
            for (int y = first; y < end; ++y) {
                ExpandRow<3>(src.Row(y), src.BitsPerPixel, src.Width, palette, bgr.data());
                uint8_t* row = out.Row(y);
                for (int x = 0; x < src.Width; ++x) {
                    const unsigned v = (unsigned(bgr[3 * x + 2] >> 3) << 10) |
                                       (unsigned(bgr[3 * x + 1] >> 3) << 5) |
                                       unsigned(bgr[3 * x] >> 3);
                    row[2 * x] = uint8_t(v);
                    row[2 * x + 1] = uint8_t(v >> 8);
                }
            }
        });
    }
    return ok ? SUCCESS : ERROR_USER_ABORT;
}

// Picks the palette of a 1/4/8-bit result when the caller gave none: the exact colours when
// few enough, a grey ramp for a grey picture, else Wu's optimised palette.
int ChoosePalette(const BitmapHandle& src, const std::array<RgbQuad, 256>& palette, int bpp,
                  Progress& progress, ColorPalette* chosen) {
    // One histogram per worker thread, reused from chunk to chunk (each is 1.4 MB, and clearing
    // a fresh one per band would cost more than filling it on small pictures).
    std::vector<std::unique_ptr<ColourHistogram>> idle;
    std::mutex pool;
    bool ok = ChunkedRows(src.Height, progress, 0, [&](int first, int end) {
        std::unique_ptr<ColourHistogram> h;
        {
            std::lock_guard<std::mutex> lock(pool);
            if (!idle.empty()) {
                h = std::move(idle.back());
                idle.pop_back();
            }
        }
        if (!h) h = std::make_unique<ColourHistogram>();
        h->AddRows(src, palette, first, end);
        std::lock_guard<std::mutex> lock(pool);
        idle.push_back(std::move(h));
    });
    if (!ok) return ERROR_USER_ABORT;
    ColourHistogram& total = *idle.front();
    for (size_t i = 1; i < idle.size(); ++i) total.Merge(*idle[i]);
    const int capacity = 1 << bpp;
    // At 8 bits a grey ramp holds every grey exactly, so a grey picture keeps its values.
    if (total.AllGrey() && bpp == 8) {
        *chosen = GreyRampPalette(bpp);
        return SUCCESS;
    }
    if (total.OccupiedCells() <= capacity && ExactColours(src, palette, capacity, chosen))
        return SUCCESS;
    *chosen = total.AllGrey() ? GreyRampPalette(bpp) : total.WuPalette(capacity);
    return SUCCESS;
}

int ToPaletteDepth(const BitmapHandle& src, const std::array<RgbQuad, 256>& srcPalette,
                   BitmapHandle& out, const ColorPalette& target, bool dither, Progress& progress,
                   int64_t progressBase) {
    const InverseColourMap map(target);
    out.Palette.assign(target.begin(), target.begin() + map.Size());
    const int bpp = out.BitsPerPixel;
    bool ok;
    if (dither) {
        ok = DitherFloydSteinberg(
            src, srcPalette, [&map] { return PaletteQuantiser(map); },
            [&out, bpp](int y, const uint16_t* codes) {
                PackIndices(codes, out.Width, bpp, out.Row(y));
            },
            progress, progressBase);
    } else {
        // A palette source maps each of its entries once.
        std::array<uint16_t, 256> entryMap{};
        const bool byEntry = src.BitsPerPixel <= 8;
        if (byEntry)
            for (int i = 0; i < 256; ++i)
                entryMap[size_t(i)] = uint16_t(map.Nearest(srcPalette[size_t(i)].Blue,
                                                           srcPalette[size_t(i)].Green,
                                                           srcPalette[size_t(i)].Red));
        ok = ChunkedRows(src.Height, progress, progressBase, [&](int first, int end) {
            std::vector<uint8_t> bgr(size_t(src.Width) * 3);
            std::vector<uint16_t> codes(size_t(src.Width));
            NearestCache cache(map);
            for (int y = first; y < end; ++y) {
                if (byEntry) {
                    const uint8_t* row = src.Row(y);
                    for (int x = 0; x < src.Width; ++x)
                        codes[size_t(x)] = entryMap[IndexAt(row, src.BitsPerPixel, x)];
                    PackIndices(codes.data(), src.Width, bpp, out.Row(y));
                    continue;
                }
                ExpandRow<3>(src.Row(y), src.BitsPerPixel, src.Width, srcPalette, bgr.data());
                uint32_t last = 0xFFFFFFFFu;
                uint16_t lastCode = 0;
                for (int x = 0; x < src.Width; ++x) {
                    const uint8_t* p = &bgr[size_t(x) * 3];
                    const uint32_t c = uint32_t(p[0]) | (uint32_t(p[1]) << 8) |
                                       (uint32_t(p[2]) << 16);
                    if (c != last) {
                        last = c;
                        lastCode = uint16_t(cache.Nearest(p[0], p[1], p[2]));
                    }
                    codes[size_t(x)] = lastCode;
                }
                PackIndices(codes.data(), src.Width, bpp, out.Row(y));
            }
        });
    }
    return ok ? SUCCESS : ERROR_USER_ABORT;
}

int Convert(const BitmapHandle& src, BitmapHandle& out, int bpp, int flags,
            const RgbQuad* given, int colours) {
    const std::array<RgbQuad, 256> srcPalette = PaddedPalette(src.Palette);
    const bool dither = (flags & CRF_FLOYDSTEINDITHERING) && !(flags & CRF_NODITHERING);
    int status = out.Allocate(src.Width, src.Height, bpp);
    if (status != SUCCESS) return status;

    if (bpp >= 24) {
        Progress progress(src.Height);
        status = ToTrueColour(src, srcPalette, out, progress);
    } else if (bpp == 16) {
        Progress progress(src.Height);
        status = To16(src, srcPalette, out, dither, progress);
    } else if (given || (flags & CRF_FIXEDPALETTE)) {
        Progress progress(src.Height);
        ColorPalette target = given ? ColorPalette(given, given + colours) : FixedPalette(bpp);
        status = ToPaletteDepth(src, srcPalette, out, target, dither, progress, 0);
    } else {
        Progress progress(int64_t(src.Height) * 2);
        ColorPalette target;
        status = ChoosePalette(src, srcPalette, bpp, progress, &target);
        if (status == SUCCESS)
            status = ToPaletteDepth(src, srcPalette, out, target, dither, progress, src.Height);
    }
    if (status != SUCCESS) return status;
    ClearPadding(out);
    return SUCCESS;
}

}  // namespace

int L_ColorResBitmap(const BitmapHandle* src, BitmapHandle* dst, int bitsPerPixel, int flags,
                     const RgbQuad* palette, int colours) {
    if (!src || !dst) return ERROR_INV_PARAMETER;
    if (!src->Allocated()) return ERROR_NO_BITMAP;
    if (!ValidDepth(bitsPerPixel) || !ValidDepth(src->BitsPerPixel))
        return ERROR_INV_BITSPERPIXEL;
    if (palette && bitsPerPixel <= 8 && (colours < 1 || colours > (1 << bitsPerPixel)))
        return ERROR_INV_PARAMETER;
    const RgbQuad* given = bitsPerPixel <= 8 ? palette : nullptr;
    try {
        // Staying at the same depth changes nothing unless a palette was asked for; a palette
        // picture going up to a larger palette keeps its palette and indices.
        const bool samePixels =
            bitsPerPixel == src->BitsPerPixel &&
            (bitsPerPixel >= 16 || (!given && !(flags & CRF_FIXEDPALETTE)));
        if (samePixels) {
            if (dst != src) *dst = *src;
            dst->Region.reset();
            return SUCCESS;
        }
        BitmapHandle out;
        int status;
        if (src->BitsPerPixel <= 8 && bitsPerPixel <= 8 && bitsPerPixel > src->BitsPerPixel &&
            !given && !(flags & CRF_FIXEDPALETTE)) {
            status = out.Allocate(src->Width, src->Height, bitsPerPixel);
            if (status != SUCCESS) return status;
            out.Palette = src->Palette;
            if (int(out.Palette.size()) > (1 << src->BitsPerPixel))
                out.Palette.resize(size_t(1) << src->BitsPerPixel);
            std::vector<uint16_t> codes(size_t(src->Width));
            uint16_t highest = 0;
            for (int y = 0; y < src->Height; ++y) {
                for (int x = 0; x < src->Width; ++x) {
                    codes[size_t(x)] = uint16_t(IndexAt(src->Row(y), src->BitsPerPixel, x));
                    highest = std::max(highest, codes[size_t(x)]);
                }
                PackIndices(codes.data(), src->Width, bitsPerPixel, out.Row(y));
            }
            // Indices past a short palette (a damaged file) read black, as they do in the source.
            if (out.Palette.size() <= highest) out.Palette.resize(size_t(highest) + 1);
            ClearPadding(out);
        } else {
            status = Convert(*src, out, bitsPerPixel, flags, given, colours);
        }
        if (status != SUCCESS) return status;
        out.ViewPerspective = src->ViewPerspective;
        *dst = std::move(out);
        return SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    } catch (...) {
        return ERROR_INTERNAL;
    }
}
