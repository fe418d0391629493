// The geometric effects and their shared interpolation. The small fixtures were worked out from
// the mapping rules outside this code (double-precision steps rounded to single where the rules
// store a single, ties to even), the simpler ones by hand as the comments show.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "FastFX.h"

using namespace kivo::morefilters;

namespace {

using TRgbRow = std::vector<std::array<int, 3>>;  // B, G, R per pixel

// B = 16x + y, G = 200 - 7x - 3y, R = x + 20y: every pixel and channel different.
std::unique_ptr<TFastBMP> Pattern(int width, int height) {
    auto bmp = std::make_unique<TFastBMP>(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = bmp->Pixel(x, y);
            p[0] = uint8_t(x * 16 + y), p[1] = uint8_t(200 - x * 7 - y * 3),
            p[2] = uint8_t(x + y * 20);
        }
    return bmp;
}

std::unique_ptr<TFastBMP> Filled(int width, int height, uint8_t value) {
    auto bmp = std::make_unique<TFastBMP>(width, height);
    std::fill(bmp->PixelData, bmp->PixelData + bmp->DataSize, value);
    return bmp;
}

std::array<int, 3> At(const TFastBMP& bmp, int x, int y) {
    const uint8_t* p = bmp.Pixel(x, y);
    return {p[0], p[1], p[2]};
}

void ExpectPixels(const TFastBMP& bmp, const std::vector<TRgbRow>& expected) {
    ASSERT_EQ(bmp.Height, int(expected.size()));
    for (int y = 0; y < bmp.Height; ++y)
        for (int x = 0; x < bmp.Width; ++x)
            EXPECT_EQ(At(bmp, x, y), expected[size_t(y)][size_t(x)]) << "at " << x << "," << y;
}

void ExpectSamePixels(const TFastBMP& a, const TFastBMP& b) {
    for (int y = 0; y < a.Height; ++y)
        for (int x = 0; x < a.Width; ++x) EXPECT_EQ(At(a, x, y), At(b, x, y)) << x << "," << y;
}

// A row of grey values for the interpolation cases.
std::unique_ptr<TFastBMP> GreyRow(std::initializer_list<int> values) {
    auto bmp = std::make_unique<TFastBMP>(int(values.size()), 1);
    int x = 0;
    for (int v : values) {
        uint8_t* p = bmp->Pixel(x++, 0);
        p[0] = p[1] = p[2] = uint8_t(v);
    }
    return bmp;
}

}  // namespace

TEST(FastFXGeometry, WrapRule) {
    struct Case {
        int64_t i;
        int n, expected;
    } cases[] = {{-1, 5, 3}, {-5, 5, 4}, {-6, 5, 3}, {-11, 5, 3}, {0, 5, 0},
                 {4, 5, 4},  {5, 5, 0},  {7, 5, 2},  {-1, 1, 0},  {3, 1, 0}};
    for (const Case& c : cases) EXPECT_EQ(WrapIndex(c.i, c.n), c.expected) << c.i << " of " << c.n;
}

TEST(FastFXGeometry, AngleOfCoversMinusHalfPiToThreeHalvesPi) {
    const float halfPi = float(std::numbers::pi / 2);
    EXPECT_EQ(AngleOf(0, 1), halfPi);
    EXPECT_EQ(AngleOf(0, -1), -halfPi);
    EXPECT_EQ(AngleOf(0, 0), -halfPi);
    EXPECT_EQ(AngleOf(1, 1), float(std::numbers::pi / 4));
    EXPECT_EQ(AngleOf(-1, 0), float(std::numbers::pi));
    EXPECT_EQ(AngleOf(-1, -1), float(5 * std::numbers::pi / 4));
    EXPECT_EQ(AngleOf(2, -2), float(-std::numbers::pi / 4));
}

TEST(FastFXGeometry, WrappedBilinearWeightsWrapAndRounding) {
    auto row = GreyRow({0, 40, 80, 200});
    struct Case {
        const char* name;
        float sx;
        int expected;
    } cases[] = {
        {"whole pixel", 2.0f, 80},
        {"halfway", 1.5f, 60},
        {"right edge wraps to column 0: 200/2 + 0/2", 3.5f, 100},
        // -0.25 truncates to 0; the weights are 0.25 for column 0 and 0.75 for column 1, not a
        // blend of columns 3 and 0.
        {"negative, weights swapped", -0.25f, 30},
        // -1.25 truncates to -1, which wraps to n - 2 = 2: 80 * 0.25 + 200 * 0.75.
        {"negative, wrapped to n - 2", -1.25f, 170},
        {"one width beyond", 6.0f, 80},
    };
    for (const Case& c : cases) EXPECT_EQ(WrappedBilinear(*row, c.sx, 0).B, c.expected) << c.name;
    // Rounding ties go to even: 5/2 = 2.5 -> 2, 7/2 = 3.5 -> 4.
    EXPECT_EQ(WrappedBilinear(*GreyRow({0, 5}), 0.5f, 0).B, 2);
    EXPECT_EQ(WrappedBilinear(*GreyRow({0, 7}), 0.5f, 0).B, 4);
    // The row below the last is row 0: on a 1 x 2 picture y = 1.5 blends row 1 and row 0.
    TFastBMP column(1, 2);
    column.Pixel(0, 0)[1] = 10;
    column.Pixel(0, 1)[1] = 30;
    EXPECT_EQ(WrappedBilinear(column, 0, 1.5f).G, 20);
    EXPECT_EQ(WrappedBilinear(column, 0, 0.25f).G, 15);
}

