#pragma once

// Sun Raster (our own code).
//
// Reading: old (0), standard (1), byte-encoded RLE (2) and RGB-ordered (3) files at 1, 8, 24 and
// 32 bits, with an RGB colour map or none; rows are padded to 16 bits. 1-bit pictures without a
// map read with 0 = white, 1 = black, with a map a set bit selects the map's first entry (as
// ImageMagick and netpbm take it); 8-bit ones without a map as grey. 32-bit pixels carry a
// leading pad byte, which is read as alpha unless every pixel has 0 there (then opaque).
//
// Writing (format 55), standard type, no compression: 1 bit without a map when the palette is
// black and white (else with its two colours, set bits for the first), 4 bits as 8-bit pixels with a 16-entry map (the
// format has no 4-bit type), 8 bits with the palette as map, 24 bits as B,G,R and 32 bits as
// A,B,G,R.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakeRasCodec();

}  // namespace kivo
