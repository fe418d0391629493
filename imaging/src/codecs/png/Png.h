#pragma once

// PNG through libpng.
//
// Reading: every colour type and bit depth, interlaced (Adam7) or not. What the bitmap gets:
//  - palette 1/4/8 bits and grey 1/4/8 bits without tRNS stay palette bitmaps at their depth
//    (grey gets an even grey ramp); 2-bit palette and grey become 4-bit palette bitmaps;
//  - 16-bit grey becomes an 8-bit grey-ramp palette bitmap; every 16-bit channel is reduced to
//    8 bits with rounding (v × 255 / 65535, libpng's png_set_scale_16);
//  - RGB becomes 24 bits; anything with alpha (an alpha channel, or tRNS on a palette, grey or
//    RGB picture) becomes 32 bits B, G, R, A.
// Gamma, colour profiles and the other ancillary chunks are not applied: pixels are as stored.
//
// Writing (format 75): 1, 4 and 8 bits as a palette picture (as grey when the palette is the
// full even grey ramp of the depth), 24 bits as RGB, 32 bits as RGBA. Compression: zlib level 6
// with the SUB row filter by default. On a 24-megapixel photo SUB makes files 16-20 % smaller
// than no filter, where libpng's adaptive choice among all five filters gains nothing more and
// takes 1.7 times as long; level 3 would be 2.5 times faster again for files 1-16 % larger.
// The filter applies to 8-bit grey, RGB and RGBA; palette pictures and grey below 8 bits are
// written unfiltered, as the PNG specification recommends for them. Both settings can be
// changed (SetPngWriteSettings) so that benchmarks can match another encoder, e.g. libvips'
// `pngsave --compression 6 --filter none`. With no filter or SUB (the default) the stream is
// written by our own writer, which deflates bands of rows on every core (PngStream.h); the
// other filters go through libpng.

#include "codecs/Codec.h"

namespace kivo {

// Row filter flags, with libpng's values (PNG_FILTER_NONE … PNG_ALL_FILTERS); several may be
// combined, and libpng then picks per row.
enum PngRowFilter : int {
    PngFilterNone = 0x08,
    PngFilterSub = 0x10,
    PngFilterUp = 0x20,
    PngFilterAvg = 0x40,
    PngFilterPaeth = 0x80,
    PngFilterAll = 0xF8,
};

struct PngWriteSettings {
    int ZlibLevel = 6;           // 0 (store) .. 9 (smallest)
    int Filters = PngFilterSub;  // PngRowFilter flags
};

// Process-wide settings of the PNG writer; out-of-range values are clamped / fall back to the
// default filter.
void SetPngWriteSettings(const PngWriteSettings& settings);
PngWriteSettings GetPngWriteSettings();

CodecEntry MakePngCodec();

bool SniffPng(const uint8_t* head, size_t size);
int ReadPng(ByteReader& in, BitmapHandle& out, Progress& progress);
int WritePng(const BitmapHandle& bmp, const SaveRequest& request, ByteWriter& out,
             Progress& progress);

}  // namespace kivo
