#pragma once

// X PixMap (our own code).
//
// Reading: XPM3 (C source: the strings of the array, comments skipped) and XPM2 (plain lines
// after "! XPM2"), any number of characters per pixel up to 8, colour keys c, g, g4 and m (the
// first of them in that order of preference), colours as #RGB, #RRGGBB, #RRRGGGBBB,
// #RRRRGGGGBBBB, X11 colour names (the full X11 database is built in; case and spaces ignored)
// and "None". A picture with a "None" colour loads at 32 bits with those pixels transparent;
// otherwise up to 256 colours load at 8 bits with the colour table as palette, more at 24 bits.
// Unknown colour names are refused as damage rather than guessed.
//
// Writing (format 109), XPM3 with hex colours and as few characters per pixel as the colour
// count allows (92 printable characters, never '"' or '\\' or space): 8 bits writes the palette
// entries the pixels use; 16, 24 and 32 bits write every distinct colour exactly; at 32 bits a
// pixel with alpha below 128 is "None".

#include "codecs/Codec.h"

namespace kivo {

CodecEntry MakeXpmCodec();

}  // namespace kivo
