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
// Brightness change −1000..1000 in tenths of a percent of full scale: v' = v + change · 255/1000.
int L_ChangeBitmapIntensity(BitmapHandle* h, int change);
// Contrast change −1000..1000 around mid-grey 128: v' = 128 + (v − 128) · f with
// f = (1000 + change)/1000 for negative changes (−1000 gives flat grey) and
// f = 1000/(1000 − change) for positive ones (1000 gives a hard threshold at 128).
int L_ChangeBitmapContrast(BitmapHandle* h, int change);
// Gamma correction with gamma × 100 (1..1000): v' = 255 · (v/255)^(100/gamma); 100 changes
// nothing, larger values lighten the middle tones.
int L_GammaCorrectBitmap(BitmapHandle* h, int gamma);
// Turns every hue by change tenths of a degree (−3600..3600) around the colour wheel, keeping
// saturation and value (HSV).
int L_ChangeBitmapHue(BitmapHandle* h, int change);

enum : int {
    HT_PRINT = 0,  // clustered dots on a screen turned by the angle, as printed
    HT_VIEW = 1,   // dispersed ordered dots (8 × 8 Bayer), smoothest on screen
};
// Black-and-white halftone by brightness. type HT_PRINT: round dots in cells of 4·dim pixels
// on a screen turned by angle hundredths of a degree (−36000..36000); HT_VIEW: an 8 × 8 Bayer
// pattern enlarged dim times (the angle is not used). dim 1..16. The result is a 1-bit bitmap
// with the palette black, white (with a region: black and white pixels at 24 or 32 bits).
int L_HalfToneBitmap(BitmapHandle* h, int type, int angle, int dim);
// Red-eye removal: a pixel whose redness r − (g + b)/2 reaches 256 − strength (strength 0..255;
// 0 changes nothing) takes newColour, shaded by the pixel's own green-blue brightness and by
// lightness percent (0..200). Meant for a bitmap with a region around the eye.
int L_RemoveRedeyeBitmap(BitmapHandle* h, ColorRef newColour, int strength, int lightness);
