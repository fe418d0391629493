// The pixel effects on small pictures whose results are worked out by hand from the rules: in-place
// scan order, edge clamping, truncating divisions, the wrap of the shifts and the block layout of
// the mosaic. Effects that draw random numbers are checked against a model of the generator
// started from the current seed.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "FastFX.h"

using namespace kivo::morefilters;

namespace {

// Grey picture from rows of values (all three channels equal).
std::unique_ptr<TFastBMP> Grey(const std::vector<std::vector<int>>& rows) {
    auto result = std::make_unique<TFastBMP>(int(rows[0].size()), int(rows.size()));
    TFastBMP& bmp = *result;
    for (int y = 0; y < bmp.Height; ++y)
        for (int x = 0; x < bmp.Width; ++x) {
            uint8_t* p = bmp.Pixel(x, y);
            p[0] = p[1] = p[2] = uint8_t(rows[size_t(y)][size_t(x)]);
        }
    return result;
}

std::vector<std::vector<int>> GreyOf(const TFastBMP& bmp) {
    std::vector<std::vector<int>> rows(size_t(bmp.Height), std::vector<int>(size_t(bmp.Width)));
    for (int y = 0; y < bmp.Height; ++y)
        for (int x = 0; x < bmp.Width; ++x) {
            const uint8_t* p = bmp.Pixel(x, y);
            EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]) << "channels differ at " << x << "," << y;
            rows[size_t(y)][size_t(x)] = p[0];
        }
    return rows;
}

// Every pixel different, every channel different, padding bytes marked.
std::unique_ptr<TFastBMP> Distinct(int width, int height) {
    auto result = std::make_unique<TFastBMP>(width, height);
    TFastBMP& bmp = *result;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = bmp.Pixel(x, y);
            p[0] = uint8_t(x * 16 + y);
            p[1] = uint8_t(200 - x * 7 - y * 3);
            p[2] = uint8_t(x + y * 20);
        }
        for (int i = 0; i < bmp.RowPadding; ++i) bmp.RowTable[size_t(y)][3 * width + i] = 0xAB;
    }
    return result;
}

std::vector<uint8_t> AllBytes(const TFastBMP& bmp) {
    return {bmp.PixelData, bmp.PixelData + bmp.DataSize};
}

std::vector<uint8_t> PixelOf(const TFastBMP& bmp, int x, int y) {
    return {bmp.Pixel(x, y), bmp.Pixel(x, y) + 3};
}

// The generator as defined: seed = seed * 134775813 + 1, draw = upper half of seed * n.
struct TLcgModel {
    uint32_t Seed = RandomSeed();
    uint32_t Next(uint32_t n) {
        Seed = Seed * 134775813u + 1u;
        return uint32_t((uint64_t(Seed) * n) >> 32);
    }
};

int Clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

}  // namespace

TEST(FastFXPixel, NeutralParametersLeaveEveryByteUnchanged) {
    struct Case {
        const char* name;
        std::function<void(TFastBMP&)> apply;
        int draws;  // random numbers consumed per pixel
    } cases[] = {
        {"ColorNoise 0", [](TFastBMP& b) { ColorNoise(b, 0); }, 3},
        {"ColorNoise 1", [](TFastBMP& b) { ColorNoise(b, 1); }, 3},
        {"MonoNoise 0", [](TFastBMP& b) { MonoNoise(b, 0); }, 1},
        {"MonoNoise 1", [](TFastBMP& b) { MonoNoise(b, 1); }, 1},
        {"SplitBlur 0", [](TFastBMP& b) { SplitBlur(b, 0); }, 0},
        {"GaussianBlur 0", [](TFastBMP& b) { GaussianBlur(b, 0); }, 0},
        {"GaussianBlur -3", [](TFastBMP& b) { GaussianBlur(b, -3); }, 0},
        {"Sharpen 0", [](TFastBMP& b) { Sharpen(b, 0); }, 0},
        {"WrapShiftX 0", [](TFastBMP& b) { WrapShiftX(b, 0); }, 0},
        {"WrapShiftX Width", [](TFastBMP& b) { WrapShiftX(b, 5); }, 0},
        {"WrapShiftX -2 Width", [](TFastBMP& b) { WrapShiftX(b, -10); }, 0},
        {"WrapShiftY 0", [](TFastBMP& b) { WrapShiftY(b, 0); }, 0},
        {"WrapShiftY 3 Height", [](TFastBMP& b) { WrapShiftY(b, 12); }, 0},
        {"WrapShiftY -Height", [](TFastBMP& b) { WrapShiftY(b, -4); }, 0},
        {"Mosaic 0", [](TFastBMP& b) { Mosaic(b, 0, 3); }, 0},
        {"Mosaic width 3 height 0", [](TFastBMP& b) { Mosaic(b, 3, 0); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto bmpOwner = Distinct(5, 4);
        TFastBMP& bmp = *bmpOwner;
        const auto before = AllBytes(bmp);
        TLcgModel model;
        for (int i = 0; i < 5 * 4 * c.draws; ++i) model.Next(1);
        c.apply(bmp);
        EXPECT_EQ(AllBytes(bmp), before);
        // The noise effects still advance the sequence, one draw per channel or pixel.
        EXPECT_EQ(RandomSeed(), model.Seed);
    }
}

TEST(FastFXPixel, NoiseAddsDrawsInScanOrder) {
    auto bmpOwner = Distinct(3, 2);
    TFastBMP& bmp = *bmpOwner;
    auto beforeOwner = Distinct(3, 2);
    const TFastBMP& before = *beforeOwner;
    TLcgModel model;
    ColorNoise(bmp, 100);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int ch = 0; ch < 3; ++ch) {  // blue, green, red
                const int expected = Clamp255(before.Pixel(x, y)[ch] + int(model.Next(100)) - 50);
                EXPECT_EQ(bmp.Pixel(x, y)[ch], expected) << x << "," << y << " channel " << ch;
            }

    auto monoOwner = Distinct(3, 2);
    TFastBMP& mono = *monoOwner;
    MonoNoise(mono, 255);  // odd range: half is 127
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            const int d = int(model.Next(255)) - 127;
            for (int ch = 0; ch < 3; ++ch)
                EXPECT_EQ(mono.Pixel(x, y)[ch], Clamp255(before.Pixel(x, y)[ch] + d));
        }
    EXPECT_EQ(RandomSeed(), model.Seed);
}

