#pragma once

// Enhanced metafiles (our own code; the bitmaps inside go through the BMP codec).
//
// Reading: the bitmap records EMR_STRETCHDIBITS, EMR_SETDIBITSTODEVICE, EMR_BITBLT and
// EMR_STRETCHBLT are rendered as ComposeDibs (wmf/MetafileDib.h) describes; every other record
// is skipped by its size. A metafile without a bitmap record is ERROR_FEATURE_NOT_SUPPORTED.
//
// Writing (format 116): a header, one EMR_STRETCHDIBITS record holding the whole bitmap at 8 or
// 24 bits, and the end record. The frame is given at 96 pixels per inch.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakeEmfCodec();

}  // namespace kivo
