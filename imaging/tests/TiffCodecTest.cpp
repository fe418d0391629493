// TIFF against ImageMagick and netpbm: files they write (every compression, grey, palette, RGB,
// CMYK, alpha, 16-bit samples, tiles, separate planes) load with the pixels the peer itself
// decodes; files kivo-image writes at each depth are read by both with the layout and pixels
// asked for.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "codecs/Codec.h"
#include "kivo/imaging/ColorRes.h"
#include "kivo/imaging/File.h"
#include "support/ProgressContract.h"
#include "support/Peer.h"
#include "support/PhotoFixture.h"
#include "support/PnmWrite.h"

namespace {

using namespace kivo::test;

std::string Q(const std::filesystem::path& p) { return ShellQuote(p.string()); }

std::string Expand(std::string command, const std::filesystem::path& dir,
                   const std::filesystem::path& out) {
    auto replace = [&](const std::string& key, const std::string& value) {
        for (size_t at; (at = command.find(key)) != std::string::npos;)
            command.replace(at, key.size(), value);
    };
    replace("IM ", std::string(ImageMagickConvert) + " ");
    replace("{ppm}", Q(dir / "photo.ppm"));
    replace("{pgm}", Q(dir / "photo.pgm"));
    replace("{out}", Q(out));
    replace("{file}", Q(out));
    return command;
}

class TiffTest : public testing::Test {
protected:
    void SetUp() override {
        Photo = MakePhotoFixture(97, 61);
        WritePnm(Photo, Dir / "photo.ppm");
        WritePnm(Photo, Dir / "photo.pgm", true);
    }
    std::string Tool(const std::string& args) { return std::string(KIVO_IMAGE_TOOL) + " " + args; }
    TempDir Dir;
    BitmapHandle Photo;
};

struct ReadCase {
    const char* Name;
    const char* Command;  // writes {out} from {ppm} or {pgm}
    const char* Peer;     // decodes {file} to PNM/PAM on stdout
    int Bpp;
    int Tolerance;
};

// ImageMagick writes a PAM at the file's own sample depth and keeps alpha; CMYK needs its PPM
// writer to become RGB. ImageMagick quantises palette colours to the index depth on output
// (a 4-bit palette comes out with MAXVAL 15), so palette files are decoded by netpbm, which
// truncates 16-bit colormap entries to 8 bits where we round (hence a tolerance of 1).
#define IMPAM "IM {file}[0] pam:-"
#define IMPPM "IM {file} ppm:-"
#define NETPBM "tifftopnm -quiet {file}"
#define IMUPRIGHT "IM {file} -auto-orient pam:-"

// clang-format off
const ReadCase ReadCases[] = {
    {"im-none",             "IM {ppm} -compress None {out}", IMPAM, 24, 0},
    {"im-lzw",              "IM {ppm} -compress LZW {out}", IMPAM, 24, 0},
    {"im-deflate",          "IM {ppm} -compress Zip {out}", IMPAM, 24, 0},
    {"im-packbits",         "IM {ppm} -compress RLE {out}", IMPAM, 24, 0},
    {"im-jpeg-rgb",         "IM {ppm} -compress JPEG {out}", IMPAM, 24, 0},
    {"im-jpeg-ycbcr",       "IM {ppm} -colorspace YCbCr -compress JPEG {out}", IMPAM, 24, 0},
    // Not JPEG-compressed, so libtiff's RGBA reader converts it; it rounds differently.
    {"im-ycbcr-lzw",        "IM {ppm} -colorspace YCbCr -compress LZW {out}", IMPPM, 24, 1},
    {"im-g4",               "IM {ppm} -monochrome -compress Group4 {out}", IMPAM, 1, 0},
    {"im-g3",               "IM {ppm} -monochrome -compress Fax {out}", IMPAM, 1, 0},
    {"im-palette",          "IM {ppm} -type Palette -compress LZW {out}", NETPBM, 8, 1},
    {"im-palette-16",       "IM {ppm} -colors 16 -type Palette {out}", NETPBM, 4, 1},
    {"im-grey-8",           "IM {ppm} -colorspace Gray {out}", IMPAM, 8, 0},
    {"im-grey-16",          "IM {pgm} -depth 16 -compress Zip {out}", IMPAM, 8, 0},
    {"im-grey-4",           "IM {pgm} -depth 4 {out}", IMPAM, 4, 0},
    {"im-grey-2",           "IM {pgm} -depth 2 {out}", IMPAM, 4, 0},
    {"im-rgb-16",           "IM {ppm} -depth 16 -compress LZW {out}", IMPAM, 24, 0},
    {"im-cmyk",             "IM {ppm} -colorspace CMYK {out}", IMPPM, 24, 1},
    {"im-cmyk-16",          "IM {ppm} -colorspace CMYK -depth 16 {out}", IMPPM, 24, 1},
    {"im-tiles",            "IM {ppm} -define tiff:tile-geometry=32x32 {out}", IMPAM, 24, 0},
    {"im-tiles-grey-16",    "IM {pgm} -depth 16 -define tiff:tile-geometry=16x16 {out}", IMPAM, 8, 0},
    {"im-planes",           "IM {ppm} -interlace Plane -compress LZW {out}", IMPAM, 24, 0},
    {"im-planes-tiles-16",  "IM {ppm} -depth 16 -interlace Plane -define tiff:tile-geometry=48x16 {out}", IMPAM, 24, 0},
    {"im-alpha-straight",   "IM {ppm} -alpha set -channel A -fx 'i/w' -define tiff:alpha=unassociated {out}", IMPAM, 32, 0},
    {"im-alpha-premultiplied", "IM {ppm} -alpha set -channel A -fx '0.5+j/h/2' -define tiff:alpha=associated {out}", IMPAM, 32, 2},
    {"im-grey-alpha",       "IM {pgm} -alpha set -channel A -fx 'i/w' -define tiff:alpha=unassociated {out}", IMPAM, 32, 0},
    {"im-odd-13x7",         "IM {ppm} -resize 13x7! -compress LZW {out}", IMPAM, 24, 0},
    {"im-min-is-white",     "IM {pgm} -define quantum:polarity=min-is-white -compress LZW {out}", IMPAM, 8, 0},
    {"im-multipage-first",  "IM {ppm} \\( {pgm} -resize 10x10! \\) -compress LZW {out}", IMPAM, 24, 0},
    {"netpbm-lzw-predictor", "pnmtotiff -lzw -predictor=2 {ppm} > {out}", NETPBM, 24, 0},
    {"netpbm-packbits-rows1", "pnmtotiff -packbits -rowsperstrip=1 {ppm} > {out}", NETPBM, 24, 0},
    {"netpbm-flate-grey",   "pnmtotiff -flate {pgm} > {out}", NETPBM, 8, 0},
    {"netpbm-min-is-white", "pnmtotiff -miniswhite {pgm} > {out}", NETPBM, 8, 0},
    {"netpbm-palette",      "pnmquant 12 {ppm} | pnmtotiff -lzw > {out}", NETPBM, 8, 0},
    {"netpbm-g4",           "pamditherbw {pgm} | pnmtotiff -g4 > {out}", NETPBM, 1, 0},
    {"netpbm-g3-lsb2msb",   "pamditherbw {pgm} | pnmtotiff -g3 -lsb2msb > {out}", NETPBM, 1, 0},
    // Rows stored in another order than top-left: the peer turns them upright.
    {"im-orient-topright",  "IM {ppm} -orient TopRight {out}", IMUPRIGHT, 24, 0},
    {"im-orient-bottomright", "IM {ppm} -orient BottomRight {out}", IMUPRIGHT, 24, 0},
    {"im-orient-bottomleft", "IM {ppm} -orient BottomLeft {out}", IMUPRIGHT, 24, 0},
    {"im-orient-lefttop",   "IM {ppm} -orient LeftTop {out}", IMUPRIGHT, 24, 0},
    {"im-orient-righttop",  "IM {ppm} -orient RightTop {out}", IMUPRIGHT, 24, 0},
    {"im-orient-rightbottom", "IM {ppm} -orient RightBottom {out}", IMUPRIGHT, 24, 0},
    {"im-orient-leftbottom", "IM {ppm} -orient LeftBottom {out}", IMUPRIGHT, 24, 0},
    {"im-orient-g4-righttop", "IM {ppm} -monochrome -compress Group4 -orient RightTop {out}", IMUPRIGHT, 1, 0},
    {"im-orient-palette-leftbottom", "IM {ppm} -colors 16 -type Palette -orient LeftBottom {out}", "IM {file} -auto-orient -depth 8 ppm:-", 4, 1},
};
// clang-format on

TEST_F(TiffTest, PeerFilesLoadWithThePeersPixels) {
    for (const ReadCase& c : ReadCases) {
        SCOPED_TRACE(c.Name);
        const auto file = Dir / (std::string(c.Name) + ".tif");
        ASSERT_EQ(RunCommand(Expand(c.Command, Dir.Path(), file)).ExitCode, 0);
        BitmapHandle ours;
        FileInfo info;
        ASSERT_EQ(L_LoadBitmap(file.string(), &ours, 0, 1, nullptr, &info), SUCCESS);
        EXPECT_EQ(info.Format, FILE_TIF);
        EXPECT_EQ(ours.BitsPerPixel, c.Bpp);
        EXPECT_EQ(ComparePixels(ours, PeerDecode(Expand(c.Peer, Dir.Path(), file)), c.Tolerance),
                  "");
        if (c.Bpp <= 8 && std::string(c.Name).find("grey") != std::string::npos) {
            EXPECT_TRUE(kivo::IsGreyRampPalette(ours.Palette));
        }
    }
}

// kivo-image converts a BMP holding the picture at each depth to TIFF (the save table keeps
// the depth); the file's layout is read back with libtiff's own directory dump (via
// tifftopnm) and ImageMagick, and both peers' pixels are the picture's.
TEST_F(TiffTest, EveryDepthIsWrittenAsPeersExpect) {
    struct Case {
        bool Grey;
        int Bpp;
        const char* Photometric;  // as libtiff prints it
        int BitsPerSample;
        const char* ImageMagick;  // %[type] %C %[tiff:alpha]
        bool Predictor;
    };
    // clang-format off
    const Case cases[] = {
        {true, 1, "min-is-black", 1, "Bilevel LZW unspecified", false},
        {false, 1, "palette color", 1, "Palette LZW unspecified", false},
        {true, 4, "min-is-black", 4, "Grayscale LZW unspecified", false},
        {false, 4, "palette color", 4, "Palette LZW unspecified", false},
        {true, 8, "min-is-black", 8, "Grayscale LZW unspecified", true},
        {false, 8, "palette color", 8, "Palette LZW unspecified", false},
        {false, 16, "RGB color", 8, "TrueColor LZW unspecified", true},
        {false, 24, "RGB color", 8, "TrueColor LZW unspecified", true},
        {false, 32, "RGB color", 8, "TrueColorAlpha LZW unassociated", true},
    };
    // clang-format on
    BitmapHandle grey;
    ASSERT_EQ(L_LoadBitmap((Dir / "photo.pgm").string(), &grey), SUCCESS);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.Grey ? "grey" : "colour") << " at " << c.Bpp);
        // Grey pictures keep a grey ramp at every depth; colour ones get an optimised palette,
        // and at 32 bits a varying alpha.
        BitmapHandle saved = MakePhotoFixtureAtDepth(97, 61, c.Bpp);
        if (c.Grey) {
            ASSERT_EQ(L_ColorResBitmap(&grey, &saved, c.Bpp, CRF_OPTIMIZEDPALETTE), SUCCESS);
        }
        const auto in = Dir / "in.bmp";
        const auto out = Dir / ("out-" + std::to_string(c.Bpp) + ".tif");
        ASSERT_EQ(L_SaveBitmap(in.string(), &saved, FILE_BMP, c.Bpp), SUCCESS);
        ASSERT_EQ(RunCommand(Tool("convert " + Q(in) + " " + Q(out))).ExitCode, 0);
        const std::string dump = CommandText("tifftopnm -headerdump " + Q(out) + " 2>&1 >/dev/null");
        EXPECT_NE(dump.find(std::string("Photometric Interpretation: ") + c.Photometric),
                  std::string::npos)
            << dump;
        EXPECT_NE(dump.find("Bits/Sample: " + std::to_string(c.BitsPerSample)), std::string::npos)
            << dump;
        EXPECT_NE(dump.find("Compression Scheme: LZW"), std::string::npos) << dump;
        EXPECT_EQ(dump.find("Predictor: horizontal differencing") != std::string::npos, c.Predictor)
            << dump;
        EXPECT_EQ(CommandText("identify -format '%w %h %[type] %C %[tiff:alpha]' " + Q(out)),
                  "97 61 " + std::string(c.ImageMagick));
        // -depth 8: ImageMagick would otherwise quantise palette colours to the index depth.
        EXPECT_EQ(ComparePixels(saved, PeerDecode(std::string(ImageMagickConvert) + " " + Q(out) +
                                                  " -depth 8 pam:-")),
                  "");
        // tifftopnm multiplies colours by alpha, so it is a peer for the opaque depths only.
        if (c.Bpp != 32) {
            EXPECT_EQ(ComparePixels(saved, PeerDecode("tifftopnm -quiet " + Q(out))), "");
        }
        BitmapHandle back;
        ASSERT_EQ(L_LoadBitmap(out.string(), &back), SUCCESS);
        EXPECT_EQ(back.BitsPerPixel, c.Bpp == 16 ? 24 : c.Bpp);
        EXPECT_EQ(ComparePixels(back, PeerDecode(std::string(ImageMagickConvert) + " " + Q(out) +
                                                 " -depth 8 pam:-")),
                  "");
    }
}

