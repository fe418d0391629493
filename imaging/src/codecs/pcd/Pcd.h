#pragma once

// Kodak Photo CD image packs (read only; our own code).
//
// Only the uncompressed resolutions are stored plainly; the base image (768 × 512) is read, at
// sector 96 (offset 0x30000), as pairs of luma rows followed by one row of each chroma
// component at half resolution. A pack cut short before the end of the base image reads at the
// largest resolution it holds whole (base/4, 384 × 256, or base/16, 192 × 128). PhotoYCC
// becomes RGB by Kodak's equations (L = 1.3584·Y, C1 = 2.2179·(Cb − 156),
// C2 = 1.8215·(Cr − 137); R = L + C2, G = L − 0.194·C1 − 0.509·C2, B = L + C1), clipped to
// 0..255; chroma is replicated over each 2 × 2 block. The rotation recorded in the image pack's
// header is applied, so portraits read upright. Result: 24 bits.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakePcdCodec();

}  // namespace kivo
