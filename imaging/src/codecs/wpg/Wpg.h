#pragma once

// WordPerfect graphics (read only; our own code).
//
// WPG 1 files: the first bitmap record (type 1, 0x0B, or type 2, 0x14) is the picture, 1, 2, 4
// or 8 bits per pixel, run-length coded, coloured by the colour map records before it (entries
// the file does not set keep the default: the 16 EGA colours, then a grey ramp; 1-bit bitmaps
// default to black and white). Vector records are skipped. 2-bit bitmaps widen to 4 bits.
// WPG 2 files are ERROR_FEATURE_NOT_SUPPORTED.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakeWpgCodec();

}  // namespace kivo
