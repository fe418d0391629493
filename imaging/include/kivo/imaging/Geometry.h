#pragma once

// Geometry: turns, mirrors, resizing and shearing of the whole picture (rules in Effects.h).
// Angles are in hundredths of a degree; positive angles turn clockwise as seen on screen.
// Pure pixel movement (mirrors, quarter and half turns, nearest and favour-black resizing) works
// at every depth and keeps the palette; interpolating effects leave 24 bits from 1/4/8/16 bits.
// Every geometry effect drops the bitmap's region.

#include "kivo/imaging/Bitmap.h"

enum : int {
    ROTATE_RESIZE = 0x0001,  // the bitmap grows or shrinks to hold the whole turned picture
};

enum : int {
    SIZE_NORMAL = 0x0000,      // nearest pixel
    SIZE_FAVORBLACK = 0x0001,  // nearest, but the darkest of the pixels a new pixel covers
    SIZE_RESAMPLE = 0x0002,    // area average when shrinking, bilinear when growing
    SIZE_BICUBIC = 0x0004,     // Catmull-Rom cubic, widened when shrinking
};

// Turns by angle (−36000..36000). Multiples of 9000 move pixels exactly by index at any depth;
// other angles sample bilinearly and fill uncovered corners with `fill`. Without ROTATE_RESIZE the
// size stays and the turned picture is centred (corners cut, gaps filled).
int L_RotateBitmap(BitmapHandle* h, int angle, int flags = 0, ColorRef fill = 0);
// Exchanges top and bottom; any depth.
int L_FlipBitmap(BitmapHandle* h);
// Exchanges left and right; any depth.
int L_ReverseBitmap(BitmapHandle* h);
// Resizes to width × height (1..32767 each) by the SIZE_ method in flags.
int L_SizeBitmap(BitmapHandle* h, int width, int height, int flags = SIZE_NORMAL);
// Shears by angle (−4500..4500): horizontal (rows slide, the top to the right for positive
// angles) or vertical (columns slide, the left side down for positive angles). The bitmap grows
// to hold the whole sheared picture; uncovered parts take `fill`. Angle 0 changes nothing.
int L_ShearBitmap(BitmapHandle* h, int angle, bool horizontal, ColorRef fill = 0);
