#pragma once

// The other half of the peer helpers: handing our pictures to peer programs as PNM/PAM, and
// reading back what a peer decodes.

#include <string>

#include "kivo/imaging/Bitmap.h"
#include "support/Peer.h"

namespace kivo::test {

// ImageMagick 6's convert by its versioned name, so that no other `convert` on the PATH (a
// GraphicsMagick link, a wrapper that flattens transparency) stands in for it.
inline constexpr const char* ImageMagickConvert = "convert-im6.q16";

// The bitmap's colours as a binary PPM (P6), or as a PAM with an alpha channel (P7 RGB_ALPHA)
// when withAlpha is set.
Bytes EncodePnm(const BitmapHandle& b, bool withAlpha = false);

// Runs a peer command that writes a PNM/PAM picture to stdout and parses it; fails the current
// test (and returns an empty picture) when the command fails or its output is not a picture.
PnmImage PeerDecode(const std::string& command);

}  // namespace kivo::test
