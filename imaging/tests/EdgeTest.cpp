#include <gtest/gtest.h>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/Edge.h"

namespace {

// Left half `left`, right half `right` (grey levels), step between columns 4 and 5.
BitmapHandle Step(int left, int right, int w = 10, int h = 6) {
    BitmapHandle b;
    EXPECT_EQ(L_CreateBitmap(&b, 1, w, h, 24), SUCCESS);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int v = x < w / 2 ? left : right;
            EXPECT_EQ(L_PutPixelColor(&b, x, y, RGBColor(v, v, v)), SUCCESS);
        }
    return b;
}

int Grey(const BitmapHandle& b, int x, int y) { return GetRValue(L_GetPixelColor(&b, x, y)); }

TEST(Edge, EdgeDetectorByHand) {
    struct Case {
        const char* Name;
        int Left, Right, Threshold, Filter;
        int AtEdge;  // at x = 4 and 5; 0 everywhere else
    } cases[] = {
        {"sobel all, strong step", 0, 200, 30, EDG_SOBEL_ALL, 255},  // 4 · 200 clamped
        {"sobel all, faint step", 100, 110, 30, EDG_SOBEL_ALL, 40},  // 4 · 10
        {"sobel below threshold", 100, 110, 41, EDG_SOBEL_ALL, 0},
        {"sobel vertical edges", 100, 110, 0, EDG_SOBEL_VERT, 40},
        {"sobel horizontal edges", 100, 110, 0, EDG_SOBEL_HORZ, 0},  // a vertical step has none
        {"prewitt all", 100, 110, 30, EDG_PREWITT_ALL, 30},          // 3 · 10, at the threshold
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        BitmapHandle b = Step(c.Left, c.Right);
        ASSERT_EQ(L_EdgeDetectorBitmap(&b, c.Threshold, c.Filter), SUCCESS);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 10; ++x)
                ASSERT_EQ(Grey(b, x, y), x == 4 || x == 5 ? c.AtEdge : 0) << x << "," << y;
    }
    BitmapHandle b = Step(0, 1);
    EXPECT_EQ(L_EdgeDetectorBitmap(&b, 30, 0x0104), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_EdgeDetectorBitmap(&b, 30, 0x0100), ERROR_INV_PARAMETER);
}

TEST(Edge, ContourDrawsTheOutlineOfAShapeAsAThinClosedLine) {
    // A dark square on light paper.
    BitmapHandle b;
    ASSERT_EQ(L_CreateBitmap(&b, 1, 30, 30, 24), SUCCESS);
    ASSERT_EQ(L_FillBitmap(&b, RGBColor(230, 230, 230)), SUCCESS);
    for (int y = 10; y < 20; ++y)
        for (int x = 10; x < 20; ++x)
            ASSERT_EQ(L_PutPixelColor(&b, x, y, RGBColor(40, 40, 40)), SUCCESS);
    BitmapHandle white = b;
    ASSERT_EQ(L_ContourFilterBitmap(&b, 50, 35, 15, CONTOUR_BLACK_ON_WHITE), SUCCESS);
    ASSERT_EQ(L_ContourFilterBitmap(&white, 50, 35, 15, CONTOUR_WHITE_ON_BLACK), SUCCESS);
    int black = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
            const int v = Grey(b, x, y);
            ASSERT_TRUE(v == 0 || v == 255);
            ASSERT_EQ(Grey(white, x, y), 255 - v);
            black += v == 0;
            // Lines only near the square's border; paper everywhere else.
            const bool nearBorder = x >= 8 && x <= 21 && y >= 8 && y <= 21 &&
                                    !(x >= 12 && x <= 17 && y >= 12 && y <= 17);
            if (!nearBorder) {
                ASSERT_EQ(v, 255) << x << "," << y;
            }
        }
    // Each side crossed at its middle, in each direction: the outline is closed there.
    auto crossings = [&](int x0, int y0, int dx, int dy) {
        int n = 0;
        for (int i = 0; i < 30; ++i) n += Grey(b, x0 + i * dx, y0 + i * dy) == 0;
        return n;
    };
    EXPECT_GE(crossings(0, 15, 1, 0), 2);
    EXPECT_LE(crossings(0, 15, 1, 0), 4);  // thin: one or two pixels per side
    EXPECT_GE(crossings(15, 0, 0, 1), 2);
    EXPECT_LE(crossings(15, 0, 0, 1), 4);
    EXPECT_GT(black, 30);

    BitmapHandle flat;
    ASSERT_EQ(L_CreateBitmap(&flat, 1, 8, 8, 24), SUCCESS);
    ASSERT_EQ(L_FillBitmap(&flat, RGBColor(90, 10, 200)), SUCCESS);
    ASSERT_EQ(L_ContourFilterBitmap(&flat, 50, 35, 15, CONTOUR_BLACK_ON_WHITE), SUCCESS);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(Grey(flat, x, y), 255);
}

}  // namespace
