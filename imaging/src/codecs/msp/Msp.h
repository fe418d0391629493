#pragma once

// Microsoft Paint (.msp), read only (our own code). Version 1 ("DanM") stores raw one-bit rows
// after the 32-byte header; version 2 ("LinS") has a table of packed row sizes and rows packed
// as runs (0, count, value) and literals (n, then n bytes); a row of size 0 is white. Bits are
// 0 = black, 1 = white. The header checksum (the XOR of its words is 0) is checked.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakeMspCodec();

}  // namespace kivo