TEST(FastFXGeometry, RotateByZeroIsExact) {
    auto source = Pattern(7, 5);
    for (auto centre : {std::array<int, 2>{0, 0}, {3, 2}, {100, 50}}) {
        auto target = Filled(7, 5, 1);
        Rotate(*source, *target, centre[0], centre[1], 0.0);
        ExpectSamePixels(*target, *source);
    }
}

TEST(FastFXGeometry, RotateFixtures) {
    // 90 degrees about (0, 0): target (x, y) takes the source near (y, -x), wrapped. Because the
    // single cosine is -4.4e-8 rather than 0 and negative coordinates swap the weights,
    // (0, 1) reads (1, 1), (1, 0) reads (1, 2) (row -1 wraps to n - 2 = 1, weight on the row below)
    // and (2, 1) reads (1, 1).
    auto source = Pattern(4, 3);
    auto target = Filled(4, 3, 7);
    Rotate(*source, *target, 0, 0, 90.0);
    ExpectPixels(*target, {{{0, 200, 0}, {18, 187, 41}, {17, 190, 21}, {16, 193, 1}},
                           {{17, 190, 21}, {18, 187, 41}, {17, 190, 21}, {16, 193, 1}},
                           {{33, 183, 22}, {34, 180, 42}, {33, 183, 22}, {32, 186, 2}}});
    // 30 degrees about (1, 2), fully interpolated.
    auto source2 = Pattern(5, 4);
    auto target2 = Filled(5, 4, 7);
    Rotate(*source2, *target2, 1, 2, 30.0);
    ExpectPixels(*target2,
                 {{{3, 197, 15}, {0, 199, 5}, {15, 192, 16}, {28, 187, 7}, {44, 174, 58}},
                  {{12, 191, 33}, {9, 193, 23}, {22, 189, 14}, {36, 184, 5}, {50, 176, 16}},
                  {{5, 192, 50}, {18, 187, 41}, {31, 182, 32}, {45, 178, 23}, {58, 173, 14}},
                  {{12, 190, 39}, {27, 181, 59}, {40, 176, 50}, {54, 172, 41}, {59, 171, 31}}});
}

