#pragma once

// Macintosh QuickDraw pictures (our own code).
//
// Reading: PICT 1 and PICT 2 files, with or without the 512-byte application header. The
// raster opcodes are decoded — BitsRect/BitsRgn, PackBitsRect/PackBitsRgn (bitmaps and 1, 2, 4,
// 8-bit pixmaps with their colour table) and DirectBitsRect/DirectBitsRgn (16-bit pixels,
// packed by words, and 32-bit pixels as planar, packed rows or unpacked) — and every other
// opcode is skipped by its length. Regions and transfer modes are ignored: each raster is copied
// into its destination rectangle.
//  - A picture made of one indexed raster keeps its depth (1, 4 or 8 bits, 2-bit pixmaps widen to
//    8) and colour table; bitmaps read as 1 bit with white = 0, black = 1. Anything else
//    (direct pixels, several rasters) is drawn onto a white 24-bit canvas of the picture frame.
//  - Vector-only pictures and QuickTime-compressed ones are refused with
//    ERROR_FEATURE_NOT_SUPPORTED.
//
// Writing (format 56): PICT 2 with the 512-byte header; 1, 4 and 8 bits as one PackBitsRect with
// the palette as colour table, 24 bits as DirectBitsRect (planar R, G, B rows packed with
// PackBits). A pixmap row is limited to 16383 bytes, so 24-bit pictures wider than 4000 pixels
// are written as several side-by-side DirectBitsRect bands.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakePictCodec();

}  // namespace kivo
