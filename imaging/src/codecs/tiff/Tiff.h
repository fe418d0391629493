#pragma once

// TIFF through libtiff, over the file in memory. Only the first page (IFD) is read.
//
// Reading: strips and tiles, contiguous and separate planes, every compression libtiff decodes
// (none, LZW, Deflate, PackBits, JPEG, CCITT G3/G4, …). Samples are read as stored and
// converted per photometric interpretation:
//  - Min-is-black and min-is-white grey of 1, 2, 4, 8 and 16 bits → 1, 4, 4, 8 and 8-bit palette
//    bitmaps with an ascending grey ramp (2, 4, 16, 256 entries); min-is-white values are
//    inverted so that index 0 is always black. Grey with an alpha sample → 32 bits.
//  - Palette of 1, 2, 4 and 8 bits → 1, 4, 4 and 8 bits; the 16-bit colormap is scaled to
//    8 bits with rounding, except for old files whose colormap holds 8-bit values (no entry
//    above 255), which are taken as they are.
//  - RGB of 8 and 16 bits → 24 bits, or 32 bits when there is an extra sample: unassociated
//    and unspecified extra samples are taken as straight alpha, associated (premultiplied)
//    alpha is divided out, since 32-bit bitmaps hold straight alpha.
//  - CMYK (separated, 8 and 16 bits) → 24 bits with R = round((255 − C)(255 − K) / 255), the
//    same for G from M and B from Y; a further extra sample becomes alpha (32 bits).
//  - JPEG-compressed YCbCr is decoded to RGB by libjpeg (JPEGCOLORMODE_RGB) → 24 bits.
//  - 16-bit samples become 8 bits as round(v / 257).
//  - Anything else libtiff can turn into RGBA (uncompressed YCbCr, CIE L*a*b*, LogLuv, odd
//    sample sizes) goes through TIFFReadRGBAImage → 24 bits, or 32 with an alpha sample.
// The Orientation tag is honoured: the bitmap comes out with the picture's top row first (the
// RGBA path asks libtiff for that orientation).
// libtiff's messages are never printed. The pixel limit is checked before any buffer is
// allocated, tile sizes are checked against it too, and a strip or tile that decodes short is
// ERROR_FILE_CORRUPT.
//
// Writing (format 3): LZW, one strip per ~64 KB of rows, 72 dpi.
//  - 1 bit: min-is-black when the palette is black then white, min-is-white when it is white
//    then black, a 2-entry colormap otherwise.
//  - 4 and 8 bits: min-is-black grey when the palette is the full grey ramp (16 or 256
//    entries), a colormap otherwise.
//  - 16 bits (x1555): written as 8-bit RGB, each channel widened by bit replication, since
//    5-bit samples are not baseline TIFF and few readers take them.
//  - 24 bits: RGB; 32 bits: RGBA with an unassociated (straight) alpha extra sample.
//  - 8-bit grey, 24 and 32 bits use horizontal differencing (predictor 2), which makes LZW
//    files of photos markedly smaller at little cost; palette indices are not predictable, so
//    palette files use none.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakeTiffCodec();

int ReadTiff(ByteReader& in, BitmapHandle& out, Progress& progress);
int WriteTiff(const BitmapHandle& bmp, const SaveRequest& request, ByteWriter& out,
              Progress& progress);

}  // namespace kivo
