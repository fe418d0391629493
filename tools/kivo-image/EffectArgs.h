#pragma once

// Shared by `apply` and `gallery`: reading an effect with its arguments from the command line,
// and saving a result in the format its extension names.

#include <string>
#include <vector>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/Effects.h"

// "Name[:a,b,…]" → the effect and its full argument list (defaults added, ranges checked).
// Returns 0, or prints the reason (naming the parameter and its range) and returns 1.
int ParseEffectSpec(const std::string& spec, const EffectInfo** effect, std::vector<int>* args);
// Saves by the save table's row for the extension; 0, or prints the reason and returns 1.
int SaveByExtension(const BitmapHandle& bitmap, const std::string& path);
