#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/Colour.h"
#include "support/PhotoFixture.h"

namespace {

// A one-row 24-bit bitmap of the given colours.
BitmapHandle Row(const std::vector<ColorRef>& colours) {
    BitmapHandle b;
    EXPECT_EQ(L_CreateBitmap(&b, 1, int(colours.size()), 1, 24), SUCCESS);
    for (size_t i = 0; i < colours.size(); ++i)
        EXPECT_EQ(L_PutPixelColor(&b, int(i), 0, colours[i]), SUCCESS);
    return b;
}

std::vector<ColorRef> Colours(const BitmapHandle& b) {
    std::vector<ColorRef> out;
    for (int x = 0; x < b.Width; ++x) out.push_back(L_GetPixelColor(&b, x, 0));
    return out;
}

TEST(Colour, PointOperationsByHand) {
    const std::vector<ColorRef> in = {RGBColor(0, 63, 64), RGBColor(127, 128, 191),
                                      RGBColor(192, 254, 255)};
    struct Case {
        const char* Name;
        int (*Run)(BitmapHandle*);
        std::vector<ColorRef> Expected;
    } cases[] = {
        {"invert",
         [](BitmapHandle* b) { return L_InvertBitmap(b); },
         {RGBColor(255, 192, 191), RGBColor(128, 127, 64), RGBColor(63, 1, 0)}},
        // Four bands of 64 values: 0, 85, 170, 255.
        {"posterize 4",
         [](BitmapHandle* b) { return L_PosterizeBitmap(b, 4); },
         {RGBColor(0, 0, 85), RGBColor(85, 170, 170), RGBColor(255, 255, 255)}},
        {"posterize 2",
         [](BitmapHandle* b) { return L_PosterizeBitmap(b, 2); },
         {RGBColor(0, 0, 0), RGBColor(0, 255, 255), RGBColor(255, 255, 255)}},
        {"solarize 128",
         [](BitmapHandle* b) { return L_SolarizeBitmap(b, 128); },
         {RGBColor(0, 63, 64), RGBColor(127, 127, 64), RGBColor(63, 1, 0)}},
        {"solarize 0",
         [](BitmapHandle* b) { return L_SolarizeBitmap(b, 0); },
         {RGBColor(255, 192, 191), RGBColor(128, 127, 64), RGBColor(63, 1, 0)}},
        // −1000 leaves the luma: 0.299 r + 0.587 g + 0.114 b.
        {"saturation -1000",
         [](BitmapHandle* b) { return L_ChangeBitmapSaturation(b, -1000); },
         {RGBColor(44, 44, 44), RGBColor(135, 135, 135), RGBColor(236, 236, 236)}},
        // +500: c' = Y + 1.5 (c − Y), rounded half away from Y; Y = 44 for the first pixel.
        {"saturation +500",
         [](BitmapHandle* b) { return L_ChangeBitmapSaturation(b, 500); },
         {RGBColor(0, 73, 74), RGBColor(123, 124, 219), RGBColor(170, 255, 255)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        BitmapHandle b = Row(in);
        ASSERT_EQ(c.Run(&b), SUCCESS);
        EXPECT_EQ(b.BitsPerPixel, 24);
        EXPECT_EQ(Colours(b), c.Expected);
    }
}

TEST(Colour, AdjustmentsByHand) {
    const std::vector<ColorRef> in = {RGBColor(0, 63, 64), RGBColor(127, 128, 191),
                                      RGBColor(192, 254, 255)};
    struct Case {
        const char* Name;
        int (*Run)(BitmapHandle*);
        std::vector<ColorRef> Expected;
    } cases[] = {
        // 150 · 255 / 1000 = 38.25 → +38; −70 → −17.85 → −18.
        {"intensity +150",
         [](BitmapHandle* b) { return L_ChangeBitmapIntensity(b, 150); },
         {RGBColor(38, 101, 102), RGBColor(165, 166, 229), RGBColor(230, 255, 255)}},
        {"intensity -70",
         [](BitmapHandle* b) { return L_ChangeBitmapIntensity(b, -70); },
         {RGBColor(0, 45, 46), RGBColor(109, 110, 173), RGBColor(174, 236, 237)}},
        {"contrast -1000",
         [](BitmapHandle* b) { return L_ChangeBitmapContrast(b, -1000); },
         {RGBColor(128, 128, 128), RGBColor(128, 128, 128), RGBColor(128, 128, 128)}},
        // Factor 0.5 (halves rounded away from 128's side by lround) and 2.
        {"contrast -500",
         [](BitmapHandle* b) { return L_ChangeBitmapContrast(b, -500); },
         {RGBColor(64, 96, 96), RGBColor(128, 128, 160), RGBColor(160, 191, 192)}},
        {"contrast +500",
         [](BitmapHandle* b) { return L_ChangeBitmapContrast(b, 500); },
         {RGBColor(0, 0, 0), RGBColor(126, 128, 254), RGBColor(255, 255, 255)}},
        {"contrast +1000",
         [](BitmapHandle* b) { return L_ChangeBitmapContrast(b, 1000); },
         {RGBColor(0, 0, 0), RGBColor(0, 255, 255), RGBColor(255, 255, 255)}},
        {"gamma 100", [](BitmapHandle* b) { return L_GammaCorrectBitmap(b, 100); }, in},
        // Turning by 120° swaps the channels' roles: red to green, green to blue, blue to red.
        {"hue +1200",
         [](BitmapHandle* b) { return L_ChangeBitmapHue(b, 1200); },
         {RGBColor(64, 0, 63), RGBColor(191, 127, 128), RGBColor(255, 192, 254)}},
        {"hue -3600", [](BitmapHandle* b) { return L_ChangeBitmapHue(b, -3600); }, in},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        BitmapHandle b = Row(in);
        ASSERT_EQ(c.Run(&b), SUCCESS);
        EXPECT_EQ(Colours(b), c.Expected);
    }
    // Square root: 255·√(16/255) = 63.9, √(100/255) → 159.7, √(225/255) → 239.5.
    BitmapHandle g = Row({RGBColor(0, 16, 100), RGBColor(225, 255, 0)});
    ASSERT_EQ(L_GammaCorrectBitmap(&g, 200), SUCCESS);
    EXPECT_EQ(Colours(g), (std::vector<ColorRef>{RGBColor(0, 64, 160), RGBColor(240, 255, 0)}));
    // A colour between the primaries: hue 20°, turned by 120° to 140°.
    BitmapHandle h = Row({RGBColor(200, 100, 50), RGBColor(90, 90, 90)});
    ASSERT_EQ(L_ChangeBitmapHue(&h, 1200), SUCCESS);
    EXPECT_EQ(Colours(h), (std::vector<ColorRef>{RGBColor(50, 200, 100), RGBColor(90, 90, 90)}));
    ASSERT_EQ(L_ChangeBitmapHue(&h, -1200), SUCCESS);
    EXPECT_EQ(L_GetPixelColor(&h, 0, 0), RGBColor(200, 100, 50));
}

TEST(Colour, HalfToneIsOneBitWithTheBrightnessAsCoverage) {
    auto flat = [](int w, int h, int v) {
        BitmapHandle b;
        EXPECT_EQ(L_CreateBitmap(&b, 1, w, h, 24), SUCCESS);
        EXPECT_EQ(L_FillBitmap(&b, RGBColor(v, v, v)), SUCCESS);
        return b;
    };
    auto whiteShare = [](const BitmapHandle& b) {
        int white = 0;
        for (int y = 0; y < b.Height; ++y)
            for (int x = 0; x < b.Width; ++x) white += L_GetPixelColor(&b, x, y) == 0xFFFFFF;
        return double(white) / (b.Width * b.Height);
    };
    for (int type : {HT_VIEW, HT_PRINT}) {
        SCOPED_TRACE(type);
        BitmapHandle black = flat(16, 16, 0), white = flat(16, 16, 255);
        ASSERT_EQ(L_HalfToneBitmap(&black, type, 0, 1), SUCCESS);
        ASSERT_EQ(L_HalfToneBitmap(&white, type, 0, 1), SUCCESS);
        EXPECT_EQ(black.BitsPerPixel, 1);
        EXPECT_EQ(black.Palette, (ColorPalette{RgbQuad{0, 0, 0, 0}, RgbQuad{255, 255, 255, 0}}));
        EXPECT_EQ(whiteShare(black), 0.0);
        EXPECT_EQ(whiteShare(white), 1.0);
    }
    // The Bayer thresholds 2, 6, … 254 put exactly half of mid-grey at white.
    BitmapHandle grey = flat(16, 16, 128);
    ASSERT_EQ(L_HalfToneBitmap(&grey, HT_VIEW, 0, 1), SUCCESS);
    EXPECT_EQ(whiteShare(grey), 0.5);
    BitmapHandle light = flat(96, 96, 191);
    ASSERT_EQ(L_HalfToneBitmap(&light, HT_PRINT, 4500, 2), SUCCESS);
    EXPECT_NEAR(whiteShare(light), 0.75, 0.05);
}

TEST(Colour, RedEyeTurnsOnlyRedPixels) {
    // A pupil's red reflection, skin, and a white highlight.
    BitmapHandle b = Row({RGBColor(200, 40, 50), RGBColor(220, 160, 130), RGBColor(250, 250, 250)});
    BitmapHandle none = b;
    ASSERT_EQ(L_RemoveRedeyeBitmap(&b, RGBColor(255, 255, 255), 145, 100), SUCCESS);
    // Redness 200 − 45 ≥ 256 − 145: the pupil takes white shaded by (40 + 50) / 2.
    EXPECT_EQ(Colours(b), (std::vector<ColorRef>{RGBColor(45, 45, 45), RGBColor(220, 160, 130),
                                                 RGBColor(250, 250, 250)}));
    BitmapHandle brown = Row({RGBColor(200, 40, 50)});
    ASSERT_EQ(L_RemoveRedeyeBitmap(&brown, RGBColor(120, 80, 40), 145, 200), SUCCESS);
    // 120 · 45 / 255 · 2 = 42.4, 28.2, 14.1.
    EXPECT_EQ(L_GetPixelColor(&brown, 0, 0), RGBColor(42, 28, 14));
    ASSERT_EQ(L_RemoveRedeyeBitmap(&none, RGBColor(0, 0, 0), 0, 100), SUCCESS);
    EXPECT_EQ(L_GetPixelColor(&none, 0, 0), RGBColor(200, 40, 50));
}

TEST(Colour, PaletteBitmapsChangeThePaletteAndKeepTheIndices) {
    const BitmapHandle original = kivo::test::MakePhotoFixtureAtDepth(12, 9, 8);
    BitmapHandle b = original;
    ASSERT_EQ(L_InvertBitmap(&b), SUCCESS);
    ASSERT_EQ(b.BitsPerPixel, 8);
    for (int y = 0; y < 9; ++y) EXPECT_EQ(0, std::memcmp(b.Row(y), original.Row(y), 12));
    ASSERT_EQ(b.Palette.size(), original.Palette.size());
    for (size_t i = 0; i < b.Palette.size(); ++i) {
        EXPECT_EQ(b.Palette[i].Red, 255 - original.Palette[i].Red);
        EXPECT_EQ(b.Palette[i].Blue, 255 - original.Palette[i].Blue);
    }
}

TEST(Colour, SixteenBitAndAlphaPictures) {
    BitmapHandle b16 = kivo::test::MakePhotoFixtureAtDepth(6, 4, 16);
    const ColorRef before = L_GetPixelColor(&b16, 2, 1);
    ASSERT_EQ(L_InvertBitmap(&b16), SUCCESS);
    EXPECT_EQ(b16.BitsPerPixel, 24);
    EXPECT_EQ(L_GetPixelColor(&b16, 2, 1), 0xFFFFFFu ^ before);

    BitmapHandle b32 = kivo::test::MakePhotoFixtureAtDepth(6, 4, 32);
    const BitmapHandle original = b32;
    ASSERT_EQ(L_PosterizeBitmap(&b32, 3), SUCCESS);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(b32.Row(y)[4 * x + 3], original.Row(y)[4 * x + 3]);
}

TEST(Colour, GrayScaleGivesEightBitGreyFromAnyDepth) {
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(bpp);
        const BitmapHandle original = kivo::test::MakePhotoFixtureAtDepth(9, 5, bpp);
        BitmapHandle b = original;
        ASSERT_EQ(L_GrayScaleBitmap(&b, 8), SUCCESS);
        ASSERT_EQ(b.BitsPerPixel, 8);
        ASSERT_EQ(b.Palette.size(), 256u);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 9; ++x) {
                const ColorRef c = L_GetPixelColor(&original, x, y);
                const int luma =
                    (GetRValue(c) * 299 + GetGValue(c) * 587 + GetBValue(c) * 114 + 500) / 1000;
                EXPECT_EQ(L_GetPixelColor(&b, x, y), RGBColor(luma, luma, luma));
            }
    }
    BitmapHandle b = Row({0});
    EXPECT_EQ(L_GrayScaleBitmap(&b, 16), ERROR_INV_PARAMETER);
}

TEST(Colour, OutOfRangeArgumentsAreRefused) {
    BitmapHandle b = Row({RGBColor(1, 2, 3)});
    EXPECT_EQ(L_PosterizeBitmap(&b, 1), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_PosterizeBitmap(&b, 65), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_SolarizeBitmap(&b, 256), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_ChangeBitmapSaturation(&b, -1001), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_GetPixelColor(&b, 0, 0), RGBColor(1, 2, 3));
    BitmapHandle empty;
    EXPECT_EQ(L_InvertBitmap(&empty), ERROR_NO_BITMAP);
}

}  // namespace