TEST(FastFXPixel, SplitBlurReadsAlreadyBlurredNeighbours) {
    // One row 0, 100, 200: (100+100+0+0)/4 = 50, (200+200+50+50)/4 = 125, (200+200+125+125)/4 =
    // 162.
    auto rowOwner = Grey({{0, 100, 200}});
    TFastBMP& row = *rowOwner;
    SplitBlur(row, 1);
    EXPECT_EQ(GreyOf(row), (std::vector<std::vector<int>>{{50, 125, 162}}));
    // 2 x 2 with distance 1: every pixel averages the four corners, the later ones reading the
    // new values: 240/4 = 60, 300/4 = 75, 335/4 = 83, 338/4 = 84.
    auto squareOwner = Grey({{0, 40}, {80, 120}});
    TFastBMP& square = *squareOwner;
    SplitBlur(square, 1);
    EXPECT_EQ(GreyOf(square), (std::vector<std::vector<int>>{{60, 75}, {83, 84}}));
    // A distance far beyond the picture clamps to the edges like any other.
    auto farOwner = Grey({{0, 100, 200}});
    TFastBMP& far = *farOwner;
    SplitBlur(far, 2000000000);
    auto edgeOwner = Grey({{0, 100, 200}});
    TFastBMP& edge = *edgeOwner;
    SplitBlur(edge, 2);
    EXPECT_EQ(GreyOf(far), GreyOf(edge));
}

TEST(FastFXPixel, GaussianBlurRunsSplitBlurWithFallingDistances) {
    // Distance 2 gives 100, 150, 150; then distance 1 gives 125, 137, 143.
    auto rowOwner = Grey({{0, 100, 200}});
    TFastBMP& row = *rowOwner;
    GaussianBlur(row, 2);
    EXPECT_EQ(GreyOf(row), (std::vector<std::vector<int>>{{125, 137, 143}}));
}

TEST(FastFXPixel, SharpenInPlaceWithTruncationAndClamping) {
    // Uniform: 2C - 8C/8 = C.
    auto flatOwner = Grey({{90, 90, 90}, {90, 90, 90}});
    TFastBMP& flat = *flatOwner;
    Sharpen(flat, 2);
    EXPECT_EQ(GreyOf(flat), (std::vector<std::vector<int>>{{90, 90, 90}, {90, 90, 90}}));
    // One row 0, 100, 200 (distance 1; the three rows are all row 0):
    // x0: S = 3*(0+0+100) - 0 = 300, (0 - 4800)/128 < 0 -> 0;
    // x1: S = 900 - 100 = 800, (25600 - 12800)/128 = 100;
    // x2: S = 3*(100+200+200) - 200 = 1300, (51200 - 20800)/128 = 237.5 -> 237.
    auto rowOwner = Grey({{0, 100, 200}});
    TFastBMP& row = *rowOwner;
    Sharpen(row, 1);
    EXPECT_EQ(GreyOf(row), (std::vector<std::vector<int>>{{0, 100, 237}}));
    // 2 x 2, values a 0, b 50, c 100, d 150, in place:
    // a: S = 2*(a+a+b) + (c+c+d) - a = 450 -> 0; b: S = 2*(a+b+b) + (c+d+d) - b = 550 -> 31;
    // c: S = (a+a+b) + 2*(c+c+d) - c = 631 -> 15504/128 = 121; d: S = (a+b+b) + 2*(c+d+d) - d
    // = 754 -> 26336/128 = 205.
    auto squareOwner = Grey({{0, 50}, {100, 150}});
    TFastBMP& square = *squareOwner;
    Sharpen(square, 1);
    EXPECT_EQ(GreyOf(square), (std::vector<std::vector<int>>{{0, 31}, {121, 205}}));
}