// The polarity of a 1-bit file follows the palette, and a 32-bit picture's alpha (with colour
// under fully transparent pixels) survives.
TEST_F(TiffTest, BilevelPolarityAndStraightAlphaAreKept) {
    struct Case {
        RgbQuad Palette[2];
        const char* Photometric;
    };
    const Case cases[] = {
        {{{0, 0, 0, 0}, {255, 255, 255, 0}}, "min-is-black"},
        {{{255, 255, 255, 0}, {0, 0, 0, 0}}, "min-is-white"},
        {{{0, 0, 255, 0}, {255, 0, 0, 0}}, "palette"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Photometric);
        BitmapHandle b;
        ASSERT_EQ(L_CreateBitmap(&b, 1, 21, 9, 1, 1, c.Palette), SUCCESS);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 21; ++x)
                ASSERT_EQ(L_PutPixelColor(&b, x, y,
                                          (x * y) % 3 ? RGBColor(c.Palette[1].Red, c.Palette[1].Green,
                                                                 c.Palette[1].Blue)
                                                      : RGBColor(c.Palette[0].Red, c.Palette[0].Green,
                                                                 c.Palette[0].Blue)),
                          SUCCESS);
        const auto out = Dir / "bits.tif";
        ASSERT_EQ(L_SaveBitmap(out.string(), &b, FILE_TIF, 1), SUCCESS);
        EXPECT_EQ(CommandText("identify -format '%[tiff:photometric]' " + Q(out)), c.Photometric);
        EXPECT_EQ(ComparePixels(b, PeerDecode("tifftopnm -quiet " + Q(out))), "");
    }

    BitmapHandle rgba = MakePhotoFixtureAtDepth(33, 17, 32);
    for (int x = 0; x < 33; ++x) rgba.Row(5)[x * 4 + 3] = 0;  // transparent, colour kept
    const auto out = Dir / "alpha.tif";
    ASSERT_EQ(L_SaveBitmap(out.string(), &rgba, FILE_TIF, 32), SUCCESS);
    EXPECT_EQ(ComparePixels(rgba, PeerDecode(std::string(ImageMagickConvert) + " " + Q(out) +
                                             " pam:-")),
              "");
    BitmapHandle back;
    ASSERT_EQ(L_LoadBitmap(out.string(), &back), SUCCESS);
    ASSERT_EQ(back.BitsPerPixel, 32);
    for (int y = 0; y < 17; ++y)
        EXPECT_EQ(std::memcmp(back.Row(y), rgba.Row(y), 33 * 4), 0) << "row " << y;
}

