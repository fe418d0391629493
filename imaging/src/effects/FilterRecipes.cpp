#include "kivo/imaging/FilterRecipes.h"

#include <iterator>

#include "kivo/imaging/Artistic.h"
#include "kivo/imaging/ColorRes.h"
#include "kivo/imaging/Colour.h"
#include "kivo/imaging/Combine.h"
#include "kivo/imaging/Edge.h"
#include "kivo/imaging/Noise.h"
#include "kivo/imaging/Sharpen.h"

namespace {

// Runs the steps in order up to the first failure. Each step is a call written at its use, so a
// recipe reads as its list of calls.
template <class... Step>
int Steps(Step&&... steps) {
    int status = SUCCESS;
    ((status == SUCCESS ? (void)(status = steps()) : (void)0), ...);
    return status;
}

// The grey-scale step leaves 8 bits; the menu's filters keep the picture in 24-bit colour.
int BackTo24Bits(BitmapHandle* w) { return L_ColorResBitmap(w, w, 24, 0); }

int Recipe1(BitmapHandle* w) { return L_MosaicBitmap(w, 5); }

int Recipe2(BitmapHandle* w) {
    return Steps([&] { return L_PosterizeBitmap(w, 4); }, [&] { return L_SharpenBitmap(w, -1000); },
                 [&] { return L_OilifyBitmap(w, 6); }, [&] { return L_GrayScaleBitmap(w, 8); },
                 [&] { return BackTo24Bits(w); });
}

int Recipe3(BitmapHandle* w) { return L_OilifyBitmap(w, 6); }
int Recipe4(BitmapHandle* w) { return L_EmbossBitmap(w, 1, 500); }
int Recipe5(BitmapHandle* w) { return L_PosterizeBitmap(w, 4); }
int Recipe6(BitmapHandle* w) { return L_SolarizeBitmap(w, 128); }
int Recipe7(BitmapHandle* w) { return L_AddBitmapNoise(w, 200, 0); }
int Recipe8(BitmapHandle* w) { return L_InvertBitmap(w); }

int Recipe9(BitmapHandle* w) {
    return Steps([&] { return L_GrayScaleBitmap(w, 8); }, [&] { return BackTo24Bits(w); });
}

int Recipe10(BitmapHandle* w) { return L_SharpenBitmap(w, 500); }
int Recipe11(BitmapHandle* w) { return L_SharpenBitmap(w, -1000); }

// Coloured-pencil outline: dividing the picture by its own edge strength turns flat areas
// (no edge, divisor 0) into white paper and leaves the outlines drawn in the picture's colours.
int Recipe12(BitmapHandle* w) {
    BitmapHandle t;
    const int width = w->Width, height = w->Height;
    const int status =
        Steps([&] { return L_CopyBitmap(&t, w); },
              [&] { return L_EdgeDetectorBitmap(&t, 30, EDG_SOBEL_ALL); },
              [&] { return L_CombineBitmap(w, 0, 0, width, height, &t, 0, 0, CB_OP_DIVDST); },
              [&] { return L_CombineBitmap(w, 0, 0, width, height, &t, 0, 0, CB_OP_DIVDST); });
    if (t.Allocated()) L_FreeBitmap(&t);
    return status;
}

// Noise removal: a twice-median-smoothed copy, sharpened, averaged with the sharpened picture,
// sharpened again lightly and given back some saturation.
int Recipe13(BitmapHandle* w) {
    BitmapHandle t;
    const int width = w->Width, height = w->Height;
    const int status = Steps(
        [&] { return L_InitBitmap(&t, 0, 0, 0); }, [&] { return L_CopyBitmap(&t, w); },
        [&] { return L_MedianFilterBitmap(&t, 5); }, [&] { return L_MedianFilterBitmap(&t, 5); },
        [&] { return L_UnsharpMaskBitmap(&t, 100, 15, 50, 2); },
        [&] { return L_UnsharpMaskBitmap(w, 200, 15, 50, 2); },
        [&] { return L_CombineBitmap(&t, 0, 0, width, height, w, 0, 0, CB_OP_AVERAGE); },
        [&] { return L_UnsharpMaskBitmap(&t, 50, 7, 25, 2); },
        [&] { return L_UnsharpMaskBitmap(&t, 50, 7, 25, 2); },
        [&] { return L_ChangeBitmapSaturation(&t, 500); }, [&] { return L_CopyBitmap(w, &t); });
    if (t.Allocated()) L_FreeBitmap(&t);
    return status;
}

int Recipe14(BitmapHandle* w) { return L_ContourFilterBitmap(w, 50, 35, 15, 0); }

struct Recipe {
    const char* Name;
    int (*Run)(BitmapHandle*);
};

const Recipe Recipes[] = {
    {"MOSAIC", Recipe1},   {"INK", Recipe2},      {"OILIFY", Recipe3}, {"EMBOSS", Recipe4},
    {"POSTER", Recipe5},   {"SOLARIZE", Recipe6}, {"NOISE", Recipe7},  {"INVERT", Recipe8},
    {"BLACK", Recipe9},    {"SHARP", Recipe10},   {"MUDDY", Recipe11}, {"PENCIL", Recipe12},
    {"DENOISE", Recipe13}, {"EDGE", Recipe14},
};
static_assert(std::size(Recipes) == LastFilterRecipe - FirstFilterRecipe + 1);

}  // namespace

int ApplyFilterRecipe(BitmapHandle* w, int number) {
    if (!w || number < FirstFilterRecipe || number > LastFilterRecipe) return ERROR_INV_PARAMETER;
    if (!w->Allocated()) return ERROR_NO_BITMAP;
    return Recipes[number - FirstFilterRecipe].Run(w);
}

const char* FilterRecipeName(int number) {
    if (number < FirstFilterRecipe || number > LastFilterRecipe) return nullptr;
    return Recipes[number - FirstFilterRecipe].Name;
}
