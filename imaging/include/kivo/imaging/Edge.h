#pragma once

// Edge effects (rules in Effects.h). They work on 24 and 32 bits (alpha kept); palette and
// 16-bit bitmaps come back at 24 bits.

#include "kivo/imaging/Bitmap.h"

enum : int {
    EDG_SOBEL_VERT = 0x0101,  // Sobel, vertical edges (horizontal change)
    EDG_SOBEL_HORZ = 0x0102,  // Sobel, horizontal edges
    EDG_SOBEL_ALL = 0x0103,   // Sobel, every direction
    EDG_PREWITT_VERT = 0x0201,
    EDG_PREWITT_HORZ = 0x0202,
    EDG_PREWITT_ALL = 0x0203,
};

// Edge strength of each channel by the EDG_ filter (gradient magnitude, clamped to 255); values
// below threshold (0..255) become 0. Flat areas turn black and edges light up in their colours.
int L_EdgeDetectorBitmap(BitmapHandle* h, int threshold, int filter);

enum : int {
    CONTOUR_BLACK_ON_WHITE = 0,   // black lines on white paper
    CONTOUR_COLOUR_ON_WHITE = 1,  // lines in the picture's own colours on white
    CONTOUR_WHITE_ON_BLACK = 2,
};

// A line drawing of the picture's contours: one-pixel lines along the ridges of brightness
// change (non-maximum suppression of a Sobel gradient on a lightly smoothed copy) where the
// change is at least threshold (0..255, in levels of a step edge). Lines are extended through
// weaker ridges down to threshold − maximumError (0..255) while the gradient direction turns by
// at most deltaDirection degrees (0..180) from one pixel to the next. option: CONTOUR_ style.
int L_ContourFilterBitmap(BitmapHandle* h, int threshold, int deltaDirection, int maximumError,
                          int option);
