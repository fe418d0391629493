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
