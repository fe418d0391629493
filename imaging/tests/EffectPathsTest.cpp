// The fast paths of the effects against what they stand for: point operations changed in place
// (no status callback) against the same operations built aside (a callback installed), and the
// banded, paired and running-sum convolution of the blurs against a plain fixed-point
// convolution written out here, on pictures tall enough to be split over threads and chunks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "effects/EffectSupport.h"
#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/Blur.h"
#include "kivo/imaging/Colour.h"
#include "support/PhotoFixture.h"

namespace {

bool SamePixels(const BitmapHandle& a, const BitmapHandle& b) {
    if (a.Width != b.Width || a.Height != b.Height || a.BitsPerPixel != b.BitsPerPixel)
        return false;
    const size_t used = size_t(a.Width) * size_t(a.BitsPerPixel / 8);
    for (int y = 0; y < a.Height; ++y)
        if (std::memcmp(a.Row(y), b.Row(y), used) != 0) return false;
    return true;
}

int Calls = 0;
int Continue(int, void*) {
    ++Calls;
    return 1;
}
int Stop(int, void*) {
    ++Calls;
    return 0;
}

// Installs a callback for the life of the object and puts the previous one back.
struct CallbackScope {
    StatusCallback Previous;
    explicit CallbackScope(StatusCallback cb) : Previous(L_SetStatusCallBack(cb)) { Calls = 0; }
    ~CallbackScope() { L_SetStatusCallBack(Previous); }
};

struct PointCase {
    const char* Name;
    std::function<int(BitmapHandle*)> Apply;
};

const PointCase PointCases[] = {
    {"invert", [](BitmapHandle* h) { return L_InvertBitmap(h); }},
    {"posterize 5", [](BitmapHandle* h) { return L_PosterizeBitmap(h, 5); }},
    {"solarize 100", [](BitmapHandle* h) { return L_SolarizeBitmap(h, 100); }},
    {"intensity -230", [](BitmapHandle* h) { return L_ChangeBitmapIntensity(h, -230); }},
    {"contrast 400", [](BitmapHandle* h) { return L_ChangeBitmapContrast(h, 400); }},
    {"gamma 0.7", [](BitmapHandle* h) { return L_GammaCorrectBitmap(h, 70); }},
    {"hue +137", [](BitmapHandle* h) { return L_ChangeBitmapHue(h, 1370); }},
    {"saturation +80 %", [](BitmapHandle* h) { return L_ChangeBitmapSaturation(h, 800); }},
    {"saturation -45 %", [](BitmapHandle* h) { return L_ChangeBitmapSaturation(h, -450); }},
};

TEST(EffectPaths, PointOperationsInPlaceMatchTheResultBuiltAside) {
    for (int bpp : {24, 32}) {
        const BitmapHandle original = kivo::test::MakePhotoFixtureAtDepth(67, 150, bpp, 3);
        for (const PointCase& c : PointCases) {
            SCOPED_TRACE(std::string(c.Name) + " at " + std::to_string(bpp) + " bits");
            BitmapHandle inPlace = original;
            ASSERT_EQ(c.Apply(&inPlace), SUCCESS);
            BitmapHandle aside = original;
            {
                CallbackScope scope(Continue);
                ASSERT_EQ(c.Apply(&aside), SUCCESS);
                EXPECT_GT(Calls, 0);  // the callback saw the aside path run
            }
            EXPECT_TRUE(SamePixels(inPlace, aside));
            EXPECT_FALSE(SamePixels(inPlace, original));
        }
    }
}

TEST(EffectPaths, AnAbortedPointOperationLeavesThePictureAsItWas) {
    const BitmapHandle original = kivo::test::MakePhotoFixtureAtDepth(64, 300, 24, 5);
    for (const PointCase& c : PointCases) {
        SCOPED_TRACE(c.Name);
        BitmapHandle b = original;
        CallbackScope scope(Stop);
        EXPECT_EQ(c.Apply(&b), ERROR_USER_ABORT);
        EXPECT_TRUE(SamePixels(b, original));
    }
}

// Table lookups run 64 bytes at a time where the processor allows: rows of 67 pixels give whole
// blocks and a tail, and at 32 bits every fourth byte (alpha) must come through untouched.
TEST(EffectPaths, TableLookupsMatchTheFormulaOnEveryByte) {
    for (int bpp : {24, 32}) {
        SCOPED_TRACE(std::to_string(bpp) + " bits");
        const BitmapHandle original = kivo::test::MakePhotoFixtureAtDepth(67, 40, bpp, 9);
        BitmapHandle inverted = original, solarized = original;
        ASSERT_EQ(L_InvertBitmap(&inverted), SUCCESS);
        ASSERT_EQ(L_SolarizeBitmap(&solarized, 100), SUCCESS);
        const int n = bpp / 8;
        int wrong = 0;
        for (int y = 0; y < original.Height; ++y)
            for (int i = 0; i < original.Width * n; ++i) {
                const int v = original.Row(y)[i];
                const bool alpha = n == 4 && i % 4 == 3;
                wrong += inverted.Row(y)[i] != (alpha ? v : 255 - v);
                wrong += solarized.Row(y)[i] != (alpha || v < 100 ? v : 255 - v);
            }
        EXPECT_EQ(wrong, 0);
    }
}

// The blurs' definition written plainly: each channel byte convolved along the row with the
// fixed-point weights (edge pixels repeated), rounded to a byte, then the same down the columns.
BitmapHandle PlainConvolution(const BitmapHandle& src, const std::vector<int>& weights) {
    const int r = int(weights.size() / 2), n = src.BitsPerPixel / 8;
    BitmapHandle across = src, out = src;
    for (int y = 0; y < src.Height; ++y)
        for (int x = 0; x < src.Width; ++x)
            for (int c = 0; c < n; ++c) {
                int sum = 1 << 13;
                for (int k = -r; k <= r; ++k)
                    sum += weights[size_t(k + r)] *
                           src.Row(y)[std::clamp(x + k, 0, src.Width - 1) * n + c];
                across.Row(y)[x * n + c] = uint8_t(std::clamp(sum >> 14, 0, 255));
            }
    for (int y = 0; y < src.Height; ++y)
        for (int x = 0; x < src.Width; ++x)
            for (int c = 0; c < n; ++c) {
                int sum = 1 << 13;
                for (int k = -r; k <= r; ++k)
                    sum += weights[size_t(k + r)] *
                           across.Row(std::clamp(y + k, 0, src.Height - 1))[x * n + c];
                out.Row(y)[x * n + c] = uint8_t(std::clamp(sum >> 14, 0, 255));
            }
    return out;
}

TEST(EffectPaths, BlursMatchAPlainFixedPointConvolution) {
    struct Case {
        const char* Name;
        int Argument;
        bool Gaussian;
    };
    // Radius 1 and 20 (one pixel and two), a kernel taller than the picture; box sizes from the
    // single pixel (no side taps) through even sizes to a window of 57.
    const Case cases[] = {{"gaussian 1", 1, true},       {"gaussian 20", 20, true},
                          {"gaussian 1000", 1000, true}, {"box 1", 1, false},
                          {"box 2", 2, false},           {"box 11", 11, false},
                          {"box 57", 57, false}};
    for (int bpp : {24, 32}) {
        // 301 rows: several progress chunks, each split over the threads, with an odd remainder.
        const BitmapHandle original = kivo::test::MakePhotoFixtureAtDepth(41, 301, bpp, 7);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.Name) + " at " + std::to_string(bpp) + " bits");
            BitmapHandle b = original;
            const std::vector<int> weights = c.Gaussian
                                                 ? kivo::effects::GaussianWeights(c.Argument / 10.0)
                                                 : kivo::effects::BoxWeights(c.Argument / 2);
            ASSERT_EQ(c.Gaussian ? L_GaussianFilterBitmap(&b, c.Argument)
                                 : L_AverageFilterBitmap(&b, c.Argument),
                      SUCCESS);
            EXPECT_TRUE(SamePixels(b, PlainConvolution(original, weights)));
        }
    }
}

}  // namespace
