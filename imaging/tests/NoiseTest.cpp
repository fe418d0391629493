#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/Noise.h"
#include "support/PhotoFixture.h"

namespace {

// The median of each channel over the window, borders repeated, sorted the slow way.
ColorRef NaiveMedian(const BitmapHandle& b, int x, int y, int size) {
    const int r = size / 2;
    std::vector<int> ch[3];
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
            const ColorRef c = L_GetPixelColor(&b, std::clamp(x + dx, 0, b.Width - 1),
                                               std::clamp(y + dy, 0, b.Height - 1));
            ch[0].push_back(GetRValue(c));
            ch[1].push_back(GetGValue(c));
            ch[2].push_back(GetBValue(c));
        }
    for (auto& v : ch) std::sort(v.begin(), v.end());
    const size_t mid = ch[0].size() / 2;
    return RGBColor(ch[0][mid], ch[1][mid], ch[2][mid]);
}

TEST(Noise, MedianMatchesANaiveMedianAtEveryPixel) {
    for (int size : {1, 3, 4, 5, 9}) {
        SCOPED_TRACE(size);
        const BitmapHandle original = kivo::test::MakePhotoFixture(31, 19);
        BitmapHandle b = original;
        ASSERT_EQ(L_MedianFilterBitmap(&b, size), SUCCESS);
        for (int y = 0; y < 19; ++y)
            for (int x = 0; x < 31; ++x)
                ASSERT_EQ(L_GetPixelColor(&b, x, y), NaiveMedian(original, x, y, size))
                    << x << "," << y;
    }
}

TEST(Noise, MedianRemovesASaltPixel) {
    BitmapHandle b;
    ASSERT_EQ(L_CreateBitmap(&b, 1, 7, 7, 24), SUCCESS);
    ASSERT_EQ(L_FillBitmap(&b, RGBColor(40, 50, 60)), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(&b, 3, 3, RGBColor(255, 255, 255)), SUCCESS);
    ASSERT_EQ(L_MedianFilterBitmap(&b, 3), SUCCESS);
    EXPECT_EQ(L_GetPixelColor(&b, 3, 3), RGBColor(40, 50, 60));
}

TEST(Noise, AddNoiseStaysInRangeOnTheChosenChannelAndRepeats) {
    const BitmapHandle original = kivo::test::MakePhotoFixture(64, 40);
    struct Case {
        int Range, Channel;
    } cases[] = {{200, CHANNEL_MASTER}, {1000, CHANNEL_RED}, {500, CHANNEL_BLUE}, {0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.Range) + "/" + std::to_string(c.Channel));
        BitmapHandle a = original, again = original;
        ASSERT_EQ(L_AddBitmapNoise(&a, c.Range, c.Channel), SUCCESS);
        ASSERT_EQ(L_AddBitmapNoise(&again, c.Range, c.Channel), SUCCESS);
        const int limit = (c.Range * 255 + 500) / 1000;
        int changed = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 64; ++x) {
                const ColorRef o = L_GetPixelColor(&original, x, y), n = L_GetPixelColor(&a, x, y);
                ASSERT_EQ(n, L_GetPixelColor(&again, x, y));
                const int dr = GetRValue(n) - GetRValue(o), dg = GetGValue(n) - GetGValue(o),
                          db = GetBValue(n) - GetBValue(o);
                EXPECT_LE(std::max({std::abs(dr), std::abs(dg), std::abs(db)}), limit);
                if (c.Channel == CHANNEL_RED) {
                    EXPECT_TRUE(dg == 0 && db == 0);
                } else if (c.Channel == CHANNEL_BLUE) {
                    EXPECT_TRUE(dr == 0 && dg == 0);
                }
                if (dr || dg || db) ++changed;
            }
        if (c.Range == 0)
            EXPECT_EQ(changed, 0);
        else
            EXPECT_GT(changed, 64 * 40 / 2);
    }
}

TEST(Noise, MasterNoiseIsTheSameOnEveryChannel) {
    // Mid-grey, so nothing clamps: every pixel stays grey.
    BitmapHandle b;
    ASSERT_EQ(L_CreateBitmap(&b, 1, 50, 20, 24), SUCCESS);
    ASSERT_EQ(L_FillBitmap(&b, RGBColor(128, 128, 128)), SUCCESS);
    ASSERT_EQ(L_AddBitmapNoise(&b, 400, CHANNEL_MASTER), SUCCESS);
    int sum = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 50; ++x) {
            const ColorRef c = L_GetPixelColor(&b, x, y);
            ASSERT_EQ(GetRValue(c), GetGValue(c));
            ASSERT_EQ(GetRValue(c), GetBValue(c));
            sum += GetRValue(c) - 128;
        }
    // Uniform noise of ±102 has mean 0; a thousand samples stay well within ±10.
    EXPECT_LT(std::abs(sum / 1000), 10);
}

}  // namespace
