#pragma once

// JPEG through libjpeg-turbo.
//
// Reading: baseline, extended and progressive files, decoded with libjpeg's defaults (accurate
// integer IDCT, fancy upsampling, block smoothing for progressive scans), so the pixels are the
// ones libjpeg-turbo's own djpeg gives.
//  - Grey (one component) → 8 bits with a 256-level grey ramp palette.
//  - YCbCr and RGB → 24 bits, decoded straight into the bitmap's B, G, R rows.
//  - CMYK and YCCK (libjpeg turns YCCK into CMYK) → 24 bits. Files with an Adobe APP14 marker
//    store inverted CMYK (255 = no ink), which is what every writer in practice produces:
//    R = round(C·K / 255), and the same for G from M and B from Y, the conversion djpeg uses.
//    Files without that marker store plain ink amounts: R = round((255 − C)(255 − K) / 255).
//  - A file that ends in the middle of a scan is ERROR_FILE_CORRUPT (libjpeg itself would fill
//    the rest with grey). One that lacks only its EOI marker loads, as does a progressive file
//    cut between two scans (it has every pixel, at the quality of the scans it has). Damage
//    libjpeg can decode past (bad entropy codes, bytes between markers) still gives a picture.
//    More than 1000 scans (a decoding-time bomb) is refused.
//
// Writing: format 10 (FILE_JPEG) with 4:4:4 chroma, format 98 (FILE_LEAD1JFIF) with 4:2:0; JFIF
// header, baseline Huffman tables (as cjpeg writes by default), quality from
// L_QualityFactorToJpegQuality. Depths:
//  - 8 bits with a grey ramp palette → a one-component grey JPEG; any other 8-bit palette is
//    written in colour.
//  - 16 bits (x1555, channels widened by bit replication), 24 and 32 bits (alpha dropped: JPEG
//    has none) → YCbCr.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakeJpegCodec();

int ReadJpeg(ByteReader& in, BitmapHandle& out, Progress& progress);
int WriteJpeg(const BitmapHandle& bmp, const SaveRequest& request, ByteWriter& out,
              Progress& progress);
// The same encoding of rows that are not a bitmap's, `channels` 3 for R, G, B samples, 1 for
// grey: rows(context, first, n, &stride) hands over rows first .. first + n − 1, each `stride`
// bytes after the one before, valid until the next call; null stops the encoding with
// ERROR_FILE_READ. The file is the one WriteJpeg makes of a bitmap holding these pixels.
using JpegRowReader = const uint8_t* (*)(void* context, int first, int n, size_t* stride);
int WriteJpegRows(JpegRowReader rows, void* context, int width, int height, int channels,
                  const SaveRequest& request, ByteWriter& out, Progress& progress);

}  // namespace kivo
