#pragma once

// Device-independent bitmaps inside Windows metafiles (WMF and EMF records carry a BMP without
// its 14-byte file header). Decoding and encoding go through the BMP codec, so metafiles read
// every DIB variant it reads.

#include <cstdint>
#include <vector>

#include "codecs/Codec.h"

namespace kivo {

// One bitmap-drawing record: where the DIB's bytes are and which part of it goes where.
struct DibPlacement {
    const uint8_t* Info = nullptr;  // BITMAPINFO: header, masks, colours
    size_t InfoSize = 0;
    const uint8_t* Bits = nullptr;  // nullptr: the bits follow the colours in Info (packed DIB)
    size_t BitsSize = 0;
    int64_t SrcX = 0, SrcY = 0, SrcW = 0, SrcH = 0;
    int64_t DstX = 0, DstY = 0, DstW = 0, DstH = 0;
};

// Decodes one DIB at its own depth.
int DecodeDib(const DibPlacement& dib, BitmapHandle& out, Progress& progress);

// The picture of a metafile's bitmap records: a single record gives its DIB's source rectangle
// at the DIB's depth; several are drawn, each scaled into its destination, onto a white 24-bit
// canvas spanning all destinations. No record at all is ERROR_FEATURE_NOT_SUPPORTED (a vector
// drawing).
int ComposeDibs(const std::vector<DibPlacement>& dibs, BitmapHandle& out, Progress& progress);

// A packed DIB (40-byte header, colours, bottom-up rows) of a bitmap at 1..32 bits.
int EncodeDib(const BitmapHandle& bmp, std::vector<uint8_t>* dib, Progress& progress);

}  // namespace kivo
