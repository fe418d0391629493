#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/Combine.h"
#include "support/PhotoFixture.h"

namespace {

BitmapHandle Row(const std::vector<ColorRef>& colours, int bpp = 24) {
    BitmapHandle b;
    EXPECT_EQ(L_CreateBitmap(&b, 1, int(colours.size()), 1, bpp), SUCCESS);
    for (size_t i = 0; i < colours.size(); ++i)
        EXPECT_EQ(L_PutPixelColor(&b, int(i), 0, colours[i]), SUCCESS);
    return b;
}

// Destination and source channel pairs that reach every clamp and the zero divisors.
const std::vector<ColorRef> Dst = {RGBColor(200, 100, 0), RGBColor(10, 0, 255)};
const std::vector<ColorRef> Src = {RGBColor(100, 200, 50), RGBColor(0, 0, 128)};

TEST(Combine, EveryOperationCodeByHand) {
    struct Case {
        int Op;
        std::vector<ColorRef> Expected;
    } cases[] = {
        {CB_OP_ADD, {RGBColor(255, 255, 50), RGBColor(10, 0, 255)}},
        {CB_OP_AND, {RGBColor(200 & 100, 100 & 200, 0), RGBColor(0, 0, 128)}},
        {CB_OP_OR, {RGBColor(200 | 100, 100 | 200, 50), RGBColor(10, 0, 255)}},
        {CB_OP_XOR, {RGBColor(200 ^ 100, 100 ^ 200, 50), RGBColor(10, 0, 127)}},
        {CB_OP_SUBSRC, {RGBColor(100, 0, 0), RGBColor(10, 0, 127)}},
        {CB_OP_SUBDST, {RGBColor(0, 100, 50), RGBColor(0, 0, 0)}},
        // d·s/255 rounded: 20000/255 = 78.4, 32640/255 = 128.
        {CB_OP_MULTIPLY, {RGBColor(78, 78, 0), RGBColor(0, 0, 128)}},
        // d·255/s: 510, 127.5 → 128, 0; a zero divisor gives white.
        {CB_OP_DIVDST, {RGBColor(255, 128, 0), RGBColor(255, 255, 255)}},
        // s·255/d: 127.5 → 128, 510, s/0; 0/10, 0/0, 128·255/255.
        {CB_OP_DIVSRC, {RGBColor(128, 255, 255), RGBColor(0, 255, 128)}},
        {CB_OP_AVERAGE, {RGBColor(150, 150, 25), RGBColor(5, 0, 192)}},
        {CB_OP_MINIMUM, {RGBColor(100, 100, 0), RGBColor(0, 0, 128)}},
        {CB_OP_MAXIMUM, {RGBColor(200, 200, 50), RGBColor(10, 0, 255)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Op);
        BitmapHandle d = Row(Dst);
        const BitmapHandle s = Row(Src);
        ASSERT_EQ(L_CombineBitmap(&d, 0, 0, 2, 1, &s, 0, 0, c.Op), SUCCESS);
        EXPECT_EQ(L_GetPixelColor(&d, 0, 0), c.Expected[0]);
        EXPECT_EQ(L_GetPixelColor(&d, 1, 0), c.Expected[1]);
    }
    BitmapHandle d = Row(Dst);
    const BitmapHandle s = Row(Src);
    EXPECT_EQ(L_CombineBitmap(&d, 0, 0, 2, 1, &s, 0, 0, 0x0C00), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_CombineBitmap(&d, 0, 0, 2, 1, &s, 0, 0, 0x0101), ERROR_INV_PARAMETER);
}

TEST(Combine, RectanglesAreClippedToBothBitmaps) {
    const BitmapHandle src = kivo::test::MakePhotoFixture(5, 4, 2);
    const BitmapHandle original = kivo::test::MakePhotoFixture(8, 6);
    BitmapHandle dst = original;
    // Asked: 10 × 10 at dst (6, -1) from src (0, 0); what lies in both is dst x 6..7, y 0..2
    // from src x 0..1, y 1..3.
    ASSERT_EQ(L_CombineBitmap(&dst, 6, -1, 10, 10, &src, 0, 0, CB_OP_MAXIMUM), SUCCESS);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const ColorRef d = L_GetPixelColor(&original, x, y);
            ColorRef expected = d;
            if (x >= 6 && y <= 2) {
                const ColorRef s = L_GetPixelColor(&src, x - 6, y + 1);
                expected = RGBColor(std::max(GetRValue(d), GetRValue(s)),
                                    std::max(GetGValue(d), GetGValue(s)),
                                    std::max(GetBValue(d), GetBValue(s)));
            }
            EXPECT_EQ(L_GetPixelColor(&dst, x, y), expected) << x << "," << y;
        }
    // Nothing lies in both (dst x 6.. needs src x -2..): nothing changes.
    const BitmapHandle before = dst;
    ASSERT_EQ(L_CombineBitmap(&dst, 6, 0, 10, 10, &src, -2, 0, CB_OP_ADD), SUCCESS);
    ASSERT_EQ(L_CombineBitmap(&dst, 8, 0, 4, 4, &src, 0, 0, CB_OP_ADD), SUCCESS);
    for (int y = 0; y < 6; ++y) EXPECT_EQ(0, std::memcmp(dst.Row(y), before.Row(y), 8 * 3));
}

TEST(Combine, SourceAtAnyDepthAndTheSameHandle) {
    BitmapHandle d = Row(Dst);
    const BitmapHandle s8 = Row(Src, 8);  // a grey-ramp palette: the nearest greys
    const ColorRef grey0 = L_GetPixelColor(&s8, 0, 0);
    ASSERT_EQ(L_CombineBitmap(&d, 0, 0, 1, 1, &s8, 0, 0, CB_OP_MINIMUM), SUCCESS);
    EXPECT_EQ(L_GetPixelColor(&d, 0, 0), RGBColor(std::min(200, int(GetRValue(grey0))),
                                                  std::min(100, int(GetGValue(grey0))), 0));

    // Combined with itself shifted by one: each pixel added to its left neighbour as it was.
    BitmapHandle self = Row({RGBColor(10, 20, 30), RGBColor(1, 2, 3), RGBColor(100, 100, 100)});
    ASSERT_EQ(L_CombineBitmap(&self, 1, 0, 2, 1, &self, 0, 0, CB_OP_ADD), SUCCESS);
    EXPECT_EQ(L_GetPixelColor(&self, 1, 0), RGBColor(11, 22, 33));
    EXPECT_EQ(L_GetPixelColor(&self, 2, 0), RGBColor(101, 102, 103));
}

TEST(Combine, AlphaOfTheDestinationIsKept) {
    BitmapHandle d = kivo::test::MakePhotoFixtureAtDepth(6, 3, 32);
    const BitmapHandle original = d;
    const BitmapHandle s = kivo::test::MakePhotoFixture(6, 3, 3);
    ASSERT_EQ(L_CombineBitmap(&d, 0, 0, 6, 3, &s, 0, 0, CB_OP_AVERAGE), SUCCESS);
    ASSERT_EQ(d.BitsPerPixel, 32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(d.Row(y)[4 * x + 3], original.Row(y)[4 * x + 3]);
}

TEST(Combine, FeatherAlphaBlendMixesByTheMask) {
    BitmapHandle d = Row({RGBColor(100, 100, 100), RGBColor(100, 100, 100), RGBColor(100, 100, 100),
                          RGBColor(1, 2, 3)});
    const BitmapHandle s =
        Row({RGBColor(200, 0, 50), RGBColor(200, 0, 50), RGBColor(200, 0, 50), RGBColor(9, 9, 9)});
    BitmapHandle mask;
    ASSERT_EQ(L_CreateBitmap(&mask, 1, 4, 1, 8), SUCCESS);
    const uint8_t m[4] = {0, 255, 128, 255};
    std::memcpy(mask.Row(0), m, 4);
    // Only the first three pixels are asked for.
    ASSERT_EQ(L_FeatherAlphaBlendBitmap(&d, 0, 0, 3, 1, &s, 0, 0, &mask), SUCCESS);
    EXPECT_EQ(L_GetPixelColor(&d, 0, 0), RGBColor(100, 100, 100));
    EXPECT_EQ(L_GetPixelColor(&d, 1, 0), RGBColor(200, 0, 50));
    // 100 + (s − 100) · 128/255: 150.2, 49.8, 74.9.
    EXPECT_EQ(L_GetPixelColor(&d, 2, 0), RGBColor(150, 50, 75));
    EXPECT_EQ(L_GetPixelColor(&d, 3, 0), RGBColor(1, 2, 3));

    // Placed at an offset: the source and mask are read from their own origin.
    BitmapHandle big = kivo::test::MakePhotoFixture(6, 4);
    const BitmapHandle before = big;
    ASSERT_EQ(L_FeatherAlphaBlendBitmap(&big, 4, 2, 4, 1, &s, 0, 0, &mask), SUCCESS);
    EXPECT_EQ(L_GetPixelColor(&big, 4, 2), L_GetPixelColor(&before, 4, 2));
    EXPECT_EQ(L_GetPixelColor(&big, 5, 2), RGBColor(200, 0, 50));
    EXPECT_EQ(L_GetPixelColor(&big, 5, 1), L_GetPixelColor(&before, 5, 1));
    BitmapHandle wrongMask = Row({0});
    EXPECT_EQ(L_FeatherAlphaBlendBitmap(&big, 0, 0, 1, 1, &s, 0, 0, &wrongMask),
              ERROR_INV_PARAMETER);
}

}  // namespace
