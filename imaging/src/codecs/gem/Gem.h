#pragma once

// GEM raster (.img), read only (our own code): 1 to 8 planes, each scan line made of solid runs,
// pattern runs, literal strings and vertical repetitions. One plane reads as 1 bit with
// 1 = black; more planes read at 4 or 8 bits with the palette of an XIMG header (RGB in
// thousandths), else the sixteen standard GEM VDI colours for 4 planes, else a grey ramp from
// white. No signature: the sniff wants a plausible header.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakeGemCodec();

}  // namespace kivo
