#pragma once

// MacPaint (.mac), read only (our own code): 576 × 720 one-bit pictures, 1 = black, after a
// 512-byte header (version and brush patterns), each row packed with PackBits. A 128-byte
// MacBinary header in front (file type "PNTG") is skipped. Without MacBinary there is no
// signature, so the sniff wants a known version number and all 720 rows decodable.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakeMacPaintCodec();

}  // namespace kivo
