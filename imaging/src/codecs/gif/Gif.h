#pragma once

// GIF through giflib.
//
// Reading: the first frame only, as an 8-bit palette bitmap whose palette is the frame's colour
// table (its local one, else the global one; an even grey ramp when the file has neither).
//  - The bitmap is the logical screen (enlarged when the frame reaches past it), filled with
//    the screen's background colour index, with the frame placed at its offset. For the usual
//    file, whose first frame covers the screen, this is the frame itself.
//  - Interlaced frames are put back in row order.
//  - Transparency (the Graphic Control Extension's transparent index) is not applied: those
//    pixels keep their index and show its palette colour, as ImageMagick's PPM output of the
//    frame does. Indices past the end of the palette read as black.
//
// Writing (format 2): bitmaps of 1, 4 or 8 bits as one frame with a global colour table of the
// smallest power-of-two size that holds the palette and every index used (so the LZW code size
// is the smallest that works); no transparency, not interlaced.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakeGifCodec();

bool SniffGif(const uint8_t* head, size_t size);
int ReadGif(ByteReader& in, BitmapHandle& out, Progress& progress);
int WriteGif(const BitmapHandle& bmp, const SaveRequest& request, ByteWriter& out,
             Progress& progress);

}  // namespace kivo
