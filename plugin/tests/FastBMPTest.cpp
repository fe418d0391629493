// TFastBMP: the row layout, the clamping helpers, the BMP reader (against ImageMagick's decode
// of the same files, and against hand-built files for what ImageMagick does not write) and the
// 24-bit writer.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FastBMP.h"

using namespace kivo::morefilters;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    Put16(b, v);
    Put16(b, v >> 16);
}

// File header + 40-byte info header; extra (masks, palette) and pixels follow as given.
Bytes MakeBmp(int32_t width, int32_t height, int bpp, uint32_t compression, const Bytes& extra,
              const Bytes& pixels, uint32_t coloursUsed = 0) {
    Bytes b;
    b.push_back('B');
    b.push_back('M');
    Put32(b, uint32_t(54 + extra.size() + pixels.size()));
    Put32(b, 0);
    Put32(b, uint32_t(54 + extra.size()));
    Put32(b, 40);
    Put32(b, uint32_t(width));
    Put32(b, uint32_t(height));
    Put16(b, 1);
    Put16(b, uint32_t(bpp));
    Put32(b, compression);
    Put32(b, uint32_t(pixels.size()));
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, coloursUsed);
    Put32(b, 0);
    b.insert(b.end(), extra.begin(), extra.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

// B, G, R of pixel (x, y).
Bytes PixelAt(const TFastBMP& bmp, int x, int y) {
    const uint8_t* p = bmp.Pixel(x, y);
    return {p[0], p[1], p[2]};
}

// Top-down B, G, R bytes without padding.
Bytes Packed(const TFastBMP& bmp) {
    Bytes out;
    for (int y = 0; y < bmp.Height; ++y)
        out.insert(out.end(), bmp.RowTable[size_t(y)], bmp.RowTable[size_t(y)] + 3 * bmp.Width);
    return out;
}

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "fastbmp-XXXXXX").string();
        Path = mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(Path); }
    std::string File(const std::string& name) const { return (fs::path(Path) / name).string(); }
    std::string Path;
};

bool HaveConvert() { return std::system("convert-im6.q16 -version >/dev/null 2>&1") == 0; }

std::string Run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

// ImageMagick's decode of a file as top-down B, G, R bytes.
Bytes DecodeWithConvert(const std::string& path) {
    const std::string rgb = Run("convert-im6.q16 '" + path + "' -depth 8 rgb:- 2>/dev/null");
    Bytes bgr;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        bgr.push_back(uint8_t(rgb[i + 2]));
        bgr.push_back(uint8_t(rgb[i + 1]));
        bgr.push_back(uint8_t(rgb[i]));
    }
    return bgr;
}

}  // namespace

TEST(FastBMPLayout, PaddingStrideAndRowTable) {
    struct Case {
        int width, padding, stride;
    } cases[] = {{1, 1, 4}, {2, 2, 8}, {3, 3, 12}, {4, 0, 12}, {5, 1, 16}, {250, 2, 752}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        TFastBMP bmp(c.width, 3);
        EXPECT_EQ(bmp.RowPadding, c.padding);
        EXPECT_EQ(bmp.RowStride, c.stride);
        EXPECT_EQ(bmp.DataSize, c.stride * 3);
        ASSERT_EQ(bmp.RowTable.size(), 3u);
        for (int y = 0; y < 3; ++y)
            EXPECT_EQ(bmp.RowTable[size_t(y)], bmp.PixelData + y * c.stride);
        // The stride keeps every row start on a four-byte boundary.
        EXPECT_EQ(c.stride % 4, 0);
    }
}

TEST(FastBMPLayout, RejectsEmptySize) {
    EXPECT_THROW(TFastBMP(0, 5), EFastBMPError);
    EXPECT_THROW(TFastBMP(5, 0), EFastBMPError);
}

TEST(FastRGBClamp, UpperBoundIsTestedFirst) {
    struct Case {
        int value, low, high, expected;
    } cases[] = {{5, 0, -1, -1}, {-3, 0, 10, 0}, {11, 0, 10, 10}, {7, 0, 10, 7}, {-5, 0, -1, 0}};
    for (const Case& c : cases) EXPECT_EQ(ClampInt(c.value, c.low, c.high), c.expected) << c.value;
    EXPECT_EQ(ClampByte(-1), 0);
    EXPECT_EQ(ClampByte(256), 255);
    EXPECT_EQ(ClampByte(128), 128);
}

