#include <gtest/gtest.h>

#include <cstring>

#include "core/ParallelRows.h"
#include "core/Progress.h"
#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/File.h"
#include "kivo/imaging/SaveTable.h"

namespace {

BitmapHandle Make(int w, int h, int bpp) {
    BitmapHandle b;
    EXPECT_EQ(L_CreateBitmap(&b, 1, w, h, bpp), SUCCESS);
    return b;
}

TEST(BitmapCore, RowsArePaddedToFourBytes) {
    struct Case {
        int Width, Bpp, Expected;
    } cases[] = {{1, 1, 4}, {33, 1, 8}, {9, 4, 8}, {5, 8, 8}, {3, 16, 8}, {5, 24, 16}, {3, 32, 12}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Width << "x" << c.Bpp);
        EXPECT_EQ(BytesPerLineFor(c.Width, c.Bpp), c.Expected);
        EXPECT_EQ(Make(c.Width, 2, c.Bpp).BytesPerLine, c.Expected);
    }
}

TEST(BitmapCore, InitFreeAndAllocatedFlag) {
    BitmapHandle b = Make(4, 4, 24);
    EXPECT_TRUE(b.Allocated());
    EXPECT_EQ(L_FreeBitmap(&b), SUCCESS);
    EXPECT_FALSE(b.Allocated());
    EXPECT_EQ(L_InitBitmap(&b, 0, 0, 0), SUCCESS);
    EXPECT_FALSE(b.Allocated());
    BitmapHandle copy;
    EXPECT_EQ(L_CopyBitmap(&copy, &b), ERROR_NO_BITMAP);
}

TEST(BitmapCore, CopyIsDeep) {
    BitmapHandle a = Make(3, 2, 24);
    L_FillBitmap(&a, RGBColor(10, 20, 30));
    BitmapHandle b;
    ASSERT_EQ(L_CopyBitmap(&b, &a), SUCCESS);
    L_PutPixelColor(&a, 0, 0, RGBColor(1, 2, 3));
    EXPECT_EQ(L_GetPixelColor(&b, 0, 0), RGBColor(10, 20, 30));
    EXPECT_EQ(L_GetPixelColor(&a, 0, 0), RGBColor(1, 2, 3));
}

TEST(BitmapCore, PixelAccessAtEveryDepth) {
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(bpp);
        BitmapHandle b = Make(11, 3, bpp);
        // White exists in every palette (grey ramps end at 255) and survives 5-bit channels.
        ASSERT_EQ(L_PutPixelColor(&b, 9, 2, RGBColor(255, 255, 255)), SUCCESS);
        EXPECT_EQ(L_GetPixelColor(&b, 9, 2), RGBColor(255, 255, 255));
        EXPECT_EQ(L_GetPixelColor(&b, 8, 2), RGBColor(0, 0, 0));
        EXPECT_EQ(L_GetPixelColor(&b, 10, 2), RGBColor(0, 0, 0));
        EXPECT_EQ(L_PutPixelColor(&b, 11, 0, 0), ERROR_INV_PARAMETER);
    }
}

TEST(BitmapCore, CopyRectOfSubBytePixelsRealigns) {
    BitmapHandle b = Make(16, 2, 1);
    for (int x = 0; x < 16; x += 3) L_PutPixelColor(&b, x, 1, RGBColor(255, 255, 255));
    BitmapHandle part;
    ASSERT_EQ(L_CopyBitmapRect(&part, &b, 2, 1, 9, 1), SUCCESS);
    EXPECT_EQ(part.Width, 9);
    EXPECT_EQ(part.Height, 1);
    for (int x = 0; x < 9; ++x)
        EXPECT_EQ(L_GetPixelColor(&part, x, 0), L_GetPixelColor(&b, x + 2, 1)) << x;
}

TEST(BitmapCore, CopyRectIsClippedToThePicture) {
    BitmapHandle b = Make(10, 8, 24);
    BitmapHandle part;
    ASSERT_EQ(L_CopyBitmapRect(&part, &b, 6, 5, 10, 10), SUCCESS);
    EXPECT_EQ(part.Width, 4);
    EXPECT_EQ(part.Height, 3);
    EXPECT_EQ(L_CopyBitmapRect(&part, &b, 10, 0, 5, 5), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_CopyBitmapRect(&part, &b, -5, -5, 5, 5), ERROR_INV_PARAMETER);
}

TEST(BitmapCore, ViewPerspectiveFlipsBottomUpRows) {
    uint8_t rows[2 * 4] = {1, 2, 3, 0, 4, 5, 6, 0};  // two 1-pixel rows, bottom row first
    BitmapHandle b;
    ASSERT_EQ(L_CreateBitmap(&b, 1, 1, 2, 24, 1, nullptr, BOTTOM_LEFT, rows, sizeof rows),
              SUCCESS);
    ASSERT_EQ(L_ChangeBitmapViewPerspective(&b, &b, 0), SUCCESS);
    EXPECT_EQ(b.ViewPerspective, TOP_LEFT);
    EXPECT_EQ(b.Row(0)[0], 4);
    EXPECT_EQ(b.Row(1)[0], 1);
    // Already top-down: nothing moves.
    ASSERT_EQ(L_ChangeBitmapViewPerspective(&b, &b, 0), SUCCESS);
    EXPECT_EQ(b.Row(0)[0], 4);
}

