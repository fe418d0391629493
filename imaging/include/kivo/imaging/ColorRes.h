#pragma once

// Colour-depth conversion.
//
// L_ColorResBitmap(src, dst, bitsPerPixel, flags, palette, …) converts any of 1, 4, 8, 16, 24
// and 32 bits per pixel to any other. Flags:
//  - CRF_BYTEORDERBGR (0x0004): colour order of the result; the library always stores BGR, so
//    this flag only documents the caller's intent. Going up in depth (any → 16/24/32) is exact
//    (16 bits keeps the top five bits of each channel).
//  - Palette choice when the result has 1, 4 or 8 bits, first match wins:
//      1. a palette passed by the caller (1 to 2^bits entries, else ERROR_INV_PARAMETER), used as
//         given (the black-and-white command passes black then white);
//      2. CRF_FIXEDPALETTE (0x0001): the fixed palette of the depth (black/white, the 16 VGA
//         colours, or a 6×7×6 colour cube plus four greys);
//      3. a palette picture staying at its depth or going up to a larger palette depth keeps its
//         palette and indices;
//      4. a grey picture going to 8 bits gets the 256-grey ramp, so its values stay exact;
//      5. a picture with no more distinct colours than the palette holds gets exactly those
//         colours, ordered dark to light;
//      6. a grey picture gets an even grey ramp (2 or 16 levels), so grey pictures stay grey;
//      7. otherwise an optimised palette (CRF_OPTIMIZEDPALETTE, 0x0002, is the default): Xiaolin
//         Wu's variance-minimising quantiser, refined by a few k-means steps.
//  - Mapping to the palette: CRF_FLOYDSTEINDITHERING (0x10000) diffuses the error with
//    Floyd–Steinberg weights (7, 3, 5, 1)/16 in serpentine order; without it each pixel takes the
//    nearest palette colour (exact squared RGB distance, lowest index on ties).
//    CRF_NODITHERING (0x0080) says "nearest colour" explicitly and wins over the dithering flag.
//  - Going down to 16 bits truncates each channel to 5 bits (with dithering, Floyd–Steinberg on
//    the 5-bit steps).
// Going to 32 bits sets alpha to 255 (a 32-bit source keeps its alpha when staying at 32 bits).
// The source's region, if any, is dropped; the row order (view perspective) is kept. The result
// is built aside and moved into dst, so src and dst may be the same handle and a failure or an
// abort through the status callback (ERROR_USER_ABORT) leaves dst as it was.

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
