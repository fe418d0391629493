#pragma once

// CALS raster type 1 (read only; the CCITT group 4 data is decoded by libtiff).
//
// The file is 128-byte text records ("rtype: 1", "rpelcnt: 001728,002200",
// "rorient: 000,270", …) up to offset 2048, then one G4 strip. Pixels read as 1 bit with
// white = 0, black = 1. Orientations with a pel path of 0, 90, 180 or 270 degrees (the
// counter-clockwise angle of a row on the page) and either line direction (counted from the pel
// path: 270 normal, 90 mirrored) are turned upright. Type 2 (tiled) files are ERROR_FEATURE_NOT_SUPPORTED.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakeCalsCodec();

// Decodes one strip of CCITT group 4 data of the given geometry into a 1-bit bitmap (palette
// white, black), through an in-memory TIFF. Also used by other fax-style formats.
int DecodeG4(const uint8_t* data, size_t size, int width, int height, BitmapHandle& out,
             Progress& progress);

}  // namespace kivo
