#pragma once

// Combining two pictures (rules in Effects.h). The destination works at 24 and 32 bits (alpha
// kept); a palette or 16-bit destination comes back at 24 bits; the source may have any depth.

#include "kivo/imaging/Bitmap.h"

// Operation codes: destination := destination op source, per channel, clamped to 0..255.
enum : int {
    CB_OP_ADD = 0x0000,       // d + s
    CB_OP_AND = 0x0100,       // d & s
    CB_OP_OR = 0x0200,        // d | s
    CB_OP_XOR = 0x0300,       // d ^ s
    CB_OP_SUBSRC = 0x0400,    // d − s
    CB_OP_SUBDST = 0x0500,    // s − d
    CB_OP_MULTIPLY = 0x0600,  // d · s / 255
    CB_OP_DIVDST = 0x0700,    // d · 255 / s (255 where s is 0)
    CB_OP_DIVSRC = 0x0800,    // s · 255 / d (255 where d is 0)
    CB_OP_AVERAGE = 0x0900,   // (d + s) / 2, rounded up
    CB_OP_MINIMUM = 0x0A00,
    CB_OP_MAXIMUM = 0x0B00,
};

// Combines the width × height rectangle of dst at (x, y) with src's at (sx, sy); the rectangle
// is clipped to both bitmaps. src and dst may be the same handle.
int L_CombineBitmap(BitmapHandle* dst, int x, int y, int width, int height, const BitmapHandle* src,
                    int sx, int sy, int operation);

// Blends src over the width × height rectangle of dst at (x, y), from (sx, sy) of src, through
// mask: an 8-bit bitmap (grey value or palette index 0..255) read at the same position as src,
// 255 taking src, 0 keeping dst, between them mixing (d + (s − d) · m/255). Clipped to all three.
int L_FeatherAlphaBlendBitmap(BitmapHandle* dst, int x, int y, int width, int height,
                              const BitmapHandle* src, int sx, int sy, const BitmapHandle* mask);
