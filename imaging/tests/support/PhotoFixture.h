#pragma once

// A deterministic photo-like picture for tests: smooth gradients, a few hard edges and a little
// noise, so codecs and conversions see both flat areas and detail.

#include "kivo/imaging/Bitmap.h"

namespace kivo::test {

// A 24-bit picture of the given size; the same arguments always give the same pixels.
BitmapHandle MakePhotoFixture(int width, int height, uint32_t seed = 1);
// The fixture converted to another depth through L_ColorResBitmap (32 bits gets a varying alpha).
BitmapHandle MakePhotoFixtureAtDepth(int width, int height, int bitsPerPixel, uint32_t seed = 1);

}  // namespace kivo::test
