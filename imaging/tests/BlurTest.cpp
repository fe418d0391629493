#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/Blur.h"
#include "support/PhotoFixture.h"

namespace {

int Channel(ColorRef c, int ch) {
    return ch == 0 ? GetRValue(c) : ch == 1 ? GetGValue(c) : GetBValue(c);
}

// A weighted mean over a square window, borders repeated, in double precision.
double Naive(const BitmapHandle& b, int x, int y, int ch, int r,
             const std::function<double(int, int)>& weight) {
    double sum = 0, total = 0;
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
            const double w = weight(dx, dy);
            sum += w * Channel(L_GetPixelColor(&b, std::clamp(x + dx, 0, b.Width - 1),
                                               std::clamp(y + dy, 0, b.Height - 1)),
                               ch);
            total += w;
        }
    return sum / total;
}

const std::pair<int, int> Probes[] = {{0, 0}, {7, 5}, {29, 19}, {15, 10}, {3, 18}};

TEST(Blur, GaussianMatchesANaiveGaussian) {
    const BitmapHandle original = kivo::test::MakePhotoFixture(30, 20);
    for (int radius : {5, 20, 45}) {
        SCOPED_TRACE(radius);
        BitmapHandle b = original;
        ASSERT_EQ(L_GaussianFilterBitmap(&b, radius), SUCCESS);
        const double sigma = radius / 10.0;
        for (auto [x, y] : Probes)
            for (int ch = 0; ch < 3; ++ch)
                EXPECT_NEAR(Channel(L_GetPixelColor(&b, x, y), ch),
                            Naive(original, x, y, ch, int(std::ceil(3 * sigma)),
                                  [&](int dx, int dy) {
                                      return std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
                                  }),
                            1.0)
                    << x << "," << y;
    }
}

TEST(Blur, AverageMatchesANaiveBoxMean) {
    const BitmapHandle original = kivo::test::MakePhotoFixture(30, 20);
    for (int size : {3, 4, 10}) {
        SCOPED_TRACE(size);
        BitmapHandle b = original;
        ASSERT_EQ(L_AverageFilterBitmap(&b, size), SUCCESS);
        for (auto [x, y] : Probes)
            for (int ch = 0; ch < 3; ++ch)
                EXPECT_NEAR(Channel(L_GetPixelColor(&b, x, y), ch),
                            Naive(original, x, y, ch, size / 2, [](int, int) { return 1.0; }), 1.0);
    }
}

TEST(Blur, MotionBlurAveragesAlongItsLine) {
    const BitmapHandle original = kivo::test::MakePhotoFixture(30, 20);
    struct Case {
        int Dim, Angle;
        bool Forward;
        int Dx, Dy;  // step along the line
    } cases[] = {{3, 0, false, 1, 0},
                 {5, 9000, false, 0, 1},
                 {4, 18000, true, -1, 0},
                 {3, 27000, true, 0, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.Dim) + " at " + std::to_string(c.Angle));
        BitmapHandle b = original;
        ASSERT_EQ(L_MotionBlurBitmap(&b, c.Dim, c.Angle, c.Forward), SUCCESS);
        for (auto [x, y] : Probes)
            for (int ch = 0; ch < 3; ++ch) {
                double sum = 0;
                for (int k = 0; k < c.Dim; ++k) {
                    // Bidirectional lines of odd length are centred on the pixel.
                    const int t = c.Forward ? k : k - (c.Dim - 1) / 2;
                    sum += Channel(L_GetPixelColor(&original, std::clamp(x + t * c.Dx, 0, 29),
                                                   std::clamp(y + t * c.Dy, 0, 19)),
                                   ch);
                }
                EXPECT_NEAR(Channel(L_GetPixelColor(&b, x, y), ch), sum / c.Dim, 0.5)
                    << x << "," << y;
            }
    }
    // Any angle keeps a flat picture flat.
    BitmapHandle flat;
    ASSERT_EQ(L_CreateBitmap(&flat, 1, 12, 9, 24), SUCCESS);
    ASSERT_EQ(L_FillBitmap(&flat, RGBColor(17, 99, 201)), SUCCESS);
    ASSERT_EQ(L_MotionBlurBitmap(&flat, 37, 3125, false), SUCCESS);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x) ASSERT_EQ(L_GetPixelColor(&flat, x, y), RGBColor(17, 99, 201));
}

}  // namespace