TEST(FastBMPCopy, CopyHasItsOwnPixels) {
    TFastBMP original(3, 2);
    original.Pixel(2, 1)[0] = 77;
    auto copy = TFastBMP::CreateCopy(original);
    ASSERT_EQ(copy->Width, 3);
    ASSERT_EQ(copy->Height, 2);
    EXPECT_EQ(copy->Pixel(2, 1)[0], 77);
    copy->Pixel(2, 1)[0] = 1;
    copy->Pixel(0, 0)[2] = 9;
    EXPECT_EQ(original.Pixel(2, 1)[0], 77);
    EXPECT_EQ(original.Pixel(0, 0)[2], 0);
}

// Every depth and header ImageMagick writes, decoded by us and by ImageMagick.
TEST(FastBMPReader, MatchesImageMagickForEveryDepth) {
    if (!HaveConvert()) GTEST_SKIP() << "ImageMagick not installed";
    TempDir dir;
    // 23 x 7: the width leaves padding in every depth; the colours are all different.
    {
        std::ofstream ppm(dir.File("src.ppm"), std::ios::binary);
        ppm << "P6 23 7 255\n";
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 23; ++x)
                ppm << char(x * 11) << char(y * 36) << char((x * 7 + y * 13) % 256);
    }
    struct Case {
        const char* name;
        const char* arguments;
    } cases[] = {
        {"24-bit", "-type truecolor BMP3:"},
        {"8-bit", "-type palette -compress none BMP3:"},
        {"8-bit RLE8", "-type palette -compress RLE BMP3:"},
        {"4-bit", "-colors 12 -type palette -compress none BMP3:"},
        {"1-bit", "-colors 2 -type palette BMP3:"},
        {"OS/2 core 24-bit", "BMP2:"},
        {"OS/2 core 8-bit", "-type palette BMP2:"},
        {"16-bit 565 bit fields", "-type truecolor -define bmp:subtype=RGB565 BMP:"},
        {"16-bit 555 bit fields", "-type truecolor -define bmp:subtype=RGB555 BMP:"},
        {"32-bit with alpha, V5 header", "-alpha set -channel A -fx 0.5 +channel BMP:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("case.bmp");
        ASSERT_EQ(std::system(("convert-im6.q16 '" + dir.File("src.ppm") + "' " + c.arguments +
                               "'" + path + "'")
                                  .c_str()),
                  0);
        auto bmp = TFastBMP::CreateFromFile(path);
        ASSERT_EQ(bmp->Width, 23);
        ASSERT_EQ(bmp->Height, 7);
        EXPECT_EQ(Packed(*bmp), DecodeWithConvert(path));
    }
}

TEST(FastBMPReader, BottomUpAndTopDownRows) {
    // Two rows of one pixel: the file's first row is the bottom row unless the height is negative.
    const Bytes rows = {1, 2, 3, 0, 4, 5, 6, 0};
    auto bottomUp = TFastBMP::CreateFromMemory(MakeBmp(1, 2, 24, 0, {}, rows).data(), 62);
    auto topDown = TFastBMP::CreateFromMemory(MakeBmp(1, -2, 24, 0, {}, rows).data(), 62);
    EXPECT_EQ(PixelAt(*bottomUp, 0, 0), (Bytes{4, 5, 6}));
    EXPECT_EQ(PixelAt(*bottomUp, 0, 1), (Bytes{1, 2, 3}));
    EXPECT_EQ(PixelAt(*topDown, 0, 0), (Bytes{1, 2, 3}));
    EXPECT_EQ(PixelAt(*topDown, 0, 1), (Bytes{4, 5, 6}));
}

TEST(FastBMPReader, SixteenAndThirtyTwoBitsWithoutBitFields) {
    // 16 bits default to x555: 0x7FFF white, 0x0421 is 1 in every channel = 00001000 after
    // repeating the bits, 0x7C00 pure red.
    auto b16 = TFastBMP::CreateFromMemory(
        MakeBmp(3, 1, 16, 0, {}, {0xFF, 0x7F, 0x21, 0x04, 0x00, 0x7C, 0, 0}).data(), 62);
    EXPECT_EQ(PixelAt(*b16, 0, 0), (Bytes{255, 255, 255}));
    EXPECT_EQ(PixelAt(*b16, 1, 0), (Bytes{8, 8, 8}));
    EXPECT_EQ(PixelAt(*b16, 2, 0), (Bytes{0, 0, 255}));
    // 32 bits default to B, G, R, unused.
    auto b32 = TFastBMP::CreateFromMemory(MakeBmp(1, 1, 32, 0, {}, {10, 20, 30, 99}).data(), 58);
    EXPECT_EQ(PixelAt(*b32, 0, 0), (Bytes{10, 20, 30}));
    // 565 masks following a plain 40-byte header: 0xF800 red, 0x07E0 green, 0x001F blue.
    Bytes masks;
    Put32(masks, 0xF800);
    Put32(masks, 0x07E0);
    Put32(masks, 0x001F);
    const Bytes file = MakeBmp(2, 1, 16, 3, masks, {0x1F, 0x00, 0x20, 0x00});
    auto b565 = TFastBMP::CreateFromMemory(file.data(), file.size());
    EXPECT_EQ(PixelAt(*b565, 0, 0), (Bytes{255, 0, 0}));
    EXPECT_EQ(PixelAt(*b565, 1, 0), (Bytes{0, 4, 0}));  // 000001 -> 00000100
}

