#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/Geometry.h"
#include "support/PhotoFixture.h"
#include "support/PnmWrite.h"

namespace {

using kivo::test::MakePhotoFixture;
using kivo::test::MakePhotoFixtureAtDepth;

// Whole stored rows (without padding) and palettes equal.
bool SamePixels(const BitmapHandle& a, const BitmapHandle& b) {
    if (a.Width != b.Width || a.Height != b.Height || a.BitsPerPixel != b.BitsPerPixel)
        return false;
    if (a.Palette != b.Palette) return false;
    const size_t bits = size_t(a.Width) * size_t(a.BitsPerPixel);
    for (int y = 0; y < a.Height; ++y) {
        if (std::memcmp(a.Row(y), b.Row(y), bits / 8)) return false;
        if (bits % 8) {
            const uint8_t mask = uint8_t(0xFF << (8 - bits % 8));
            if ((a.Row(y)[bits / 8] & mask) != (b.Row(y)[bits / 8] & mask)) return false;
        }
    }
    return true;
}

const int AllDepths[] = {1, 4, 8, 16, 24, 32};

TEST(Geometry, QuarterTurnsMovePixelsExactlyAtEveryDepth) {
    for (int bpp : AllDepths) {
        SCOPED_TRACE("bpp " + std::to_string(bpp));
        // Odd sizes, and widths that end inside a byte at 1 and 4 bits.
        const BitmapHandle original = MakePhotoFixtureAtDepth(13, 7, bpp);
        BitmapHandle b = original;
        ASSERT_EQ(L_RotateBitmap(&b, 9000, ROTATE_RESIZE, 0), SUCCESS);
        EXPECT_EQ(b.Width, 7);
        EXPECT_EQ(b.Height, 13);
        EXPECT_EQ(b.BitsPerPixel, bpp);
        // Clockwise: the old bottom-left corner is the new top-left.
        for (int y = 0; y < b.Height; ++y)
            for (int x = 0; x < b.Width; ++x)
                ASSERT_EQ(L_GetPixelColor(&b, x, y), L_GetPixelColor(&original, y, 6 - x))
                    << x << "," << y;
        for (int i = 0; i < 3; ++i) ASSERT_EQ(L_RotateBitmap(&b, 9000, ROTATE_RESIZE, 0), SUCCESS);
        EXPECT_TRUE(SamePixels(b, original));

        BitmapHandle half = original, flipped = original;
        ASSERT_EQ(L_RotateBitmap(&half, 18000, ROTATE_RESIZE, 0), SUCCESS);
        ASSERT_EQ(L_FlipBitmap(&flipped), SUCCESS);
        ASSERT_EQ(L_ReverseBitmap(&flipped), SUCCESS);
        EXPECT_TRUE(SamePixels(half, flipped));

        BitmapHandle left = original;
        ASSERT_EQ(L_RotateBitmap(&left, -9000, ROTATE_RESIZE, 0), SUCCESS);
        ASSERT_EQ(L_RotateBitmap(&left, 27000, ROTATE_RESIZE, 0), SUCCESS);
        EXPECT_TRUE(SamePixels(left, half));
    }
}

TEST(Geometry, QuarterTurnWithoutResizeKeepsTheSizeCentredAndFilled) {
    const BitmapHandle original = MakePhotoFixture(10, 4);
    BitmapHandle b = original;
    const ColorRef fill = RGBColor(1, 2, 3);
    ASSERT_EQ(L_RotateBitmap(&b, 9000, 0, fill), SUCCESS);
    ASSERT_EQ(b.Width, 10);
    ASSERT_EQ(b.Height, 4);
    // The turned picture is 4 wide and 10 high, centred: columns 3..6, rows 3..6 of it.
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 10; ++x) {
            if (x < 3 || x > 6) {
                EXPECT_EQ(L_GetPixelColor(&b, x, y), fill);
            } else {
                const int tx = x - 3, ty = y + 3;
                EXPECT_EQ(L_GetPixelColor(&b, x, y), L_GetPixelColor(&original, ty, 3 - tx));
            }
        }
    }
}

