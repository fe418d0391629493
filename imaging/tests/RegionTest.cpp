#include <gtest/gtest.h>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/Colour.h"
#include "kivo/imaging/Region.h"
#include "support/PhotoFixture.h"

namespace {

// The ellipse inscribed in (2, 1)–(12, 7): centre (7, 4), half-axes 5 and 3, by pixel centres.
bool InEllipse(int x, int y) {
    const double u = (x + 0.5 - 7) / 5, v = (y + 0.5 - 4) / 3;
    return u * u + v * v <= 1;
}

TEST(Region, EllipseMembershipBoundsOffsetAndFree) {
    BitmapHandle b = kivo::test::MakePhotoFixture(16, 10);
    EXPECT_FALSE(L_BitmapHasRgn(&b));
    const BitmapRect rect{12, 7, 2, 1};  // corners in either order
    ASSERT_EQ(L_SetBitmapRgnEllipse(&b, nullptr, &rect, L_RGN_SET), SUCCESS);
    ASSERT_TRUE(L_BitmapHasRgn(&b));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(L_IsPtInBitmapRgn(&b, y, x), InEllipse(x, y)) << x << "," << y;
    EXPECT_TRUE(L_IsPtInBitmapRgn(&b, 4, 11));
    EXPECT_FALSE(L_IsPtInBitmapRgn(&b, 4, 12));
    BitmapRect bounds;
    ASSERT_EQ(L_GetBitmapRgnBounds(&b, nullptr, &bounds), SUCCESS);
    EXPECT_EQ(bounds, (BitmapRect{2, 1, 12, 7}));

    // Two rows down and three columns left: partly off the left edge, nothing lost.
    ASSERT_EQ(L_OffsetBitmapRgn(&b, 2, -3), SUCCESS);
    ASSERT_EQ(L_GetBitmapRgnBounds(&b, nullptr, &bounds), SUCCESS);
    EXPECT_EQ(bounds, (BitmapRect{-1, 3, 9, 9}));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(L_IsPtInBitmapRgn(&b, y, x), InEllipse(x + 3, y - 2));
    ASSERT_EQ(L_OffsetBitmapRgn(&b, -2, 3), SUCCESS);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(L_IsPtInBitmapRgn(&b, y, x), InEllipse(x, y));

    ASSERT_EQ(L_FreeBitmapRgn(&b), SUCCESS);
    EXPECT_FALSE(L_BitmapHasRgn(&b));
    ASSERT_EQ(L_GetBitmapRgnBounds(&b, nullptr, &bounds), SUCCESS);
    EXPECT_EQ(bounds, BitmapRect{});
}

TEST(Region, EmptyEllipseIsARegionWithNothingInside) {
    BitmapHandle b = kivo::test::MakePhotoFixture(8, 8);
    const BitmapHandle original = b;
    const BitmapRect empty{0, 0, 0, 0};
    ASSERT_EQ(L_SetBitmapRgnEllipse(&b, nullptr, &empty, L_RGN_SET), SUCCESS);
    EXPECT_TRUE(L_BitmapHasRgn(&b));
    EXPECT_FALSE(L_IsPtInBitmapRgn(&b, 0, 0));
    ASSERT_EQ(L_InvertBitmap(&b), SUCCESS);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(L_GetPixelColor(&b, x, y), L_GetPixelColor(&original, x, y));
}

TEST(Region, CombineModesAndTransform) {
    const BitmapRect a{0, 0, 10, 10}, c{5, 0, 15, 10};
    struct Case {
        int Mode;
        bool (*Expect)(bool, bool);
    } cases[] = {
        {L_RGN_AND, [](bool p, bool q) { return p && q; }},
        {L_RGN_OR, [](bool p, bool q) { return p || q; }},
        {L_RGN_XOR, [](bool p, bool q) { return p != q; }},
        {L_RGN_ANDNOTRGN, [](bool p, bool q) { return p && !q; }},
        {L_RGN_SET, [](bool, bool q) { return q; }},
    };
    BitmapHandle onlyA = kivo::test::MakePhotoFixture(16, 10), onlyC = onlyA;
    ASSERT_EQ(L_SetBitmapRgnEllipse(&onlyA, nullptr, &a, L_RGN_SET), SUCCESS);
    ASSERT_EQ(L_SetBitmapRgnEllipse(&onlyC, nullptr, &c, L_RGN_SET), SUCCESS);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.Mode);
        BitmapHandle b = onlyA;
        ASSERT_EQ(L_SetBitmapRgnEllipse(&b, nullptr, &c, k.Mode), SUCCESS);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 16; ++x)
                ASSERT_EQ(L_IsPtInBitmapRgn(&b, y, x), k.Expect(L_IsPtInBitmapRgn(&onlyA, y, x),
                                                                L_IsPtInBitmapRgn(&onlyC, y, x)));
    }
    // Display coordinates at twice the bitmap's scale, shifted by (4, 2).
    RgnXForm zoom;
    zoom.XScalarNum = zoom.YScalarNum = 2;
    zoom.XOffset = 4;
    zoom.YOffset = 2;
    BitmapHandle b = onlyA;
    const BitmapRect shown{4 + 0, 2 + 0, 4 + 20, 2 + 20};
    ASSERT_EQ(L_SetBitmapRgnEllipse(&b, &zoom, &shown, L_RGN_SET), SUCCESS);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(L_IsPtInBitmapRgn(&b, y, x), L_IsPtInBitmapRgn(&onlyA, y, x));
    BitmapRect bounds;
    ASSERT_EQ(L_GetBitmapRgnBounds(&b, &zoom, &bounds), SUCCESS);
    EXPECT_EQ(bounds, shown);
    EXPECT_EQ(L_SetBitmapRgnEllipse(&b, nullptr, &a, 2), ERROR_INV_PARAMETER);
}

TEST(Region, AnEffectChangesExactlyThePixelsInsideAMovedEllipse) {
    const BitmapHandle original = kivo::test::MakePhotoFixture(16, 10);
    BitmapHandle b = original;
    const BitmapRect rect{2, 1, 12, 7};
    ASSERT_EQ(L_SetBitmapRgnEllipse(&b, nullptr, &rect, L_RGN_SET), SUCCESS);
    ASSERT_EQ(L_OffsetBitmapRgn(&b, 5, -5), SUCCESS);  // hangs off the left and bottom edges
    ASSERT_EQ(L_InvertBitmap(&b), SUCCESS);
    int inside = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 16; ++x) {
            const ColorRef o = L_GetPixelColor(&original, x, y);
            const bool in = L_IsPtInBitmapRgn(&b, y, x);
            inside += in;
            ASSERT_EQ(L_GetPixelColor(&b, x, y), in ? (0xFFFFFFu ^ o) : o) << x << "," << y;
        }
    EXPECT_GT(inside, 5);
}

}  // namespace
