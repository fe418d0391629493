#include "kivo/imaging/Bitmap.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "core/HugePages.h"

namespace {

// 2^28 pixels: about 16000 × 16000, a gigabyte at 32 bits. Far beyond any camera, and small
// enough that a forged header cannot make us ask for absurd amounts of memory.
std::atomic<uint64_t> MaxPixels{uint64_t(1) << 28};

uint8_t NearestIndex(const ColorPalette& pal, ColorRef c) {
    int best = 0;
    int bestDist = 1 << 30;
    for (size_t i = 0; i < pal.size(); ++i) {
        int dr = int(pal[i].Red) - GetRValue(c);
        int dg = int(pal[i].Green) - GetGValue(c);
        int db = int(pal[i].Blue) - GetBValue(c);
        int d = dr * dr + dg * dg + db * db;
        if (d < bestDist) {
            bestDist = d;
            best = int(i);
        }
    }
    return uint8_t(best);
}

ColorPalette GreyRamp(int bitsPerPixel) {
    int n = 1 << bitsPerPixel;
    ColorPalette pal(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        uint8_t v = uint8_t(i * 255 / (n - 1));
        pal[size_t(i)] = RgbQuad{v, v, v, 0};
    }
    return pal;
}

bool ValidDepth(int bpp) {
    return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
}

}  // namespace

int32_t BytesPerLineFor(int32_t width, int32_t bitsPerPixel) {
    return int32_t(((int64_t(width) * bitsPerPixel + 31) / 32) * 4);
}

uint64_t L_GetMaxPixels() { return MaxPixels.load(); }
void L_SetMaxPixels(uint64_t pixels) { MaxPixels.store(pixels); }

BitmapHandle::BitmapHandle(const BitmapHandle& other)
    : Width(other.Width),
      Height(other.Height),
      BitsPerPixel(other.BitsPerPixel),
      BytesPerLine(other.BytesPerLine),
      Flags(other.Flags),
      ViewPerspective(other.ViewPerspective),
      Palette(other.Palette) {
    if (other.Region) Region = std::make_unique<BitmapRegion>(*other.Region);
    if (other.Pixels) {
        Pixels = std::make_unique_for_overwrite<uint8_t[]>(other.DataSize());
        kivo::AdviseHugePages(Pixels.get(), other.DataSize());
        std::memcpy(Pixels.get(), other.Pixels.get(), other.DataSize());
    }
}

BitmapHandle& BitmapHandle::operator=(const BitmapHandle& other) {
    if (this != &other) {
        BitmapHandle copy(other);
        *this = std::move(copy);
    }
    return *this;
}