TEST(Geometry, FlipAndReverseAreInvolutionsAtEveryDepth) {
    for (int bpp : AllDepths) {
        SCOPED_TRACE("bpp " + std::to_string(bpp));
        const BitmapHandle original = MakePhotoFixtureAtDepth(11, 6, bpp);
        BitmapHandle f = original, r = original;
        ASSERT_EQ(L_FlipBitmap(&f), SUCCESS);
        ASSERT_EQ(L_ReverseBitmap(&r), SUCCESS);
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 11; ++x) {
                ASSERT_EQ(L_GetPixelColor(&f, x, y), L_GetPixelColor(&original, x, 5 - y));
                ASSERT_EQ(L_GetPixelColor(&r, x, y), L_GetPixelColor(&original, 10 - x, y));
            }
        }
        ASSERT_EQ(L_FlipBitmap(&f), SUCCESS);
        ASSERT_EQ(L_ReverseBitmap(&r), SUCCESS);
        EXPECT_TRUE(SamePixels(f, original));
        EXPECT_TRUE(SamePixels(r, original));
    }
}

TEST(Geometry, RotateWithResizeHoldsTheWholePicture) {
    struct Case {
        int Angle, Width, Height;
    } cases[] = {
        {4500, 107, 107},                   // 100·cos 45° + 50·sin 45° = 106.07
        {3000, 112, 94},                    // 86.6 + 25, 50 + 43.3
        {-3000, 112, 94}, {1250, 109, 71},  // 97.63 + 10.82, 21.64 + 48.81
        {9000, 50, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Angle);
        BitmapHandle b = MakePhotoFixture(100, 50);
        ASSERT_EQ(L_RotateBitmap(&b, c.Angle, ROTATE_RESIZE, 0), SUCCESS);
        EXPECT_EQ(b.Width, c.Width);
        EXPECT_EQ(b.Height, c.Height);
        BitmapHandle kept = MakePhotoFixture(100, 50);
        ASSERT_EQ(L_RotateBitmap(&kept, c.Angle, 0, 0), SUCCESS);
        EXPECT_EQ(kept.Width, 100);
        EXPECT_EQ(kept.Height, 50);
    }
}

TEST(Geometry, RotateAndBackRestoresTheMiddle) {
    const BitmapHandle original = MakePhotoFixture(120, 90);
    BitmapHandle b = original;
    ASSERT_EQ(L_RotateBitmap(&b, 1250, 0, RGBColor(255, 0, 0)), SUCCESS);
    // The corners are cut away and filled.
    EXPECT_EQ(L_GetPixelColor(&b, 0, 0), RGBColor(255, 0, 0));
    ASSERT_EQ(L_RotateBitmap(&b, -1250, 0, 0), SUCCESS);
    // Two bilinear passes blur a little; the middle must still match closely.
    BitmapHandle middle, expected;
    ASSERT_EQ(L_CopyBitmapRect(&middle, &b, 30, 25, 60, 40), SUCCESS);
    ASSERT_EQ(L_CopyBitmapRect(&expected, &original, 30, 25, 60, 40), SUCCESS);
    EXPECT_GT(kivo::test::Psnr(middle, expected), 30.0);
}

TEST(Geometry, BilinearRotateOfAFlatPictureStaysFlatAndTurnsPaletteTo24Bits) {
    BitmapHandle b;
    ASSERT_EQ(L_CreateBitmap(&b, 1, 40, 30, 8), SUCCESS);
    ASSERT_EQ(L_FillBitmap(&b, RGBColor(200, 200, 200)), SUCCESS);
    ASSERT_EQ(L_RotateBitmap(&b, 2000, ROTATE_RESIZE, RGBColor(0, 0, 255)), SUCCESS);
    EXPECT_EQ(b.BitsPerPixel, 24);
    EXPECT_EQ(L_GetPixelColor(&b, b.Width / 2, b.Height / 2), RGBColor(200, 200, 200));
    EXPECT_EQ(L_GetPixelColor(&b, 0, 0), RGBColor(0, 0, 255));
}

