#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "kivo/imaging/Artistic.h"
#include "kivo/imaging/Bitmap.h"
#include "support/PhotoFixture.h"

namespace {

BitmapHandle Flat(int w, int h, ColorRef c) {
    BitmapHandle b;
    EXPECT_EQ(L_CreateBitmap(&b, 1, w, h, 24), SUCCESS);
    EXPECT_EQ(L_FillBitmap(&b, c), SUCCESS);
    return b;
}

TEST(Artistic, MosaicTilesTakeTheirMeanColourAlsoWhereCut) {
    const BitmapHandle original = kivo::test::MakePhotoFixture(8, 5);
    BitmapHandle b = original;
    ASSERT_EQ(L_MosaicBitmap(&b, 3), SUCCESS);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 8; ++x) {
            const int x0 = x / 3 * 3, y0 = y / 3 * 3;
            const int x1 = std::min(8, x0 + 3), y1 = std::min(5, y0 + 3);
            double sum[3] = {0, 0, 0};
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx) {
                    const ColorRef c = L_GetPixelColor(&original, sx, sy);
                    sum[0] += GetRValue(c);
                    sum[1] += GetGValue(c);
                    sum[2] += GetBValue(c);
                }
            const double n = (x1 - x0) * (y1 - y0);
            const ColorRef c = L_GetPixelColor(&b, x, y);
            EXPECT_NEAR(GetRValue(c), sum[0] / n, 0.5) << x << "," << y;
            EXPECT_NEAR(GetGValue(c), sum[1] / n, 0.5);
            EXPECT_NEAR(GetBValue(c), sum[2] / n, 0.5);
        }
}

TEST(Artistic, OilifyPaintsOverSpecksAndKeepsFlatAreas) {
    BitmapHandle b = Flat(15, 15, RGBColor(30, 120, 200));
    ASSERT_EQ(L_PutPixelColor(&b, 7, 7, RGBColor(250, 250, 10)), SUCCESS);
    ASSERT_EQ(L_OilifyBitmap(&b, 6), SUCCESS);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 15; ++x) ASSERT_EQ(L_GetPixelColor(&b, x, y), RGBColor(30, 120, 200));

    // Two halves: near the border each pixel takes the colour that fills most of its window.
    BitmapHandle halves = Flat(20, 10, RGBColor(0, 0, 0));
    for (int y = 0; y < 10; ++y)
        for (int x = 12; x < 20; ++x)
            ASSERT_EQ(L_PutPixelColor(&halves, x, y, RGBColor(255, 255, 255)), SUCCESS);
    ASSERT_EQ(L_OilifyBitmap(&halves, 6), SUCCESS);
    EXPECT_EQ(L_GetPixelColor(&halves, 10, 5), RGBColor(0, 0, 0));  // 5 of 7 columns black
    EXPECT_EQ(L_GetPixelColor(&halves, 13, 5), RGBColor(255, 255, 255));
}

TEST(Artistic, EmbossIsMidGreyOnFlatAreasAndLitFromItsDirection) {
    BitmapHandle flat = Flat(9, 9, RGBColor(10, 200, 90));
    ASSERT_EQ(L_EmbossBitmap(&flat, 1, 500), SUCCESS);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x)
            ASSERT_EQ(L_GetPixelColor(&flat, x, y), RGBColor(128, 128, 128));

    // Dark on the left, light on the right: lit from the east the step faces the light.
    BitmapHandle step = Flat(10, 6, RGBColor(50, 50, 50));
    for (int y = 0; y < 6; ++y)
        for (int x = 5; x < 10; ++x)
            ASSERT_EQ(L_PutPixelColor(&step, x, y, RGBColor(150, 150, 150)), SUCCESS);
    BitmapHandle east = step, west = step;
    ASSERT_EQ(L_EmbossBitmap(&east, 2, 500), SUCCESS);
    ASSERT_EQ(L_EmbossBitmap(&west, 6, 500), SUCCESS);
    // At x = 4 the three eastern neighbours are 150 and the three western 50: 128 + 300 / 2.
    EXPECT_EQ(L_GetPixelColor(&east, 4, 3), RGBColor(255, 255, 255));
    EXPECT_EQ(L_GetPixelColor(&west, 4, 3), RGBColor(0, 0, 0));
    EXPECT_EQ(L_GetPixelColor(&east, 1, 3), RGBColor(128, 128, 128));
    BitmapHandle shallow = step;
    ASSERT_EQ(L_EmbossBitmap(&shallow, 2, 100), SUCCESS);
    EXPECT_EQ(L_GetPixelColor(&shallow, 4, 3), RGBColor(158, 158, 158));
}

}  // namespace
