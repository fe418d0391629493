#pragma once

// Artistic effects: neighbourhood operations that change the look of the whole picture (rules in
// Effects.h). They work on 24 and 32 bits; palette and 16-bit bitmaps come back at 24 bits.

#include "kivo/imaging/Bitmap.h"

// Tiles of size × size pixels (1..256), from the top-left corner, each filled with its mean
// colour (alpha too).
int L_MosaicBitmap(BitmapHandle* h, int size);
// Oil painting: each pixel takes the mean colour of the most common brightness (32 levels) in
// the square of 2·(size/2)+1 pixels around it (size 1..32).
int L_OilifyBitmap(BitmapHandle* h, int size);
// Grey relief lit from `direction` (0 north, 1 north-east, … 7 north-west, clockwise): 128 plus
// the brightness difference across each pixel, scaled by depth/1000 (0..1000). Alpha kept.
int L_EmbossBitmap(BitmapHandle* h, int direction, int depth);