TEST(Geometry, ShearZeroChangesNothing) {
    for (int bpp : AllDepths) {
        const BitmapHandle original = MakePhotoFixtureAtDepth(9, 5, bpp);
        for (bool horizontal : {true, false}) {
            BitmapHandle b = original;
            ASSERT_EQ(L_ShearBitmap(&b, 0, horizontal, RGBColor(255, 255, 255)), SUCCESS);
            EXPECT_TRUE(SamePixels(b, original)) << bpp;
        }
    }
}

TEST(Geometry, ShearBy45DegreesSlidesEachLineByWholePixels) {
    const BitmapHandle original = MakePhotoFixture(6, 4);
    const ColorRef fill = RGBColor(9, 8, 7);
    BitmapHandle h = original, v = original;
    ASSERT_EQ(L_ShearBitmap(&h, 4500, true, fill), SUCCESS);
    ASSERT_EQ(L_ShearBitmap(&v, 4500, false, fill), SUCCESS);
    ASSERT_EQ(h.Width, 6 + 3);
    ASSERT_EQ(h.Height, 4);
    ASSERT_EQ(v.Width, 6);
    ASSERT_EQ(v.Height, 4 + 5);
    // Horizontal: the top row slides right by 3, the bottom row stays.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < h.Width; ++x) {
            const int sx = x - (3 - y);
            EXPECT_EQ(L_GetPixelColor(&h, x, y),
                      sx >= 0 && sx < 6 ? L_GetPixelColor(&original, sx, y) : fill);
        }
    // Vertical: the left column slides down by 5, the right one stays.
    for (int y = 0; y < v.Height; ++y)
        for (int x = 0; x < 6; ++x) {
            const int sy = y - (5 - x);
            EXPECT_EQ(L_GetPixelColor(&v, x, y),
                      sy >= 0 && sy < 4 ? L_GetPixelColor(&original, x, sy) : fill);
        }
}

TEST(Geometry, SizeGivesTheAskedSizeByEveryMethod) {
    for (int method : {SIZE_NORMAL, SIZE_FAVORBLACK, SIZE_RESAMPLE, SIZE_BICUBIC}) {
        for (int bpp : AllDepths) {
            SCOPED_TRACE("method " + std::to_string(method) + " bpp " + std::to_string(bpp));
            for (auto [w, h] : {std::pair{37, 11}, std::pair{3, 50}, std::pair{1, 1}}) {
                BitmapHandle b = MakePhotoFixtureAtDepth(20, 15, bpp);
                ASSERT_EQ(L_SizeBitmap(&b, w, h, method), SUCCESS);
                EXPECT_EQ(b.Width, w);
                EXPECT_EQ(b.Height, h);
                const bool moves = method == SIZE_NORMAL || method == SIZE_FAVORBLACK;
                EXPECT_EQ(b.BitsPerPixel, moves || bpp >= 24 ? bpp : 24);
            }
        }
    }
}

TEST(Geometry, NearestDoublingAndHalvingAreExact) {
    const BitmapHandle original = MakePhotoFixtureAtDepth(7, 5, 4);
    BitmapHandle big = original;
    ASSERT_EQ(L_SizeBitmap(&big, 14, 10, SIZE_NORMAL), SUCCESS);
    EXPECT_EQ(big.Palette, original.Palette);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 14; ++x)
            ASSERT_EQ(L_GetPixelColor(&big, x, y), L_GetPixelColor(&original, x / 2, y / 2));
    ASSERT_EQ(L_SizeBitmap(&big, 7, 5, SIZE_NORMAL), SUCCESS);
    EXPECT_TRUE(SamePixels(big, original));
}

TEST(Geometry, AreaResampleAveragesBlocks) {
    const BitmapHandle original = MakePhotoFixture(16, 12);
    BitmapHandle b = original;
    ASSERT_EQ(L_SizeBitmap(&b, 4, 4, SIZE_RESAMPLE), SUCCESS);
    // Each new pixel covers 4 × 3 old ones; two rounded passes stay within 1 of the exact mean.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            int sum[3] = {0, 0, 0};
            for (int sy = 3 * y; sy < 3 * y + 3; ++sy)
                for (int sx = 4 * x; sx < 4 * x + 4; ++sx) {
                    ColorRef c = L_GetPixelColor(&original, sx, sy);
                    sum[0] += GetRValue(c);
                    sum[1] += GetGValue(c);
                    sum[2] += GetBValue(c);
                }
            ColorRef c = L_GetPixelColor(&b, x, y);
            EXPECT_NEAR(GetRValue(c), sum[0] / 12.0, 1.0);
            EXPECT_NEAR(GetGValue(c), sum[1] / 12.0, 1.0);
            EXPECT_NEAR(GetBValue(c), sum[2] / 12.0, 1.0);
        }
}

