// TGA against netpbm and ImageMagick, both ways, pixel for pixel: every origin corner, RLE,
// colour-mapped and grey files; the strict sniff; damaged files.

#include <gtest/gtest.h>

#include "support/CodecInterop.h"
#include "support/PhotoFixture.h"
#include "support/PnmWrite.h"

namespace {

using namespace kivo::test;
namespace fs = std::filesystem;
const std::string Im = ImageMagickConvert;
std::string Q(const fs::path& p) { return ShellQuote(p.string()); }

TEST(TgaCodec, ReadsWhatPeersWritePixelForPixel) {
    TempDir dir;
    WriteFileBytes(dir / "in.ppm", EncodePnm(MakePhotoFixture(45, 19)));
    const std::string in = Q(dir / "in.ppm");
    // The reference is tgatoppm's decode (ImageMagick misreads pamtotga's RLE packets that run
    // across rows).
    const std::string cases[] = {
        "pamtotga " + in,
        "pamtotga -norle " + in,
        "pnmquant 100 " + in + " 2>/dev/null | pamtotga -cmap",
        "pnmquant 100 " + in + " 2>/dev/null | pamtotga -cmap -norle",
        "pnmquant 100 " + in + " 2>/dev/null | pamtotga -cmap16",  // 16-bit map entries
        "ppmtopgm " + in + " | pamtotga -mono",
        Im + " " + in + " -compress RLE TGA:-",
        Im + " " + in + " -colors 40 TGA:-",
        Im + " " + in + " -depth 5 -define tga:bits-per-pixel=16 TGA:-",
    };
    for (const std::string& c : cases) {
        SCOPED_TRACE(c);
        ASSERT_EQ(RunCommand(c + " > " + Q(dir / "p.tga") + " 2>/dev/null").ExitCode, 0);
        PnmImage reference = PeerDecode("tgatoppm " + Q(dir / "p.tga") + " 2>/dev/null");
        const int tolerance = c.find("16") != std::string::npos ? 1 : 0;  // 5-bit widening
        EXPECT_EQ(ComparePixels(LoadAs(dir / "p.tga", FILE_TGA), reference, tolerance), "");
    }
}

// The four origin corners: our top-left file with its rows and columns rearranged by hand and the
// descriptor bits set to match must read as the same picture.
TEST(TgaCodec, ReadsEveryOriginCorner) {
    TempDir dir;
    const int w = 13, h = 7;
    BitmapHandle b = MakePhotoFixtureAtDepth(w, h, 24);
    SaveAs(b, dir / "tl.tga", FILE_TGA, 24);
    const Bytes tl = ReadFileBytes(dir / "tl.tga");
    for (uint8_t corner : {0x00, 0x10, 0x20, 0x30}) {
        SCOPED_TRACE(int(corner));
        Bytes f = tl;
        f[17] = corner;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int sy = (corner & 0x20) ? y : h - 1 - y;
                const int sx = (corner & 0x10) ? w - 1 - x : x;
                for (int c = 0; c < 3; ++c)
                    f[18 + (size_t(y) * w + x) * 3 + c] = tl[18 + (size_t(sy) * w + sx) * 3 + c];
            }
        WriteFileBytes(dir / "c.tga", f);
        EXPECT_EQ(Psnr(LoadAs(dir / "c.tga", FILE_TGA), b), 99);
    }
}

TEST(TgaCodec, PeersReadWhatWeWriteAtEveryDepth) {
    TempDir dir;
    for (int bpp : {8, 16, 24, 32}) {
        SCOPED_TRACE(bpp);
        BitmapHandle b = MakePhotoFixtureAtDepth(77, 21, bpp);
        SaveAs(b, dir / "out.tga", FILE_TGA, bpp);
        // 16 bits: the peers widen 5-bit levels by rounding, we by bit replication (1 apart).
        const int tolerance = bpp == 16 ? 1 : 0;
        EXPECT_EQ(ComparePixels(b, PeerDecode(Im + " TGA:" + Q(dir / "out.tga") + " -depth 8 pam:-"),
                                tolerance),
                  "");
        if (bpp != 32) {  // tgatoppm drops alpha
            EXPECT_EQ(ComparePixels(b, PeerDecode("tgatoppm " + Q(dir / "out.tga") + " 2>/dev/null"),
                                    tolerance),
                      "");
        }
    }
    // An 8-bit grey ramp goes out as a grey picture.
    BitmapHandle grey = MakePhotoFixtureAtDepth(20, 10, 8);
    grey.Palette.resize(256);
    for (int i = 0; i < 256; ++i) grey.Palette[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
    SaveAs(grey, dir / "grey.tga", FILE_TGA, 8);
    EXPECT_EQ(ReadFileBytes(dir / "grey.tga")[2], 3);
    EXPECT_EQ(ComparePixels(grey, PeerDecode("tgatoppm " + Q(dir / "grey.tga") + " 2>/dev/null")), "");
}

TEST(TgaCodec, ImplausibleAndDamagedFilesAreRefused) {
    TempDir dir;
    SaveAs(MakePhotoFixtureAtDepth(40, 30, 24), dir / "ok.tga", FILE_TGA, 24);
    const Bytes good = ReadFileBytes(dir / "ok.tga");
    struct Case {
        const char* Name;
        size_t At;
        uint8_t Value;
    } cases[] = {{"unknown image type", 2, 5},
                 {"depth 13", 16, 13},
                 {"interleaved rows", 17, 0x60},
                 {"colour map on a true-colour file", 1, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Bytes bad = good;
        bad[c.At] = c.Value;
        WriteFileBytes(dir / "bad.tga", bad);
        BitmapHandle out;
        EXPECT_EQ(L_LoadBitmap((dir / "bad.tga").string(), &out), ERROR_FILE_FORMAT);
    }
    // Without a signature, data shorter than the header promises is not a TGA.
    WriteFileBytes(dir / "cut.tga", Bytes(good.begin(), good.end() - 1));
    auto [code, text] = ToolInfo(dir / "cut.tga");
    EXPECT_NE(code, 0);
    EXPECT_NE(text.find("not a picture"), std::string::npos) << text;
    // An RLE file whose packets run out is damage.
    ASSERT_EQ(RunCommand(std::string(Im) + " " + Q(dir / "ok.tga") + " -compress RLE TGA:" +
                         Q(dir / "rle.tga"))
                  .ExitCode,
              0);
    Bytes rle = ReadFileBytes(dir / "rle.tga");
    WriteFileBytes(dir / "rle-cut.tga", Bytes(rle.begin(), rle.begin() + 18 + 100));
    BitmapHandle out;
    EXPECT_EQ(L_LoadBitmap((dir / "rle-cut.tga").string(), &out), ERROR_FILE_CORRUPT);
}

}  // namespace