TEST(FastBMPReader, Rle4WithRunsAbsoluteRunsAndDelta) {
    // Palette: 0 black, 1 red, 2 green, 3 blue. Picture 5 x 3, bottom-up.
    const Bytes palette = {0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};
    const Bytes stream = {
        5, 0x12,              // bottom row: 1 2 1 2 1
        0, 0,                 // end of line
        0, 3,    0x32, 0x10,  // middle row, absolute run of 3: 3 2 1, padded to 16 bits
        0, 2,    1,    1,     // delta: right 1, up 1 -> top row, x = 4
        1, 0x30,              // one pixel 3 at (4, top)
        0, 1,                 // end of bitmap
    };
    const Bytes file = MakeBmp(5, 3, 4, 2, palette, stream, 4);
    auto bmp = TFastBMP::CreateFromMemory(file.data(), file.size());
    const Bytes red = {0, 0, 255}, green = {0, 255, 0}, blue = {255, 0, 0}, black = {0, 0, 0};
    const Bytes expected[3][5] = {{black, black, black, black, blue},
                                  {blue, green, red, black, black},
                                  {red, green, red, green, red}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(PixelAt(*bmp, x, y), expected[y][x]) << x << "," << y;
}

TEST(FastBMPReader, RefusesFilesItCannotRead) {
    const Bytes good = MakeBmp(2, 2, 24, 0, {}, Bytes(16, 7));
    struct Case {
        const char* name;
        Bytes file;
    } cases[] = {
        {"empty", {}},
        {"not a BMP", Bytes(80, 'x')},
        {"truncated pixels", Bytes(good.begin(), good.end() - 1)},
        {"zero width", MakeBmp(0, 2, 24, 0, {}, Bytes(16, 7))},
        {"zero height", MakeBmp(2, 0, 24, 0, {}, {})},
        {"2-bit depth", MakeBmp(2, 2, 2, 0, {}, Bytes(16, 7))},
        {"JPEG inside", MakeBmp(2, 2, 24, 4, {}, Bytes(16, 7))},
        {"RLE8 on 24 bits", MakeBmp(2, 2, 24, 1, {}, Bytes(16, 7))},
        {"pixel block over 2 GB", MakeBmp(70000, 70000, 24, 0, {}, Bytes(16, 7))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW(TFastBMP::CreateFromMemory(c.file.data(), c.file.size()), EFastBMPError);
    }
    EXPECT_THROW(TFastBMP::CreateFromFile("/nonexistent/picture.bmp"), EFastBMPError);
}

TEST(FastBMPWriter, WritesA24BitFileImageMagickReadsBack) {
    TempDir dir;
    TFastBMP bmp(5, 3);  // padding 1
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            uint8_t* p = bmp.Pixel(x, y);
            p[0] = uint8_t(x * 40), p[1] = uint8_t(y * 90), p[2] = uint8_t(200 - x * 10);
        }
    const std::string path = dir.File("out.bmp");
    ASSERT_TRUE(bmp.SaveToFile(path));
    std::ifstream in(path, std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(file.size(), 54u + 16u * 3u);
    EXPECT_EQ(file[28], 24);  // bits per pixel
    EXPECT_EQ(file[22], 3);   // positive height: bottom-up
    EXPECT_EQ(Packed(*TFastBMP::CreateFromFile(path)), Packed(bmp));
    if (HaveConvert()) {
        EXPECT_EQ(DecodeWithConvert(path), Packed(bmp));
    }
    // Nothing is left beside the file.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path), fs::directory_iterator()), 1);
}

TEST(FastBMPWriter, FailedWriteKeepsNothingAndReportsFalse) {
    TFastBMP bmp(2, 2);
    EXPECT_FALSE(bmp.SaveToFile("/nonexistent-folder/out.bmp"));
}
