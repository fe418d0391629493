#pragma once

// Truevision TGA (our own code).
//
// TGA files carry no signature, so the codec is probed last and its sniff is strict: the image
// type, colour-map fields, depth and descriptor must be ones the format defines, and an
// uncompressed picture must fit in the data.
//
// Reading: colour-mapped (types 1 and 9, 8-bit indices, 15/16/24/32-bit map entries, any first
// entry), true colour (2 and 10: 15/16 bits as x1555, 24, 32 with alpha) and grey (3 and 11,
// 8 bits), raw or RLE (packets may run across rows), from any of the four origin corners. A
// 32-bit picture whose descriptor declares no alpha bits reads as opaque.
//
// Writing (format 4), uncompressed with the top-left origin: 8 bits as grey (type 3) when the
// palette is the 256-entry grey ramp, else colour-mapped (type 1, 24-bit entries); 16 bits as
// type 2 x1555; 24 bits; 32 bits with 8 alpha bits.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakeTgaCodec();

}  // namespace kivo
