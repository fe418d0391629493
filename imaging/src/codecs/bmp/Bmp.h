#pragma once

// Windows and OS/2 bitmaps (our own code).
//
// Reading: 1, 4, 8, 16, 24 and 32 bits; uncompressed, RLE8, RLE4 and BITFIELDS; headers of
// OS/2 1.x (12 bytes, 3-byte palette entries), OS/2 2.x (16..64 bytes), Windows 3 (40),
// V2/V3 (52/56), V4 (108) and V5 (124); bottom-up and top-down rows.
//  - 1/4/8 bits stay palette bitmaps with the file's own palette, which may be shorter than
//    2^bpp (indices past its end read as black, as everywhere in the library).
//  - 16 bits with the 5-5-5 layout (BI_RGB, or BITFIELDS with 5-5-5 masks) stay 16-bit x1555.
//    Any other 16-bit mask set (5-6-5, 4-4-4, …) is widened to 24 bits, because x1555 would drop
//    the sixth green bit; a set with an alpha mask becomes 32 bits. Channels narrower than 8 bits
//    are widened by bit replication (31 → 255, 63 → 255).
//  - 32 bits become B, G, R, A; the alpha is the A byte (BI_RGB) or the alpha mask
//    (BITFIELDS, 255 when there is none). A file whose alpha is 0 everywhere was written by a
//    program that did not use alpha, so it is read as opaque (255).
//  - RLE: a run or absolute block reaching past the row's end is cut at the width, a delta or
//    end-of-line that leaves pixels unset leaves them at index 0, and data running out before
//    the end-of-bitmap mark (or the last row) is ERROR_FILE_CORRUPT.
//  - Not read: JPEG/PNG-compressed BMPs and the OS/2 Huffman/RLE24 variants
//    (ERROR_FEATURE_NOT_SUPPORTED).
//
// Writing (format 6): 1, 4, 8, 16 (x1555 as 5-5-5), 24 and 32 bits (B, G, R, A in the A byte),
// uncompressed, bottom-up, with a 40-byte BITMAPINFOHEADER.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakeBmpCodec();

bool SniffBmp(const uint8_t* head, size_t size);
int ReadBmp(ByteReader& in, BitmapHandle& out, Progress& progress);
int WriteBmp(const BitmapHandle& bmp, const SaveRequest& request, ByteWriter& out,
             Progress& progress);

}  // namespace kivo
