#pragma once

// Encapsulated PostScript with a preview (read only).
//
// Only the DOS EPS binary form is read: a 30-byte header (C5 D0 D3 C6, then offset and length of
// the PostScript, the WMF preview and the TIFF preview). The preview is the picture: the TIFF
// one when present, else the WMF one, each read by its own codec. PostScript itself is not
// rendered, so a file without a preview (or whose preview's codec is not built in) is
// ERROR_FEATURE_NOT_SUPPORTED.

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakeEpsCodec();

}  // namespace kivo