int BitmapHandle::Allocate(int width, int height, int bitsPerPixel) {
    if (width <= 0 || height <= 0 || !ValidDepth(bitsPerPixel)) return ERROR_INV_PARAMETER;
    if (uint64_t(width) * uint64_t(height) > L_GetMaxPixels()) return ERROR_IMAGE_TOO_LARGE;
    int32_t bpl = BytesPerLineFor(width, bitsPerPixel);
    try {
        const size_t bytes = size_t(bpl) * size_t(height);
        auto pixels = std::make_unique_for_overwrite<uint8_t[]>(bytes);
        // Every bitmap's rows are written right after allocation; huge pages spare the first
        // touch of a big picture tens of thousands of page faults.
        kivo::AdviseHugePages(pixels.get(), bytes);
        Pixels = std::move(pixels);
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    Width = width;
    Height = height;
    BitsPerPixel = bitsPerPixel;
    BytesPerLine = bpl;
    Flags |= BITMAP_ALLOCATED;
    ViewPerspective = TOP_LEFT;
    Palette.clear();
    Region.reset();
    return SUCCESS;
}

void BitmapHandle::Release() {
    Pixels.reset();
    Palette.clear();
    Region.reset();
    Width = Height = BitsPerPixel = BytesPerLine = 0;
    Flags &= ~BITMAP_ALLOCATED;
    ViewPerspective = TOP_LEFT;
}

int L_InitBitmap(BitmapHandle* h, int width, int height, int bitsPerPixel) {
    if (!h) return ERROR_INV_PARAMETER;
    h->Release();
    h->Flags = 0;
    h->Width = width;
    h->Height = height;
    h->BitsPerPixel = bitsPerPixel;
    h->BytesPerLine = bitsPerPixel > 0 ? BytesPerLineFor(width, bitsPerPixel) : 0;
    return SUCCESS;
}

int L_FreeBitmap(BitmapHandle* h) {
    if (!h) return ERROR_INV_PARAMETER;
    h->Release();
    return SUCCESS;
}

int L_CopyBitmap(BitmapHandle* dst, const BitmapHandle* src) {
    if (!dst || !src) return ERROR_INV_PARAMETER;
    if (!src->Allocated()) return ERROR_NO_BITMAP;
    if (dst == src) return SUCCESS;
    try {
        *dst = *src;
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    return SUCCESS;
}

int L_CopyBitmapRect(BitmapHandle* dst, const BitmapHandle* src, int left, int top, int width,
                     int height) {
    if (!dst || !src) return ERROR_INV_PARAMETER;
    if (!src->Allocated()) return ERROR_NO_BITMAP;
    // Clip the rectangle to the picture; an empty intersection is a caller error.
    int64_t x0 = std::max<int64_t>(left, 0), y0 = std::max<int64_t>(top, 0);
    int64_t x1 = std::min<int64_t>(int64_t(left) + width, src->Width);
    int64_t y1 = std::min<int64_t>(int64_t(top) + height, src->Height);
    if (x1 <= x0 || y1 <= y0) return ERROR_INV_PARAMETER;
    BitmapHandle out;
    int status = out.Allocate(int(x1 - x0), int(y1 - y0), src->BitsPerPixel);
    if (status != SUCCESS) return status;
    out.Palette = src->Palette;
    const int bpp = src->BitsPerPixel;
    for (int y = 0; y < out.Height; ++y) {
        const uint8_t* s = src->Row(int(y0) + y);
        uint8_t* d = out.Row(y);
        if (bpp >= 8) {
            const int bytes = bpp / 8;
            std::memcpy(d, s + x0 * bytes, size_t(out.Width) * bytes);
            std::memset(d + size_t(out.Width) * bytes, 0,
                        size_t(out.BytesPerLine) - size_t(out.Width) * bytes);
        } else {
            std::memset(d, 0, size_t(out.BytesPerLine));
            const int perByte = 8 / bpp;
            const int mask = (1 << bpp) - 1;
            for (int x = 0; x < out.Width; ++x) {
                int sx = int(x0) + x;
                int v = (s[sx / perByte] >> ((perByte - 1 - sx % perByte) * bpp)) & mask;
                d[x / perByte] |= uint8_t(v << ((perByte - 1 - x % perByte) * bpp));
            }
        }
    }
    *dst = std::move(out);
    return SUCCESS;
}

int L_CreateBitmap(BitmapHandle* h, int /*memoryType*/, int width, int height, int bitsPerPixel,
                   int /*colorOrder*/, const RgbQuad* palette, int viewPerspective,
                   const uint8_t* data, size_t size) {
    if (!h) return ERROR_INV_PARAMETER;
    if (!ValidDepth(bitsPerPixel)) return ERROR_INV_BITSPERPIXEL;
    BitmapHandle out;
    int status = out.Allocate(width, height, bitsPerPixel);
    if (status != SUCCESS) return status;
    if (bitsPerPixel <= 8) {
        if (palette)
            out.Palette.assign(palette, palette + (size_t(1) << bitsPerPixel));
        else
            out.Palette = GreyRamp(bitsPerPixel);
    }
    if (data) {
        if (size < out.DataSize()) return ERROR_INV_PARAMETER;
        std::memcpy(out.Data(), data, out.DataSize());
    } else {
        std::memset(out.Data(), 0, out.DataSize());
    }
    out.ViewPerspective = viewPerspective == BOTTOM_LEFT ? BOTTOM_LEFT : TOP_LEFT;
    *h = std::move(out);
    return SUCCESS;
}

int L_FillBitmap(BitmapHandle* h, ColorRef colour) {
    if (!h) return ERROR_INV_PARAMETER;
    if (!h->Allocated()) return ERROR_NO_BITMAP;
    const int bpp = h->BitsPerPixel;
    uint8_t pattern[4] = {GetBValue(colour), GetGValue(colour), GetRValue(colour), 255};
    if (bpp == 16) {
        uint16_t v = uint16_t((GetBValue(colour) >> 3) | ((GetGValue(colour) >> 3) << 5) |
                              ((GetRValue(colour) >> 3) << 10));
        pattern[0] = uint8_t(v);
        pattern[1] = uint8_t(v >> 8);
    }
    for (int y = 0; y < h->Height; ++y) {
        uint8_t* row = h->Row(y);
        if (bpp <= 8) {
            uint8_t index = NearestIndex(h->Palette, colour);
            uint8_t byte = 0;
            for (int i = 0; i < 8 / bpp; ++i) byte = uint8_t((byte << bpp) | index);
            std::memset(row, byte, size_t(h->BytesPerLine));
        } else {
            const int bytes = bpp / 8;
            for (int x = 0; x < h->Width; ++x) std::memcpy(row + x * bytes, pattern, bytes);
        }
    }
    return SUCCESS;
}

int L_ChangeBitmapViewPerspective(BitmapHandle* dst, const BitmapHandle* src,
                                  int viewPerspective) {
    if (!dst || !src) return ERROR_INV_PARAMETER;
    if (!src->Allocated()) return ERROR_NO_BITMAP;
    if (dst != src) {
        int status = L_CopyBitmap(dst, src);
        if (status != SUCCESS) return status;
    }
    const int wanted = viewPerspective == BOTTOM_LEFT ? BOTTOM_LEFT : TOP_LEFT;
    if (dst->ViewPerspective != wanted) {
        const size_t bpl = size_t(dst->BytesPerLine);
        for (int top = 0, bottom = dst->Height - 1; top < bottom; ++top, --bottom)
            std::swap_ranges(dst->Row(top), dst->Row(top) + bpl, dst->Row(bottom));
        dst->ViewPerspective = wanted;
    }
    return SUCCESS;
}

ColorPalette L_DupPalette(const ColorPalette& palette) { return palette; }

ColorRef L_GetPixelColor(const BitmapHandle* h, int x, int y) {
    if (!h || !h->Allocated() || x < 0 || y < 0 || x >= h->Width || y >= h->Height) return 0;
    const uint8_t* row = h->Row(y);
    switch (h->BitsPerPixel) {
        case 1:
        case 4:
        case 8: {
            const int bpp = h->BitsPerPixel, perByte = 8 / bpp;
            int index = (row[x / perByte] >> ((perByte - 1 - x % perByte) * bpp)) & ((1 << bpp) - 1);
            if (size_t(index) >= h->Palette.size()) return 0;
            const RgbQuad& q = h->Palette[size_t(index)];
            return RGBColor(q.Red, q.Green, q.Blue);
        }
        case 16: {
            uint16_t v = uint16_t(row[x * 2] | (row[x * 2 + 1] << 8));
            auto expand = [](int c) { return uint8_t((c << 3) | (c >> 2)); };
            return RGBColor(expand((v >> 10) & 31), expand((v >> 5) & 31), expand(v & 31));
        }
        default: {
            const int bytes = h->BitsPerPixel / 8;
            const uint8_t* p = row + size_t(x) * bytes;
            return RGBColor(p[2], p[1], p[0]);
        }
    }
}

int L_PutPixelColor(BitmapHandle* h, int x, int y, ColorRef colour) {
    if (!h) return ERROR_INV_PARAMETER;
    if (!h->Allocated()) return ERROR_NO_BITMAP;
    if (x < 0 || y < 0 || x >= h->Width || y >= h->Height) return ERROR_INV_PARAMETER;
    uint8_t* row = h->Row(y);
    switch (h->BitsPerPixel) {
        case 1:
        case 4:
        case 8: {
            const int bpp = h->BitsPerPixel, perByte = 8 / bpp;
            const int shift = (perByte - 1 - x % perByte) * bpp;
            const int mask = ((1 << bpp) - 1) << shift;
            uint8_t& b = row[x / perByte];
            b = uint8_t((b & ~mask) | ((NearestIndex(h->Palette, colour) << shift) & mask));
            break;
        }
        case 16: {
            uint16_t v = uint16_t((GetBValue(colour) >> 3) | ((GetGValue(colour) >> 3) << 5) |
                                  ((GetRValue(colour) >> 3) << 10));
            row[x * 2] = uint8_t(v);
            row[x * 2 + 1] = uint8_t(v >> 8);
            break;
        }
        default: {
            uint8_t* p = row + size_t(x) * (h->BitsPerPixel / 8);
            p[0] = GetBValue(colour);
            p[1] = GetGValue(colour);
            p[2] = GetRValue(colour);
            if (h->BitsPerPixel == 32) p[3] = 255;
        }
    }
    return SUCCESS;
}

int L_GetBitmapAlpha(const BitmapHandle* src, BitmapHandle* dst) {
    if (!src || !dst) return ERROR_INV_PARAMETER;
    if (!src->Allocated()) return ERROR_NO_BITMAP;
    BitmapHandle out;
    int status = L_CreateBitmap(&out, 1, src->Width, src->Height, 8);
    if (status != SUCCESS) return status;
    for (int y = 0; y < src->Height; ++y) {
        uint8_t* d = out.Row(y);
        if (src->BitsPerPixel == 32) {
            const uint8_t* s = src->Row(y);
            for (int x = 0; x < src->Width; ++x) d[x] = s[x * 4 + 3];
        } else {
            std::memset(d, 255, size_t(src->Width));
        }
    }
    *dst = std::move(out);
    return SUCCESS;
}

int L_GetAutoTrimRect(const BitmapHandle* h, int threshold, BitmapRect* rect) {
    if (!h || !rect) return ERROR_INV_PARAMETER;
    if (!h->Allocated()) return ERROR_NO_BITMAP;
    const ColorRef corner = L_GetPixelColor(h, 0, 0);
    auto differs = [&](int x, int y) {
        ColorRef c = L_GetPixelColor(h, x, y);
        return std::abs(int(GetRValue(c)) - GetRValue(corner)) > threshold ||
               std::abs(int(GetGValue(c)) - GetGValue(corner)) > threshold ||
               std::abs(int(GetBValue(c)) - GetBValue(corner)) > threshold;
    };
    int left = h->Width, top = h->Height, right = -1, bottom = -1;
    for (int y = 0; y < h->Height; ++y)
        for (int x = 0; x < h->Width; ++x)
            if (differs(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    if (right < 0)
        *rect = BitmapRect{};
    else
        *rect = BitmapRect{left, top, right + 1, bottom + 1};
    return SUCCESS;
}

int L_PreLoadFilters(int /*fixedFilters*/, int /*cachedFilters*/, const char* /*filterList*/) {
    return SUCCESS;
}
