#pragma once

// The one-click filters of the editor's filter menu, numbered 1..14: each is a fixed sequence of
// library calls with constant arguments, shared by the editor, `kivo-image filter` and the
// gallery. Number 0 of the menu (back to the original picture) is the editor's own business and
// is not a recipe.
//
// A recipe stops at the first call that fails and returns its status; the picture keeps what
// the completed calls made of it. Recipes 12 and 13 work with one temporary bitmap, which is
// released on every path. Every recipe leaves a 24-bit picture at 24 bits (the grey-scale steps
// of 2 and 9 are brought back to 24 bits at once).

#include "kivo/imaging/Bitmap.h"

inline constexpr int FirstFilterRecipe = 1;
inline constexpr int LastFilterRecipe = 14;

// Runs recipe `number` on w. ERROR_INV_PARAMETER for a number outside 1..14 (w untouched),
// ERROR_NO_BITMAP when w is not allocated.
int ApplyFilterRecipe(BitmapHandle* w, int number);

// A short upper-case name for labels ("MOSAIC", "INK", …); null outside 1..14.
const char* FilterRecipeName(int number);
