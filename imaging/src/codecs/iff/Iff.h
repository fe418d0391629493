#pragma once

// The interchange format: EA IFF 85 pictures (our own code).
//
// Reading: a FORM ILBM, a FORM PBM (chunky 8-bit pixels), or a CAT or LIST holding them (the
// first picture found is read). ILBM planar pictures of 1 to 8 planes load at 1, 4 or 8 bits
// with the CMAP as palette (a grey ramp without one; Extra-Half-Brite doubles a 32-colour map;
// HAM6 and HAM8 pictures are decoded to 24 bits, a modified channel keeping its low bits), 24-plane pictures at 24 bits, 32-plane ones at
// 32 bits; raw or ByteRun1 bodies; a mask plane is skipped.
//
// Writing (format 112): a CAT holding one FORM ILBM with BMHD, CMAP (for 1, 4 and 8 bits) and a
// ByteRun1 BODY of 1, 4, 8 or 24 planes.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakeIffCodec();

// Transposes an 8 × 8 bit matrix held as 8 bytes (byte 0 in the top byte): bit 7 − j of output
// byte i is bit 7 − i of input byte j. Turns 8 chunky pixels into 8 plane bytes and back.
inline uint64_t Transpose8x8(uint64_t x) {
    uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
    x ^= t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
    x ^= t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
    x ^= t ^ (t << 28);
    return x;
}

}  // namespace kivo
