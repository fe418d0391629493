#pragma once

// Netpbm pictures (our own code), an extra format for the command line and the benchmarks.
//
// Reading: binary PBM (P4) as 1 bit with the palette white, black (a set bit is black, as in the
// file); binary PGM (P5) as 8-bit grey; binary PPM (P6) as 24 bits. Samples with a maximum other
// than 255 (1..65535; two bytes, most significant first, above 255) are scaled to 0..255.
// Several pictures in one file: only the first is read.
//
// Writing (format 200): a 1-bit picture whose palette holds only black and white as P4; other
// pictures whose colours are all grey (a grey palette) as P5; everything else as P6. Alpha is
// dropped, since none of the three stores it.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakePnmCodec();

bool SniffPnm(const uint8_t* head, size_t size);
int ReadPnm(ByteReader& in, BitmapHandle& out, Progress& progress);
int WritePnm(const BitmapHandle& bmp, const SaveRequest& request, ByteWriter& out,
             Progress& progress);

}  // namespace kivo
