#pragma once

// Colour effects: point operations on each pixel's colour (rules in Effects.h). On a 1/4/8-bit
// bitmap without a region they change the palette and keep the indices; 16 bits leaves 24 bits;
// 32 bits keeps its alpha.

#include "kivo/imaging/Bitmap.h"

// Each channel v becomes 255 − v.
int L_InvertBitmap(BitmapHandle* h);
// Each channel keeps `levels` (2..64) evenly spaced values from 0 to 255.
int L_PosterizeBitmap(BitmapHandle* h, int levels);
// Each channel at or above threshold (0..255) is inverted, as an overexposed film.
int L_SolarizeBitmap(BitmapHandle* h, int threshold);
// Grey by Rec. 601 luma. bitsPerPixel must be 8: the result is an 8-bit bitmap with the 256-grey
// palette, from any depth. With a region only the region turns grey and the depth stays (24 or
// 32 bits, from palette and 16-bit bitmaps 24).
int L_GrayScaleBitmap(BitmapHandle* h, int bitsPerPixel = 8);
// Saturation change −1000..1000 in tenths of a percent: each colour moves away from (or, for
// negative changes, towards) its own grey by that fraction; −1000 gives grey.
int L_ChangeBitmapSaturation(BitmapHandle* h, int change);