TEST(FastFXPixel, WrapShiftXRotatesRowsModuloWidth) {
    struct Case {
        int shift, effective;
    } cases[] = {{1, 1}, {2, 2}, {6, 1}, {-1, 4}, {-7, 3}, {2000000001, 2000000001 % 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shift);
        auto beforeOwner = Distinct(5, 3);
        const TFastBMP& before = *beforeOwner;
        auto bmpOwner = Distinct(5, 3);
        TFastBMP& bmp = *bmpOwner;
        WrapShiftX(bmp, c.shift);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(PixelOf(bmp, x, y), PixelOf(before, (x - c.effective + 5) % 5, y));
            EXPECT_EQ(bmp.RowTable[size_t(y)][15], 0xAB);  // padding untouched
        }
    }
}

TEST(FastFXPixel, WrapShiftYRotatesRowsWithTheirPadding) {
    struct Case {
        int shift, effective;
    } cases[] = {{1, 1}, {3, 3}, {5, 1}, {-1, 3}, {-6, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shift);
        auto beforeOwner = Distinct(3, 4);
        const TFastBMP& before = *beforeOwner;
        auto bmpOwner = Distinct(3, 4);
        TFastBMP& bmp = *bmpOwner;
        bmp.RowTable[0][9] = 0x11;  // mark one padding byte to see it travel with its row
        const uint8_t marked = 0x11;
        WrapShiftY(bmp, c.shift);
        for (int y = 0; y < 4; ++y) {
            const int from = (y - c.effective + 4) % 4;
            for (int x = 0; x < 3; ++x) EXPECT_EQ(PixelOf(bmp, x, y), PixelOf(before, x, from));
            EXPECT_EQ(bmp.RowTable[size_t(y)][9], from == 0 ? marked : 0xAB);
        }
    }
}

TEST(FastFXPixel, MosaicBlockThreeOnWidthTen) {
    // Blocks start at columns 0, 3, 6, 9 and rows 0, 3 and sample at +2 (half of 3 rounded up).
    // The cut-off column 9 and row 3 keep their own pixels.
    auto beforeOwner = Distinct(10, 4);
    const TFastBMP& before = *beforeOwner;
    auto bmpOwner = Distinct(10, 4);
    TFastBMP& bmp = *bmpOwner;
    Mosaic(bmp, 3, 3);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 10; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            if (x == 9 || y == 3)
                EXPECT_EQ(PixelOf(bmp, x, y), PixelOf(before, x, y));
            else
                EXPECT_EQ(PixelOf(bmp, x, y), PixelOf(before, x / 3 * 3 + 2, 2));
        }
}

TEST(FastFXPixel, MosaicBlockOneMovesThePictureUpLeft) {
    auto beforeOwner = Distinct(4, 3);
    const TFastBMP& before = *beforeOwner;
    auto bmpOwner = Distinct(4, 3);
    TFastBMP& bmp = *bmpOwner;
    Mosaic(bmp, 1, 1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(PixelOf(bmp, x, y), PixelOf(before, std::min(x + 1, 3), std::min(y + 1, 2)))
                << x << "," << y;
}

TEST(FastFXPixel, MosaicUnevenBlocks) {
    // Block 2 wide, 4 high on 5 x 5: samples at column x0 + 1 and row y0 + 2; column 4 (cut off)
    // and row 4 (a block of height 5 - 1 - 4 = 0) stay.
    auto beforeOwner = Distinct(5, 5);
    const TFastBMP& before = *beforeOwner;
    auto bmpOwner = Distinct(5, 5);
    TFastBMP& bmp = *bmpOwner;
    Mosaic(bmp, 2, 4);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) {
            const bool kept = x == 4 || y == 4;
            EXPECT_EQ(PixelOf(bmp, x, y),
                      kept ? PixelOf(before, x, y) : PixelOf(before, x / 2 * 2 + 1, 2))
                << x << "," << y;
        }
}

TEST(FastFXPixel, SprayTakesClampedRandomOffsets) {
    auto sourceOwner = Distinct(4, 3);
    const TFastBMP& source = *sourceOwner;
    TFastBMP target(4, 3);
    TLcgModel model;
    Spray(source, target, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const int r = int(model.Next(3));
            const int sx = std::clamp(r - int(model.Next(uint32_t(2 * r))) + x, 0, 3);
            const int sy = std::clamp(r - int(model.Next(uint32_t(2 * r))) + y, 0, 2);
            EXPECT_EQ(PixelOf(target, x, y), PixelOf(source, sx, sy)) << x << "," << y;
        }
    EXPECT_EQ(RandomSeed(), model.Seed);
    // Radius 0 copies, still drawing three numbers per pixel.
    TFastBMP copy(4, 3);
    for (int i = 0; i < 12 * 3; ++i) model.Next(0);
    Spray(source, copy, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(PixelOf(copy, x, y), PixelOf(source, x, y));
    EXPECT_EQ(RandomSeed(), model.Seed);
}
