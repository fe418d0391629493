#pragma once

// Blurs (rules in Effects.h). They work on 24 and 32 bits (alpha blurred with the colours);
// palette and 16-bit bitmaps come back at 24 bits. Borders repeat the edge pixels.

#include "kivo/imaging/Bitmap.h"

// Gaussian blur with standard deviation radius/10 pixels (radius 1..1000).
int L_GaussianFilterBitmap(BitmapHandle* h, int radius);
// Mean of the square of 2·(size/2)+1 pixels around each pixel (size 1..200).
int L_AverageFilterBitmap(BitmapHandle* h, int size);
// Mean of dim pixels (1..500) along a line at angle hundredths of a degree (0..36000, 0 points
// right, positive turns clockwise), centred on the pixel, or starting at it and reaching
// forward along the angle when unidirectional, sampled bilinearly.
int L_MotionBlurBitmap(BitmapHandle* h, int dim, int angle, bool unidirectional);
