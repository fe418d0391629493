#pragma once

// Windows metafiles (our own code; the bitmaps inside go through the BMP codec).
//
// Reading: metafiles with or without the placeable header. Of the drawing records only the
// bitmap ones are rendered — StretchDIBits, DIBStretchBlt, DIBBitBlt and SetDIBitsToDevice — as
// ComposeDibs (MetafileDib.h) describes; every other record is skipped by its size. A metafile
// without a bitmap record (a vector drawing) is ERROR_FEATURE_NOT_SUPPORTED.
//
// Writing (format 15): a placeable metafile at 96 units per inch whose picture is one
// StretchDIBits record of the whole bitmap at 8 or 24 bits. Record coordinates are 16-bit, so
// pictures above 32767 pixels a side are refused.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakeWmfCodec();

}  // namespace kivo
