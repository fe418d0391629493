// Sun Raster against netpbm and ImageMagick, both ways, pixel for pixel: standard, RLE and
// RGB-ordered files; our 4-bit pictures as 8-bit with a 16-entry map; damaged files.

#include <gtest/gtest.h>

#include "support/CodecInterop.h"
#include "support/PhotoFixture.h"
#include "support/PnmWrite.h"

namespace {

using namespace kivo::test;
namespace fs = std::filesystem;
const std::string Im = ImageMagickConvert;
std::string Q(const fs::path& p) { return ShellQuote(p.string()); }

TEST(RasCodec, ReadsWhatPeersWritePixelForPixel) {
    TempDir dir;
    WriteFileBytes(dir / "in.ppm", EncodePnm(MakePhotoFixture(45, 19)));
    const std::string in = Q(dir / "in.ppm");
    const std::string cases[] = {
        "pnmtorast " + in,
        "pnmtorast -rle " + in,
        "pnmquant 60 " + in + " 2>/dev/null | pnmtorast -rle",
        "ppmtopgm " + in + " | pnmtorast",
        "ppmtopgm " + in + " | pamthreshold 2>/dev/null | pamtopnm | pnmtorast -rle",
        Im + " " + in + " SUN:-",
        Im + " " + in + " -colors 30 SUN:-",
        Im + " " + in + " -monochrome SUN:-",
    };
    for (const std::string& c : cases) {
        SCOPED_TRACE(c);
        ASSERT_EQ(RunCommand(c + " > " + Q(dir / "p.ras") + " 2>/dev/null").ExitCode, 0);
        EXPECT_EQ(ComparePixels(LoadAs(dir / "p.ras", FILE_RAS),
                                PeerDecode("rasttopnm " + Q(dir / "p.ras") + " 2>/dev/null")),
                  "");
    }
    // Type 3 (RGB order): the standard file with its type changed and B and R swapped.
    ASSERT_EQ(RunCommand("pnmtorast " + in + " > " + Q(dir / "std.ras") + " 2>/dev/null").ExitCode, 0);
    Bytes f = ReadFileBytes(dir / "std.ras");
    ASSERT_EQ(f[23], 1);
    f[23] = 3;
    const size_t rowBytes = (45 * 3 + 1) / 2 * 2;
    for (size_t y = 0; y < 19; ++y)
        for (size_t x = 0; x < 45; ++x) std::swap(f[32 + y * rowBytes + 3 * x], f[32 + y * rowBytes + 3 * x + 2]);
    WriteFileBytes(dir / "rgb.ras", f);
    PnmImage reference;
    ASSERT_TRUE(ParsePnm(ReadFileBytes(dir / "in.ppm"), &reference));
    EXPECT_EQ(ComparePixels(LoadAs(dir / "rgb.ras", FILE_RAS), reference), "");
}

TEST(RasCodec, PeersReadWhatWeWriteAtEveryDepth) {
    TempDir dir;
    for (int bpp : {1, 4, 8, 24, 32}) {
        SCOPED_TRACE(bpp);
        BitmapHandle b = MakePhotoFixtureAtDepth(77, 21, bpp);
        SaveAs(b, dir / "out.ras", FILE_RAS, bpp);
        if (bpp == 4) {
            EXPECT_EQ(ReadFileBytes(dir / "out.ras")[15], 8);  // stored as 8 bits
        }
        // rasttopnm swaps the two entries of a one-bit file's colour map (ImageMagick, below,
        // does not); black and white one-bit files are checked with it further down.
        if (bpp != 1) {
            EXPECT_EQ(ComparePixels(b, PeerDecode("rasttopnm " + Q(dir / "out.ras") + " 2>/dev/null")),
                      "");
        }
        EXPECT_EQ(ComparePixels(b, PeerDecode(Im + " SUN:" + Q(dir / "out.ras") + " -depth 8 ppm:-")),
                  "");
    }
    // Black and white goes without a map, 1 = black.
    BitmapHandle bw = MakePhotoFixtureAtDepth(30, 5, 1);
    bw.Palette = {RgbQuad{0, 0, 0, 0}, RgbQuad{255, 255, 255, 0}};
    SaveAs(bw, dir / "bw.ras", FILE_RAS, 1);
    EXPECT_EQ(ReadFileBytes(dir / "bw.ras")[27], 0);
    EXPECT_EQ(ComparePixels(bw, PeerDecode("rasttopnm " + Q(dir / "bw.ras") + " 2>/dev/null")), "");
}

TEST(RasCodec, DamagedFilesAreRefusedWithAMessage) {
    TempDir dir;
    ASSERT_EQ(RunCommand(Im + " -size 40x30 gradient: -depth 8 ppm:- | pnmtorast -rle > " +
                         Q(dir / "ok.ras"))
                  .ExitCode,
              0);
    const Bytes good = ReadFileBytes(dir / "ok.ras");
    WriteFileBytes(dir / "cut.ras", Bytes(good.begin(), good.begin() + good.size() / 2));
    auto [code, text] = ToolInfo(dir / "cut.ras");
    EXPECT_NE(code, 0);
    EXPECT_NE(text.find("damaged or truncated"), std::string::npos) << text;
    Bytes badMap = good;
    badMap[31] = 0xFF;  // a colour map longer than the file
    badMap[30] = 0xFF;
    WriteFileBytes(dir / "map.ras", badMap);
    BitmapHandle out;
    EXPECT_EQ(L_LoadBitmap((dir / "map.ras").string(), &out), ERROR_FILE_CORRUPT);
}

}  // namespace
