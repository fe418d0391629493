#pragma once

// The registry of effects: every effect's name as `kivo-image apply` spells it, its parameters
// and one uniform entry point, so the command line, the gallery and the tests can walk them all.
//
// Rules shared by every effect (the family headers Geometry.h, Colour.h, Artistic.h, Blur.h,
// Sharpen.h, Edge.h, Noise.h and Combine.h declare the effects themselves):
//  - The first argument is the bitmap, changed in place. Arguments are checked against the
//    effect's parameter table before anything happens: out of range gives ERROR_INV_PARAMETER,
//    an empty handle ERROR_NO_BITMAP.
//  - The result is built aside and moved into the bitmap, so a failure or an abort through the
//    status callback (ERROR_USER_ABORT) leaves the bitmap as it was.
//  - 24 and 32 bits are worked on natively (32 bits keeps its alpha unless an effect says so).
//    Point operations on a 1/4/8-bit bitmap change its palette; every other effect works on the
//    colours of a palette or 16-bit bitmap and leaves a 24-bit bitmap.
//  - When the bitmap has a region (Region.h), only the pixels inside it change; the region stays.
//    Geometry effects move the whole picture and drop the region.
//  - Rows are split over the cores; results never depend on the number of threads.

#include <span>
#include <string_view>
#include <vector>

#include "kivo/imaging/Bitmap.h"

struct EffectParam {
    const char* Name;
    int Min;
    int Max;
    int Default;
};

struct EffectInfo {
    const char* Name;    // the L_ name without "L_" and "Bitmap": "Rotate", "ChangeIntensity"
    const char* Family;  // "geometry", "colour", …
    std::span<const EffectParam> Params;  // in call order after the bitmap
    // Runs the effect with one value per parameter (PrepareEffectArgs completes them).
    int (*Apply)(BitmapHandle* bitmap, const std::vector<int>& args);
};

// Every registered effect, in gallery order.
std::span<const EffectInfo* const> EffectRegistry();
// The effect of that name, compared without letter case; null when there is none.
const EffectInfo* FindEffect(std::string_view name);
// Completes missing trailing arguments with their defaults and checks every one against its
// range. ERROR_INV_PARAMETER when there are too many (*badParam = -1) or one is out of range
// (*badParam = its index).
int PrepareEffectArgs(const EffectInfo& effect, std::vector<int>* args, int* badParam = nullptr);
