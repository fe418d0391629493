#pragma once

// Colour-depth conversion.
//
// L_ColorResBitmap(src, dst, bitsPerPixel, flags, palette, …) converts any of 1, 4, 8, 16, 24
// and 32 bits per pixel to any other. Flags:
//  - CRF_BYTEORDERBGR (0x0004): colour order of the result; the library always stores BGR, so
//    this flag only documents the caller's intent. Going up in depth (any → 16/24/32) is exact.
//  - Palette choice when the result has 1, 4 or 8 bits:
//      a palette passed by the caller is used as given (the black-and-white command passes
//      black then white); otherwise CRF_FIXEDPALETTE (0x0001) picks the fixed palette of the
//      depth (black/white, the 16 VGA colours, or a 6×7×6 colour cube plus greys), and anything
//      else computes an optimised palette with a Wu colour quantiser.
//      A source whose pixels are all grey gets an even grey ramp instead (2, 16 or 256 levels),
//      so grey pictures stay grey; a source that has no more distinct colours than the palette
//      can hold gets exactly those colours.
//  - Mapping to the palette: CRF_FLOYDSTEINDITHERING (0x10000) diffuses the error with
//    Floyd–Steinberg weights (7, 3, 5, 1)/16 in serpentine order; without it each pixel takes the
//    nearest palette colour. CRF_NODITHERING (0x0080) says "nearest colour" explicitly and wins
//    over the dithering flag.
//  - Going down to 16 bits truncates each channel to 5 bits (with dithering, Floyd–Steinberg on
//    the 5-bit steps).
// Going to 32 bits sets alpha to 255 (a 32-bit source keeps its alpha when staying at 32 bits).
// The source's region, if any, is dropped.

#include "kivo/imaging/Bitmap.h"

enum : int {
    CRF_FIXEDPALETTE = 0x0001,
    CRF_OPTIMIZEDPALETTE = 0x0002,
    CRF_BYTEORDERBGR = 0x0004,
    CRF_NODITHERING = 0x0080,
    CRF_FLOYDSTEINDITHERING = 0x10000,
};

// palette/colours: a caller palette of `colours` entries (null for none). The trailing
// arguments of the original call (palette handle, buffer, buffer size) are not needed here.
int L_ColorResBitmap(const BitmapHandle* src, BitmapHandle* dst, int bitsPerPixel, int flags,
                     const RgbQuad* palette = nullptr, int colours = 0);
