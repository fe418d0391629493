#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/ColorRes.h"
#include "kivo/imaging/File.h"
#include "support/PhotoFixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes RunOutput(const std::string& command) {
    Bytes out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.insert(out.end(), buf, buf + n);
    EXPECT_EQ(pclose(p), 0) << command;
    return out;
}

// ImageMagick's reading of a file as 8-bit R, G, B bytes.
Bytes MagickRgb(const std::string& path) {
    return RunOutput("convert-im6.q16 " + path + " -depth 8 rgb:-");
}

Bytes OurRgb(const BitmapHandle& b) {
    Bytes out;
    for (int y = 0; y < b.Height; ++y)
        for (int x = 0; x < b.Width; ++x) {
            const ColorRef c = L_GetPixelColor(&b, x, y);
            out.insert(out.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
        }
    return out;
}

// Largest per-sample difference, or -1 when the sizes differ.
int MaxDifference(const Bytes& a, const Bytes& b) {
    if (a.size() != b.size()) return -1;
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

class PnmCodec : public testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v convert-im6.q16 >/dev/null && command -v pamdepth "
                        ">/dev/null && command -v pamditherbw >/dev/null") != 0)
            GTEST_SKIP() << "ImageMagick or netpbm is not installed";
        Dir = std::filesystem::temp_directory_path() / ("kivo-pnm-" + std::to_string(::getpid()));
        std::filesystem::create_directories(Dir);
    }
    void TearDown() override {
        std::error_code ec;
        if (!Dir.empty()) std::filesystem::remove_all(Dir, ec);
    }
    std::string PathOf(const std::string& name) const { return (Dir / name).string(); }
    std::filesystem::path Dir;
};

// Files netpbm writes (8-bit, 16-bit and 4-bit samples; grey, colour, black and white; odd
// widths) read as ImageMagick reads them.
TEST_F(PnmCodec, ReadsWhatNetpbmWrites) {
    const std::string src = PathOf("src.ppm");
    ASSERT_EQ(std::system(("convert-im6.q16 -size 37x11 gradient:red-blue -fx "
                           "'u*0.8+0.1*sin(i)' -depth 8 ppm:" + src)
                              .c_str()),
              0);
    struct Case {
        const char* Name;
        const char* Command;  // %s = the source file
        int Bpp;
        int Tolerance;
    } cases[] = {
        {"colour-8.ppm", "cat %s", 24, 0},
        {"grey-8.pgm", "ppmtopgm %s", 8, 0},
        {"colour-16.ppm", "pamdepth 65535 %s", 24, 1},
        {"grey-16.pgm", "ppmtopgm %s | pamdepth 65535", 8, 1},
        {"colour-15.ppm", "pamdepth 15 %s", 24, 0},
        {"bw.pbm", "ppmtopgm %s | pamditherbw -floyd | pamtopnm", 1, 0},
        {"commented.ppm", "sed '1a # a comment line' %s", 24, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = PathOf(c.Name);
        char command[512];
        std::snprintf(command, sizeof command, c.Command, src.c_str());
        ASSERT_EQ(std::system((std::string(command) + " > " + path).c_str()), 0);
        BitmapHandle b;
        FileInfo info;
        ASSERT_EQ(L_LoadBitmap(path, &b, 0, 1, nullptr, &info), SUCCESS);
        EXPECT_EQ(info.Format, FILE_PNM);
        EXPECT_EQ(b.Width, 37);
        EXPECT_EQ(b.Height, 11);
        EXPECT_EQ(b.BitsPerPixel, c.Bpp);
        EXPECT_LE(MaxDifference(OurRgb(b), MagickRgb(path)), c.Tolerance);
    }
}

// What we write ImageMagick reads back with the same colours, in the plainest kind that holds
// the picture.
TEST_F(PnmCodec, WritesWhatImageMagickReads) {
    BitmapHandle photo = kivo::test::MakePhotoFixture(29, 13, 4);
    const RgbQuad bw[2] = {RgbQuad{255, 255, 255, 0}, RgbQuad{0, 0, 0, 0}};
    const RgbQuad wb[2] = {RgbQuad{0, 0, 0, 0}, RgbQuad{255, 255, 255, 0}};
    struct Case {
        const char* Name;
        int Bpp;
        const RgbQuad* Palette;
        const char* Magic;
    } cases[] = {
        {"colour-24", 24, nullptr, "P6"}, {"colour-32", 32, nullptr, "P6"},
        {"colour-16", 16, nullptr, "P6"}, {"palette-8", 8, nullptr, "P6"},
        {"palette-4", 4, nullptr, "P6"},  {"white-black-1", 1, bw, "P4"},
        {"black-white-1", 1, wb, "P4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        BitmapHandle b;
        ASSERT_EQ(L_ColorResBitmap(&photo, &b, c.Bpp, CRF_FLOYDSTEINDITHERING, c.Palette,
                                   c.Palette ? 2 : 0),
                  SUCCESS);
        const std::string path = PathOf(std::string(c.Name) + ".pnm");
        ASSERT_EQ(L_SaveBitmap(path, &b, FILE_PNM, 0), SUCCESS);
        std::ifstream f(path, std::ios::binary);
        Bytes head(2);
        f.read(reinterpret_cast<char*>(head.data()), 2);
        EXPECT_EQ(std::string(head.begin(), head.end()), c.Magic);
        EXPECT_EQ(MaxDifference(OurRgb(b), MagickRgb(path)), 0);
    }
    // A grey picture goes out as P5.
    BitmapHandle grey;
    ASSERT_EQ(L_CreateBitmap(&grey, 1, 31, 5, 8), SUCCESS);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 31; ++x) grey.Row(y)[x] = uint8_t(x * 8 + y);
    const std::string path = PathOf("grey.pgm");
    ASSERT_EQ(L_SaveBitmap(path, &grey, FILE_PNM, 0), SUCCESS);
    EXPECT_EQ(RunOutput("head -c 2 " + path), (Bytes{'P', '5'}));
    EXPECT_EQ(MaxDifference(OurRgb(grey), MagickRgb(path)), 0);
}

TEST(PnmCodecErrors, RefusesDamagedHeadersAndShortData) {
    auto load = [](const std::string& text) {
        BitmapHandle b;
        return L_LoadBitmapMemory(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &b);
    };
    const std::string pixels(2 * 2 * 3, '\x7f');
    EXPECT_EQ(load("P6\n2 2\n255\n" + pixels), SUCCESS);
    EXPECT_EQ(load("P6\n2 2\n255\n" + pixels.substr(1)), ERROR_FILE_CORRUPT);
    EXPECT_EQ(load("P6\n2 2\n0\n" + pixels), ERROR_FILE_CORRUPT);
    EXPECT_EQ(load("P6\n2 2\n70000\n" + pixels), ERROR_FILE_CORRUPT);
    EXPECT_EQ(load("P6\n0 2\n255\n"), ERROR_FILE_CORRUPT);
    EXPECT_EQ(load("P6\n2 2\n255"), ERROR_FILE_CORRUPT);
    EXPECT_EQ(load("P6\n2 # no height\n"), ERROR_FILE_CORRUPT);
    EXPECT_EQ(load("P5\n99999999 99999999\n255\n"), ERROR_IMAGE_TOO_LARGE);
    EXPECT_EQ(load("P4\n9 1\n\xff"), ERROR_FILE_CORRUPT);  // a 9-pixel row needs two bytes
}

}  // namespace