// A hand-made little-endian TIFF: one IFD of LONG entries and then the strip data.
Bytes MakeTiff(std::vector<std::pair<uint16_t, uint32_t>> entries, const Bytes& strip) {
    constexpr uint32_t StripOffsetPlaceholder = 0xFFFFFFFF;
    std::sort(entries.begin(), entries.end());
    Bytes b = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto u16 = [&](uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
    const uint32_t dataOffset = 8 + 2 + 12 * uint32_t(entries.size()) + 4;
    u16(uint32_t(entries.size()));
    for (auto [tag, value] : entries) {
        u16(tag);
        u16(4);  // LONG
        u32(1);
        u32(value == StripOffsetPlaceholder ? dataOffset : value);
    }
    u32(0);
    b.insert(b.end(), strip.begin(), strip.end());
    return b;
}

TEST_F(TiffTest, HostileHeadersFailCleanlyAndSilently) {
    const uint32_t here = 0xFFFFFFFF;  // the strip's offset
    struct Case {
        const char* Name;
        std::vector<std::pair<uint16_t, uint32_t>> Entries;
        size_t StripSize;
        int Status;  // 0: any error
    };
    const Case cases[] = {
        {"valid 4x2 grey", {{256, 4}, {257, 2}, {258, 8}, {262, 1}, {273, here}, {278, 2}, {279, 8}},
         8, SUCCESS},
        {"100000 x 100000", {{256, 100000}, {257, 100000}, {258, 8}, {262, 1}, {273, here}, {279, 8}},
         8, ERROR_IMAGE_TOO_LARGE},
        {"strip shorter than its rows", {{256, 64}, {257, 64}, {258, 8}, {262, 1}, {273, here}, {279, 100}},
         100, ERROR_FILE_CORRUPT},
        {"tile of 2^20 x 2^20 on 16 x 16",
         {{256, 16}, {257, 16}, {258, 8}, {262, 1}, {322, 1 << 20}, {323, 1 << 20}, {324, here}, {325, 8}},
         8, 0},
        {"strip offset past the end", {{256, 4}, {257, 2}, {258, 8}, {262, 1}, {273, 1 << 30}, {279, 8}},
         8, 0},
        {"no width", {{257, 2}, {258, 8}, {262, 1}, {273, here}, {279, 8}}, 8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Bytes file = MakeTiff(c.Entries, Bytes(c.StripSize, 0x80));
        BitmapHandle b;
        testing::internal::CaptureStderr();
        const int status = L_LoadBitmapMemory(file.data(), file.size(), &b);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        if (c.Status == 0)
            EXPECT_LT(status, 0);
        else
            EXPECT_EQ(status, c.Status);
    }
}

TEST_F(TiffTest, ProgressReachesEveryRowAndAbortStops) {
    ExpectProgressContract(MakePhotoFixture(200, 600), FILE_TIF, 24, 10);
}

}  // namespace