TEST(FastFXGeometry, WaveNeutralCases) {
    auto source = Pattern(6, 5);
    struct Case {
        const char* name;
        double columnDivisor, rowDivisor, amplitude;
    } cases[] = {{"amplitude 0", 0.5, 0.5, 0.0},
                 {"column divisor 0", 0.0, 0.5, 3.0},
                 {"row divisor 0", 0.5, 0.0, 3.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto target = Filled(6, 5, 9);
        Wave(*source, *target, c.columnDivisor, c.rowDivisor, c.amplitude);
        ExpectSamePixels(*target, *source);
    }
}

TEST(FastFXGeometry, WaveFixture) {
    // Divisors 2/pi make the sines 0, 1, 0, -1; amplitude 5 on a 4 x 4 picture:
    // column start rows e = 0, 5 mod (H - 1) = 2, 0, and -5 -> H - 1 - (5 mod H) = 2;
    // row offsets 0, 5, 0, -5, so row 1 reads columns x + 5 wrapped (1, 2, 3, 0) and row 3 reads
    // x - 5 wrapped (2, 3, 0, 1: -1 becomes n - 2).
    auto source = Pattern(4, 4);
    auto target = Filled(4, 4, 9);
    const double divisor = 2 / std::numbers::pi;
    Wave(*source, *target, divisor, divisor, 5.0);
    const int columns[4][4] = {{0, 1, 2, 3}, {1, 2, 3, 0}, {0, 1, 2, 3}, {2, 3, 0, 1}};
    const int firstRow[4] = {0, 2, 0, 2};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(At(*target, x, y), At(*source, columns[y][x], (firstRow[x] + y) % 4))
                << x << "," << y;
}

TEST(FastFXGeometry, WaveOnOneRowReadsThatRow) {
    // Column start rows of 1 or more would be reduced modulo H - 1 = 0; the one row is used.
    auto source = Pattern(4, 1);
    auto target = Filled(4, 1, 9);
    Wave(*source, *target, 2 / std::numbers::pi, 1.0, 5.0);
    ExpectSamePixels(*target, *source);
}

TEST(FastFXGeometry, FishEyeFixtures) {
    auto source = Pattern(5, 4);
    auto target = Filled(5, 4, 9);
    FishEye(*source, *target, 1.0);
    ExpectPixels(*target,
                 {{{1, 199, 4}, {16, 193, 1}, {33, 185, 8}, {47, 179, 9}, {64, 172, 4}},
                  {{14, 192, 19}, {22, 187, 26}, {36, 181, 29}, {47, 176, 30}, {60, 171, 28}},
                  {{2, 194, 40}, {25, 184, 41}, {38, 178, 42}, {46, 175, 43}, {59, 169, 44}},
                  {{15, 186, 56}, {24, 182, 57}, {37, 177, 55}, {48, 172, 56}, {62, 166, 59}}});

    // Even size: the centre pixel (r = 0) is the source pixel there.
    auto even = Pattern(6, 4);
    auto evenTarget = Filled(6, 4, 9);
    FishEye(*even, *evenTarget, 3.0);
    EXPECT_EQ(At(*evenTarget, 3, 2), At(*even, 3, 2));
}

TEST(FastFXGeometry, FishEyeAtItsSingularRadius) {
    // 2 x 4 with amount 1: f = 2, centre (1, 2); pixel (1, 0) lies at r = 2 = f exactly and keeps
    // the source pixel at its own place. The others map normally.
    auto source = Pattern(2, 4);
    auto target = Filled(2, 4, 9);
    FishEye(*source, *target, 1.0);
    ExpectPixels(*target, {{{15, 187, 50}, {16, 193, 1}},
                           {{5, 197, 6}, {17, 190, 21}},
                           {{2, 194, 40}, {18, 187, 41}},
                           {{6, 195, 18}, {19, 184, 61}}});
    // Amount 0 has no focal length: the picture is copied.
    auto copy = Filled(2, 4, 9);
    FishEye(*source, *copy, 0.0);
    ExpectSamePixels(*copy, *source);
}

TEST(FastFXGeometry, TwistFixtures) {
    auto source = Pattern(5, 4);
    auto target = Filled(5, 4, 9);
    Twist(*source, *target, 3);
    ExpectPixels(*target,
                 {{{24, 189, 2}, {44, 179, 19}, {54, 174, 19}, {62, 169, 33}, {34, 180, 37}},
                  {{19, 190, 14}, {34, 184, 10}, {41, 178, 31}, {48, 173, 48}, {61, 166, 58}},
                  {{6, 197, 6}, {19, 190, 16}, {26, 185, 33}, {33, 179, 54}, {48, 174, 41}},
                  {{9, 193, 26}, {5, 194, 31}, {13, 189, 45}, {24, 183, 51}, {40, 182, 5}}});
}

TEST(FastFXGeometry, TwistQuarterTurnAndDivisorZero) {
    // A huge divisor leaves only the quarter turn: on 5 x 5 (centre 2, 2) target (2 + d, 2) takes
    // source (2, 2 + d), target (2, 2 + d) takes source (2 - d, 2), and the centre stays.
    auto source = Pattern(5, 5);
    auto target = Filled(5, 5, 9);
    Twist(*source, *target, 2000000000);
    for (int d = 1; d <= 2; ++d) {
        EXPECT_EQ(At(*target, 2 + d, 2), At(*source, 2, 2 + d)) << d;
        EXPECT_EQ(At(*target, 2, 2 + d), At(*source, 2 - d, 2)) << d;
    }
    EXPECT_EQ(At(*target, 2, 2), At(*source, 2, 2));

    auto untouched = Filled(5, 5, 9);
    Twist(*source, *untouched, 0);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(At(*untouched, x, y), (std::array<int, 3>{9, 9, 9}));
}

TEST(FastFXGeometry, MismatchedSizesAreLeftAlone) {
    auto source = Pattern(4, 4);
    auto target = Filled(3, 4, 9);
    Wave(*source, *target, 1, 1, 2);
    Rotate(*source, *target, 0, 0, 10);
    FishEye(*source, *target, 1);
    Twist(*source, *target, 5);
    Spray(*source, *target, 2);
    for (int i = 0; i < target->DataSize; ++i) ASSERT_EQ(target->PixelData[i], 9);
}
