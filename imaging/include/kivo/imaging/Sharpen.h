#pragma once

// Sharpening (rules in Effects.h). Both work on 24 and 32 bits (alpha kept); palette and 16-bit
// bitmaps come back at 24 bits.

#include "kivo/imaging/Bitmap.h"

enum : int {
    UNSHARPMASK_RGB = 1,  // each of red, green and blue sharpened on its own
    UNSHARPMASK_YUV = 2,  // brightness only (the Y of YUV), so colours do not fringe
};

// Sharpness −1000..1000: positive values add sharpness/500 times the difference from a Gaussian
// blur of one pixel; negative values move each pixel that fraction of the way to the blur, so
// −1000 is the blur itself. Repeated calls sharpen or soften further.
int L_SharpenBitmap(BitmapHandle* h, int sharpness);
// Unsharp mask: adds amount/100 (0..1000) times the difference from a Gaussian blur of radius
// (standard deviation) radius/10 pixels (1..1000), where that difference is at least threshold
// (0..255), in the colour space colourType (UNSHARPMASK_RGB or UNSHARPMASK_YUV).
int L_UnsharpMaskBitmap(BitmapHandle* h, int amount, int radius, int threshold, int colourType);