TEST(BitmapCore, AutoTrimFindsContentOrReportsUniform) {
    BitmapHandle mask = Make(20, 10, 8);
    L_FillBitmap(&mask, RGBColor(255, 255, 255));
    BitmapRect r;
    ASSERT_EQ(L_GetAutoTrimRect(&mask, 0, &r), SUCCESS);
    EXPECT_EQ(r.Right - r.Left, 0);
    L_PutPixelColor(&mask, 3, 4, 0);
    L_PutPixelColor(&mask, 15, 7, 0);
    ASSERT_EQ(L_GetAutoTrimRect(&mask, 0, &r), SUCCESS);
    EXPECT_EQ(r, (BitmapRect{3, 4, 16, 8}));
    BitmapHandle empty;
    EXPECT_EQ(L_GetAutoTrimRect(&empty, 0, &r), ERROR_NO_BITMAP);
}

TEST(BitmapCore, AlphaOfOpaqueAndTranslucentBitmaps) {
    BitmapHandle rgba = Make(2, 1, 32);
    rgba.Row(0)[3] = 7;
    rgba.Row(0)[7] = 200;
    BitmapHandle alpha;
    ASSERT_EQ(L_GetBitmapAlpha(&rgba, &alpha), SUCCESS);
    EXPECT_EQ(alpha.BitsPerPixel, 8);
    EXPECT_EQ(alpha.Row(0)[0], 7);
    EXPECT_EQ(alpha.Row(0)[1], 200);
    BitmapHandle rgb = Make(2, 1, 24);
    ASSERT_EQ(L_GetBitmapAlpha(&rgb, &alpha), SUCCESS);
    EXPECT_EQ(alpha.Row(0)[1], 255);
}

TEST(BitmapCore, PixelLimitIsCheckedBeforeAllocating) {
    BitmapHandle b;
    EXPECT_EQ(L_CreateBitmap(&b, 1, 1 << 20, 1 << 20, 24), ERROR_IMAGE_TOO_LARGE);
    EXPECT_FALSE(b.Allocated());
}

int AbortAtHalf(int percent, void*) { return percent < 50; }

TEST(BitmapCore, ProgressStopsWhenTheCallbackSaysSo) {
    StatusCallback previous = L_SetStatusCallBack(AbortAtHalf);
    kivo::Progress progress(10);
    int done = 0;
    while (done < 10 && progress.Report(done)) ++done;
    EXPECT_EQ(done, 5);
    EXPECT_TRUE(progress.Aborted());
    EXPECT_EQ(L_SetStatusCallBack(previous), AbortAtHalf);
}

TEST(BitmapCore, ParallelRowsCoversEveryRowOnce) {
    for (int height : {1, 7, 100, 1001}) {
        std::vector<int> hits(size_t(height), 0);
        kivo::ParallelRows(height, [&](int first, int end) {
            for (int y = first; y < end; ++y) ++hits[size_t(y)];
        }, 1);
        for (int y = 0; y < height; ++y) ASSERT_EQ(hits[size_t(y)], 1) << height << " " << y;
    }
}

TEST(QualityFactor, MapsTwoTo255OntoJpegQualityMonotonically) {
    EXPECT_EQ(L_QualityFactorToJpegQuality(2), 100);
    EXPECT_EQ(L_QualityFactorToJpegQuality(255), 1);
    EXPECT_EQ(L_QualityFactorToJpegQuality(0), 100);
    EXPECT_EQ(L_QualityFactorToJpegQuality(1000), 1);
    for (int f = 3; f <= 255; ++f)
        EXPECT_LE(L_QualityFactorToJpegQuality(f), L_QualityFactorToJpegQuality(f - 1)) << f;
}

TEST(SaveTable, DepthRulesOfTheSaveFormats) {
    struct Case {
        int FilterIndex, Bpp, Format, Passed;
    } cases[] = {
        {1, 8, FILE_LEAD1JFIF, 24}, {1, 32, FILE_LEAD1JFIF, 32}, {2, 4, FILE_BMP, 4},
        {5, 24, FILE_GIF, 8},       {5, 4, FILE_GIF, 4},         {6, 16, FILE_WMF, 24},
        {7, 16, FILE_EMF, 24},      {7, 8, FILE_EMF, 8},         {8, 16, FILE_XPM, 16},
        {9, 32, FILE_IFF_CAT, 24},  {10, 4, FILE_PSD, 4},        {11, 16, FILE_PNG, 24},
        {12, 4, FILE_TGA, 24},      {13, 32, FILE_RAS, 32},      {14, 32, FILE_PCT, 24},
        {0, 8, FILE_LEAD1JFIF, 24}, {15, 32, FILE_LEAD1JFIF, 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "filter " << c.FilterIndex << " bpp " << c.Bpp);
        const SaveTableRow& row = SaveRowForFilterIndex(c.FilterIndex);
        EXPECT_EQ(row.Format, c.Format);
        EXPECT_EQ(row.DepthFor(c.Bpp), c.Passed);
    }
    ASSERT_NE(SaveRowForExtension("png"), nullptr);
    EXPECT_EQ(SaveRowForExtension(".Png")->FilterIndex, 11);
    EXPECT_EQ(SaveRowForExtension(".jpeg")->Format, FILE_LEAD1JFIF);
    EXPECT_EQ(SaveRowForExtension(".doc"), nullptr);
}

}  // namespace
