#pragma once

// Photoshop documents (our own code).
//
// Reading: the merged composite image that follows the layer section, so files with or without
// layers read the same way. Colour modes bitmap, grey, duotone (read as its grey channel),
// indexed, RGB and CMYK at 1, 8, 16 and 32 bits per channel, raw or PackBits.
//  - bitmap → 1 bit (palette white, black); grey and duotone → 8-bit grey ramp; indexed → 8 bits
//    with the file's colour table (shortened by the "indexed colour count" resource); RGB → 24
//    bits, or 32 bits when a fourth channel (the composite's transparency) is present;
//    CMYK → 24 bits (r = c·k / 255 on Photoshop's inverted ink values).
//  - 16-bit channels are rounded to 8 bits, 32-bit float channels clamped to 0..1.
//  - Not read: Lab and multichannel documents, ZIP-compressed composites, large documents (PSB)
//    (ERROR_FEATURE_NOT_SUPPORTED).
//
// Writing (format 76): 1..8 bits as bitmap mode (a black-and-white 1-bit palette), grey mode
// (a palette of greys) or indexed mode (any other palette), 24 bits as RGB; each file is PackBits
// unless the raw channels are smaller.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakePsdCodec();

}  // namespace kivo
