#pragma once

// Noise (rules in Effects.h). Both work on 24 and 32 bits (alpha kept); palette and 16-bit
// bitmaps come back at 24 bits.

#include "kivo/imaging/Bitmap.h"

enum : int {
    CHANNEL_MASTER = 0,  // the same change on red, green and blue (grey grain)
    CHANNEL_RED = 1,
    CHANNEL_GREEN = 2,
    CHANNEL_BLUE = 3,
};

// Adds uniform noise of up to ±range/1000·255 levels (range 0..1000) to the CHANNEL_ given. The
// noise comes from a generator seeded afresh by each call from the pixel position, so the same
// picture always gets the same grain.
int L_AddBitmapNoise(BitmapHandle* h, int range, int channel);
// Each channel becomes the median of the square of 2·(size/2)+1 pixels around it (size 1..32;
// borders repeat the edge pixels).
int L_MedianFilterBitmap(BitmapHandle* h, int size);
