#pragma once

// ZSoft PCX and its multi-page container DCX (our own code).
//
// Reading: version 0-5 files, RLE or raw, in every plane layout the format's writers use —
// 1 bit in 1 to 4 planes (mono, CGA/EGA 4, 8 and 16 colours; the colours come from the header's
// 16-entry palette), 2, 4 and 8 bits in one plane (8 bits with the 256-colour palette after the
// picture, or a grey ramp when it is missing), 8 bits in 3 planes (24-bit RGB) and in 4 planes
// (32-bit RGBA). Planar pictures of 2 to 4 one-bit planes load at 4 bits. A DCX file loads its
// first page and reports FILE_PCX. A one-bit picture whose header palette is empty (all entries
// alike, as old writers leave it) reads as black and white.
//
// Writing (format 1): version 5, RLE. 1 bit as one plane with the two colours in the header
// palette; 4 bits as four one-bit planes (the EGA layout every reader knows) with the header
// palette; 8 bits as one plane followed by the 256-colour palette; 24 bits as three planes;
// 16 and 32 bits as three planes too (widened; alpha dropped, since few readers know a fourth
// plane).
// Runs never cross a plane's row.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakePcxCodec();

int ReadPcx(ByteReader& in, BitmapHandle& out, Progress& progress);
int WritePcx(const BitmapHandle& bmp, const SaveRequest& request, ByteWriter& out,
             Progress& progress);

}  // namespace kivo