TEST(Geometry, FavourBlackKeepsAThinDarkLine) {
    BitmapHandle b;
    ASSERT_EQ(L_CreateBitmap(&b, 1, 40, 40, 1), SUCCESS);
    b.Palette = {RgbQuad{0, 0, 0, 0}, RgbQuad{255, 255, 255, 0}};
    ASSERT_EQ(L_FillBitmap(&b, RGBColor(255, 255, 255)), SUCCESS);
    for (int y = 0; y < 40; ++y) ASSERT_EQ(L_PutPixelColor(&b, 17, y, 0), SUCCESS);
    BitmapHandle nearest = b;
    ASSERT_EQ(L_SizeBitmap(&b, 10, 10, SIZE_FAVORBLACK), SUCCESS);
    ASSERT_EQ(L_SizeBitmap(&nearest, 10, 10, SIZE_NORMAL), SUCCESS);
    EXPECT_EQ(b.BitsPerPixel, 1);
    for (int y = 0; y < 10; ++y) {
        EXPECT_EQ(L_GetPixelColor(&b, 4, y), RGBColor(0, 0, 0));
        EXPECT_EQ(L_GetPixelColor(&b, 3, y), RGBColor(255, 255, 255));
        // Nearest samples column 18 for new column 4 and loses the line.
        EXPECT_EQ(L_GetPixelColor(&nearest, 4, y), RGBColor(255, 255, 255));
    }
}

// ImageMagick's Catrom and Triangle filters are the same kernels, with the same centre
// convention and the same widening when shrinking; it computes in floating point, we in 14-bit
// fixed point with a rounded intermediate row, so a couple of levels apart at most.
TEST(Geometry, BicubicAndBilinearMatchImageMagick) {
    kivo::test::TempDir dir;
    const BitmapHandle original = MakePhotoFixture(64, 48);
    kivo::test::WritePnm(original, dir / "in.ppm");
    struct Case {
        int Method, Width, Height;
        const char* Filter;
    } cases[] = {
        {SIZE_BICUBIC, 29, 17, "Catrom"},
        {SIZE_BICUBIC, 150, 101, "Catrom"},
        {SIZE_RESAMPLE, 130, 97, "Triangle"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Filter + std::to_string(c.Width));
        BitmapHandle b = original;
        ASSERT_EQ(L_SizeBitmap(&b, c.Width, c.Height, c.Method), SUCCESS);
        const kivo::test::PnmImage peer = kivo::test::PeerDecode(
            std::string(kivo::test::ImageMagickConvert) + " " + (dir / "in.ppm").string() +
            " -filter " + c.Filter + " -resize " + std::to_string(c.Width) + "x" +
            std::to_string(c.Height) + "! ppm:-");
        EXPECT_EQ(kivo::test::ComparePixels(b, peer, 2), "");
    }
}

TEST(Geometry, BadArgumentsAreRefusedAndChangeNothing) {
    BitmapHandle empty;
    EXPECT_EQ(L_RotateBitmap(&empty, 9000, 1, 0), ERROR_NO_BITMAP);
    EXPECT_EQ(L_FlipBitmap(nullptr), ERROR_INV_PARAMETER);
    const BitmapHandle original = MakePhotoFixture(8, 8);
    BitmapHandle b = original;
    EXPECT_EQ(L_SizeBitmap(&b, 0, 8, 0), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_SizeBitmap(&b, 8, 40000, 0), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_SizeBitmap(&b, 4, 4, 3), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_ShearBitmap(&b, 4501, true, 0), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_RotateBitmap(&b, 36001, 0, 0), ERROR_INV_PARAMETER);
    EXPECT_TRUE(SamePixels(b, original));
}

}  // namespace
