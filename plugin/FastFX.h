#pragma once

// The thirteen effects of the advanced-filter dialog. Results are pixel-exact: the visiting order,
// the single-precision steps of the geometric effects and the random sequence are part of what an
// effect computes, so none of them is reordered or parallelised in ways that would change a byte.
//
// Pixel effects work in place in scan order (top row first, left to right): a pixel is written as
// soon as it is computed, and later pixels whose neighbourhood reaches back read the new values.
// Neighbour coordinates outside the picture are clamped to the edge.
//
// Geometric effects read from a source and write every pixel of a target of the same size; when
// the sizes differ they do nothing. Source coordinates outside the picture wrap around (WrapIndex),
// so the picture tiles at its edges.

#include <cstdint>

#include "FastBMP.h"

namespace kivo::morefilters {

// The shared random source: seed = seed * 134775813 + 1 (mod 2^32), then the upper 32 bits of
// seed * n, which lies in 0..n-1 (0 for n = 0). The seed is 0 when the plug-in is loaded and is
// never reseeded, so every load of the plug-in replays the same sequence.
uint32_t Random(uint32_t n);
// The current seed, for callers that need to know where in the sequence they are.
uint32_t RandomSeed();

// Adds Random(range) - range div 2 to each channel, drawn blue, green, red per pixel.
void ColorNoise(TFastBMP& bmp, uint32_t range);
// Adds one draw Random(range) - range div 2 to all three channels of a pixel.
void MonoNoise(TFastBMP& bmp, uint32_t range);
// Each channel becomes the truncated mean of the four pixels at (x +- distance, y +- distance);
// the pixel itself does not take part. Distance 0 leaves the picture unchanged.
void SplitBlur(TFastBMP& bmp, int distance);
// SplitBlur with distance passes, passes - 1, ..., 1; nothing for passes < 1.
void GaussianBlur(TFastBMP& bmp, int passes);
// (256 C - 16 S) / 128 truncated toward zero, clamped, where C is the pixel and S the sum of the
// eight others of the 3 x 3 grid spaced distance apart.
void Sharpen(TFastBMP& bmp, int distance);
// Rotates every row right by shift pixels (modulo Width; negative shifts rotate left).
void WrapShiftX(TFastBMP& bmp, int shift);
// Rotates the picture down by shift rows (modulo Height; negative shifts rotate up).
void WrapShiftY(TFastBMP& bmp, int shift);
// Each target pixel takes a source pixel at a random offset of at most radius; three draws per
// pixel. A negative radius counts as 0.
void Spray(const TFastBMP& source, TFastBMP& target, int radius);
// Fills blocks with one sample pixel taken half a block (rounded up) right of and below the
// block's corner. Blocks cut off by the right or bottom edge stop one pixel short of it.
void Mosaic(TFastBMP& bmp, int blockWidth, int blockHeight);

// Whole-pixel wave: the source row of target column x is shifted by
// Round(amplitude * sin(x / columnDivisor)) and the source column of target row y by
// Round(amplitude * sin(y / rowDivisor)). A divisor of 0 copies the source. On a picture one row
// high every column reads that one row.
void Wave(const TFastBMP& source, TFastBMP& target, double columnDivisor, double rowDivisor,
          double amplitude);
// Rotates by angle degrees about (centreX, centreY), interpolated with WrappedBilinear.
void Rotate(const TFastBMP& source, TFastBMP& target, int centreX, int centreY, double angle);
// Bulge about the centre with focal length amount * width. The mapping is singular where the
// distance from the centre equals the focal length (and meaningless where it yields no finite
// source position); such a pixel keeps the source pixel at its own place. Amount 0 has no focal
// length at all and copies the source.
void FishEye(const TFastBMP& source, TFastBMP& target, double amount);
// Twist about the centre growing with the distance / divisor, plus a fixed quarter turn.
// Divisor 0 leaves the target as it was.
void Twist(const TFastBMP& source, TFastBMP& target, int divisor);

struct TPixel {
    uint8_t B = 0, G = 0, R = 0;
    friend bool operator==(const TPixel&, const TPixel&) = default;
};

// Bilinear interpolation between the four pixels around (sx, sy) with wrapped indices and
// single-precision weights and sums. For negative coordinates the weights are taken from the
// distance to the truncated index, so they are swapped relative to the fractional part. A
// coordinate that is not finite or too large to index reads as 0.
TPixel WrappedBilinear(const TFastBMP& source, float sx, float sy);

// Index wrap for size n: below 0 it becomes n - 1 - ((-i) mod n), above n - 1 it becomes i mod n.
// Note that -1 becomes n - 2.
int WrapIndex(int64_t i, int n);

// Angle of (dx, dy) in -pi/2 .. 3pi/2, as single.
float AngleOf(float dx, float dy);

}  // namespace kivo::morefilters
