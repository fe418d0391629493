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

struct PnmHeader {
    int Kind;  // 4 PBM, 5 PGM, 6 PPM (binary)
    int64_t Width, Height, Maxval;
};
// Reads the header up to the first sample byte.
int ReadPnmHeader(ByteReader& in, PnmHeader* header);

// Where the samples of a binary PGM or PPM of maximum 255 lie, from the file's first bytes
// (`head`, which must hold the whole header) and its size: rows Stride bytes apart from Offset
// on, of grey (Channels 1) or R, G, B (Channels 3) bytes. False for anything else, and for a
// file too short for its rows.
struct PnmRows {
    size_t Offset;
    size_t Stride;
    int Width, Height, Channels;
};
bool PnmRowLayout(const uint8_t* head, size_t headSize, uint64_t fileSize, PnmRows* rows);
int ReadPnm(ByteReader& in, BitmapHandle& out, Progress& progress);
int WritePnm(const BitmapHandle& bmp, const SaveRequest& request, ByteWriter& out,
             Progress& progress);

}  // namespace kivo
