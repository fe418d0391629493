#pragma once

// The bitmap handle and the core operations on it.
//
// Rules shared by every L_ function of the library:
//  - Results are status codes (Status.h): SUCCESS (1) or a negative error. No exception ever
//    leaves an L_ function; std::bad_alloc becomes ERROR_NO_MEMORY.
//  - Pixels are stored top-down, colour order BGR, rows padded to 4 bytes. Depths are 1, 4 and 8
//    bits (palette indices, most significant bits first), 16 bits (x1555: bits 0-4 blue,
//    5-9 green, 10-14 red), 24 bits (B, G, R) and 32 bits (B, G, R, A).
//  - "Allocated" (bit 0 of Flags) is the only emptiness test. A handle owns its memory; copying a
//    handle object copies the pixels.
//  - Destination and source may be the same handle wherever a function takes both.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "kivo/imaging/Status.h"

struct RgbQuad {
    uint8_t Blue = 0;
    uint8_t Green = 0;
    uint8_t Red = 0;
    uint8_t Reserved = 0;

    friend bool operator==(const RgbQuad&, const RgbQuad&) = default;
};

using ColorPalette = std::vector<RgbQuad>;

// Colours passed to L_FillBitmap and the effects are COLORREF-style: 0x00BBGGRR.
using ColorRef = uint32_t;
constexpr ColorRef RGBColor(uint8_t r, uint8_t g, uint8_t b) {
    return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
}
constexpr uint8_t GetRValue(ColorRef c) { return uint8_t(c); }
constexpr uint8_t GetGValue(ColorRef c) { return uint8_t(c >> 8); }
constexpr uint8_t GetBValue(ColorRef c) { return uint8_t(c >> 16); }

struct BitmapRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;

    friend bool operator==(const BitmapRect&, const BitmapRect&) = default;
};

enum : uint32_t { BITMAP_ALLOCATED = 1u };

// The order in which rows are stored. Loaders always produce TOP_LEFT; BOTTOM_LEFT exists for
// callers that hand over bottom-up rows (platform DIBs) and is undone by
// L_ChangeBitmapViewPerspective.
enum ViewPerspective : int { TOP_LEFT = 1, BOTTOM_LEFT = 4 };

// Region of a bitmap: a 1-byte-per-pixel mask over Bounds (non-zero = inside).
struct BitmapRegion {
    BitmapRect Bounds;
    std::vector<uint8_t> Mask;  // (Right-Left) * (Bottom-Top) bytes, row-major
};

struct BitmapHandle {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitsPerPixel = 0;
    int32_t BytesPerLine = 0;
    uint32_t Flags = 0;
    int ViewPerspective = TOP_LEFT;
    ColorPalette Palette;
    std::unique_ptr<BitmapRegion> Region;

    BitmapHandle() = default;
    BitmapHandle(const BitmapHandle& other);
    BitmapHandle& operator=(const BitmapHandle& other);
    BitmapHandle(BitmapHandle&&) noexcept = default;
    BitmapHandle& operator=(BitmapHandle&&) noexcept = default;

    bool Allocated() const { return (Flags & BITMAP_ALLOCATED) != 0; }
    uint8_t* Row(int y) { return Pixels.get() + size_t(y) * size_t(BytesPerLine); }
    const uint8_t* Row(int y) const { return Pixels.get() + size_t(y) * size_t(BytesPerLine); }
    uint8_t* Data() { return Pixels.get(); }
    const uint8_t* Data() const { return Pixels.get(); }
    size_t DataSize() const { return size_t(BytesPerLine) * size_t(Height); }

    // Allocates uninitialised rows for the given geometry; the palette is cleared. Fails with
    // ERROR_IMAGE_TOO_LARGE above the pixel limit and ERROR_NO_MEMORY when memory runs out.
    int Allocate(int width, int height, int bitsPerPixel);
    void Release();

private:
    std::unique_ptr<uint8_t[]> Pixels;
};

// Row length in bytes of a width at a depth, padded to 4 bytes.
int32_t BytesPerLineFor(int32_t width, int32_t bitsPerPixel);

// Largest pixel count (width × height) any decoder or L_CreateBitmap accepts.
uint64_t L_GetMaxPixels();
// Lowers (or restores) the limit; fuzzers use it to keep allocations small.
void L_SetMaxPixels(uint64_t pixels);

int L_InitBitmap(BitmapHandle* h, int width = 0, int height = 0, int bitsPerPixel = 0);
int L_FreeBitmap(BitmapHandle* h);
int L_CopyBitmap(BitmapHandle* dst, const BitmapHandle* src);
int L_CopyBitmapRect(BitmapHandle* dst, const BitmapHandle* src, int left, int top, int width,
                     int height);
// memoryType and colorOrder are accepted for call-site fidelity (1 = conventional memory, BGR);
// palette may be null; for 1/4/8 bits a grey ramp is used when no palette is given. viewPerspective
// 0 means TOP_LEFT. data, when given, supplies size bytes of top-down rows.
int L_CreateBitmap(BitmapHandle* h, int memoryType, int width, int height, int bitsPerPixel,
                   int colorOrder = 1, const RgbQuad* palette = nullptr, int viewPerspective = 0,
                   const uint8_t* data = nullptr, size_t size = 0);
// Fills every pixel with the colour (the nearest palette entry at 1/4/8 bits).
int L_FillBitmap(BitmapHandle* h, ColorRef colour);
// Makes dst's rows top-down (viewPerspective 0 or TOP_LEFT) or bottom-up (BOTTOM_LEFT).
int L_ChangeBitmapViewPerspective(BitmapHandle* dst, const BitmapHandle* src, int viewPerspective);
// A copy of a palette (the library's palettes are values; this exists for call-site fidelity).
ColorPalette L_DupPalette(const ColorPalette& palette);
// dst becomes an 8-bit grey bitmap holding src's alpha channel (255 everywhere below 32 bits).
int L_GetBitmapAlpha(const BitmapHandle* src, BitmapHandle* dst);
// The smallest rectangle holding every pixel that differs from the top-left pixel by more than
// threshold in any channel. Fails with ERROR_NO_BITMAP when not allocated; an empty rectangle
// (Right == Left) means the whole bitmap is one colour.
int L_GetAutoTrimRect(const BitmapHandle* h, int threshold, BitmapRect* rect);

// The colour of one pixel as 0x00BBGGRR (palette bitmaps give the palette colour).
ColorRef L_GetPixelColor(const BitmapHandle* h, int x, int y);
int L_PutPixelColor(BitmapHandle* h, int x, int y, ColorRef colour);

// Status callback: called with a percentage (0..100) during long loads, saves, conversions and
// effects, on the calling thread. Returning 0 aborts the operation with ERROR_USER_ABORT.
using StatusCallback = int (*)(int percent, void* userData);
// Installs the callback (nullptr removes it) and returns the previous one.
StatusCallback L_SetStatusCallBack(StatusCallback callback, void* userData = nullptr);
StatusCallback L_GetStatusCallBack();

// Loads and registers the codecs named in the list. All codecs are built in, so this only
// checks the names; it is kept so that start-up reads as it always has.
int L_PreLoadFilters(int fixedFilters, int cachedFilters, const char* filterList);
