#pragma once

// Our own PNG stream writer for the row filters we apply ourselves (none and sub): the chunks
// are written directly and the image data is deflated in bands on every core, pigz-style. Each
// band is primed with the last 32 KB of the data before it, so the file is as small as one
// sequential deflate would make it, within a few hundred bytes; bands end on a byte boundary
// (a sync flush) and are joined into one zlib stream whose checksum combines the bands'.

#include <cstdint>

#include "codecs/Codec.h"

namespace kivo {

struct PngStreamLayout {
    int ColourType;              // PNG colour type: 0 grey, 2 RGB, 3 palette, 6 RGBA
    int BitDepth;                // 1, 4 or 8
    const uint8_t* PaletteRgb;   // PaletteSize × 3 bytes, for colour type 3
    int PaletteSize;
    int ZlibLevel;
    bool SubFilter;              // false: no filter on any row
};

int WritePngStream(const BitmapHandle& bmp, const PngStreamLayout& layout, ByteWriter& out,
                   Progress& progress);

}  // namespace kivo
