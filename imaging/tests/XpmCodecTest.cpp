// XPM against netpbm and ImageMagick, both ways, pixel for pixel: X11 colour names, hex colours of
// every length, multi-character pixels, XPM2, "None"; damaged files.

#include <gtest/gtest.h>

#include "support/CodecInterop.h"
#include "support/PhotoFixture.h"
#include "support/PnmWrite.h"

namespace {

using namespace kivo::test;
namespace fs = std::filesystem;
const std::string Im = ImageMagickConvert;
std::string Q(const fs::path& p) { return ShellQuote(p.string()); }

TEST(XpmCodec, ReadsWhatPeersWritePixelForPixel) {
    TempDir dir;
    WriteFileBytes(dir / "in.ppm", EncodePnm(MakePhotoFixture(45, 19)));
    const std::string in = Q(dir / "in.ppm");
    // ppmtoxpm names colours from a colour database where it can and needs several characters
    // per pixel for many colours; the reference is xpmtoppm's decode, or ImageMagick's for its
    // own files (xpmtoppm refuses their "static const char"). netpbm's database gives some X11
    // names other values than the X Window System does ("Navy" is 35,35,142 there, 0,0,128 in
    // X11), so the picture of named colours is compared with the colours it was made of.
    struct Case {
        std::string Command;
        std::string Reference;
    } cases[] = {
        {"ppmtoxpm " + in, "xpmtoppm"},
        {"ppmtoxpm -hexonly " + in, "xpmtoppm"},
        {"pnmquant 20 " + in + " 2>/dev/null | ppmtoxpm", "xpmtoppm"},
        {"ppmtoxpm " + Q(dir / "named.ppm"), "named"},
        {Im + " " + in + " XPM:-", "im"},
        {Im + " " + in + " -colors 10 XPM:-", "im"},
    };
    ASSERT_EQ(RunCommand(Im + " -size 40x8 xc:red xc:navy xc:'light goldenrod' xc:gray37 -append " +
                         Q(dir / "named.ppm"))
                  .ExitCode,
              0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Command);
        ASSERT_EQ(RunCommand(c.Command + " > " + Q(dir / "p.xpm") + " 2>/dev/null").ExitCode, 0);
        PnmImage reference;
        if (c.Reference == "named")
            ASSERT_TRUE(ParsePnm(ReadFileBytes(dir / "named.ppm"), &reference));
        else if (c.Reference == "im")
            reference = PeerDecode(Im + " XPM:" + Q(dir / "p.xpm") + " -depth 8 ppm:-");
        else
            reference = PeerDecode("xpmtoppm " + Q(dir / "p.xpm") + " 2>/dev/null");
        EXPECT_EQ(ComparePixels(LoadAs(dir / "p.xpm", FILE_XPM), reference), "");
    }
}

TEST(XpmCodec, ReadsHandWrittenColoursXpm2AndNone) {
    TempDir dir;
    // Each colour form, two characters per pixel (one of them a space), a comment between
    // strings, keys other than c.
    WriteFileBytes(dir / "a.xpm", [] {
        std::string t =
            "/* XPM */\nstatic const char * const x[] = {\n\"4 2 5 2\",\n"
            "\"a  c #F80\", /* short hex */\n\"b  m black c #102030\",\n"
            "\" c g #123456789ABC\",\n\"dd c Dark Slate Gray\",\n\"ee s mask c None\",\n"
            "\"a b  cdd\",\n\"eeddb a \"};\n";
        return Bytes(t.begin(), t.end());
    }());
    BitmapHandle b = LoadAs(dir / "a.xpm", FILE_XPM);
    ASSERT_EQ(b.BitsPerPixel, 32);  // "None" is there
    struct Px {
        int X, Y;
        uint8_t R, G, B, A;
    } expect[] = {{0, 0, 0xFF, 0x88, 0x00, 255}, {1, 0, 0x10, 0x20, 0x30, 255},
                  {2, 0, 0x12, 0x56, 0x9A, 255}, {3, 0, 47, 79, 79, 255},
                  {0, 1, 0, 0, 0, 0}};
    for (const Px& p : expect) {
        SCOPED_TRACE(p.X);
        uint8_t rgba[4];
        BitmapRgba(b, p.X, p.Y, rgba);
        EXPECT_EQ(rgba[0], p.R);
        EXPECT_EQ(rgba[1], p.G);
        EXPECT_EQ(rgba[2], p.B);
        EXPECT_EQ(rgba[3], p.A);
    }
    // The same picture without None as XPM2 loads at 8 bits.
    WriteFileBytes(dir / "b.xpm", [] {
        std::string t = "! XPM2\n3 1 2 1\nr c red\ng c #00FF00\nrgr\n";
        return Bytes(t.begin(), t.end());
    }());
    BitmapHandle c = LoadAs(dir / "b.xpm", FILE_XPM);
    ASSERT_EQ(c.BitsPerPixel, 8);
    EXPECT_EQ(L_GetPixelColor(&c, 0, 0), RGBColor(255, 0, 0));
    EXPECT_EQ(L_GetPixelColor(&c, 1, 0), RGBColor(0, 255, 0));
}

TEST(XpmCodec, PeersReadWhatWeWriteAtEveryDepth) {
    TempDir dir;
    for (int bpp : {8, 16, 24, 32}) {
        SCOPED_TRACE(bpp);
        BitmapHandle b = MakePhotoFixtureAtDepth(77, 21, bpp);
        SaveAs(b, dir / "out.xpm", FILE_XPM, bpp);
        if (bpp == 32) {
            // Alpha below 128 becomes None; ImageMagick reads None as transparent.
            for (int y = 0; y < b.Height; ++y)
                for (int x = 0; x < b.Width; ++x) {
                    uint8_t* p = b.Row(y) + 4 * x;
                    p[3] = p[3] < 128 ? 0 : 255;
                    if (p[3] == 0) p[0] = p[1] = p[2] = 0;
                }
            EXPECT_EQ(ComparePixels(b, PeerDecode(Im + " XPM:" + Q(dir / "out.xpm") +
                                                  " -background black -alpha background -depth 8 pam:-")),
                      "");
            continue;
        }
        EXPECT_EQ(ComparePixels(b, PeerDecode("xpmtoppm " + Q(dir / "out.xpm") + " 2>/dev/null")), "");
        EXPECT_EQ(ComparePixels(b, PeerDecode(Im + " XPM:" + Q(dir / "out.xpm") + " -depth 8 ppm:-")),
                  "");
    }
}

TEST(XpmCodec, DamagedFilesAreRefusedWithAMessage) {
    TempDir dir;
    const std::string bad[] = {
        "/* XPM */\nstatic char *x[] = {\n\"2 1 1 1\",\n\"a c #FF0000\",\n\"ab\"};\n",  // code b
        "/* XPM */\nstatic char *x[] = {\n\"2 1 1 1\",\n\"a c nosuchcolour\",\n\"aa\"};\n",
        "/* XPM */\nstatic char *x[] = {\n\"2 3 1 1\",\n\"a c red\",\n\"aa\"};\n",  // rows missing
        "/* XPM */\nstatic char *x[] = {\n\"2 1 1 1\",\n\"a c red\",\n\"a",          // cut string
    };
    for (const std::string& t : bad) {
        SCOPED_TRACE(t);
        WriteFileBytes(dir / "bad.xpm", Bytes(t.begin(), t.end()));
        BitmapHandle out;
        EXPECT_EQ(L_LoadBitmap((dir / "bad.xpm").string(), &out), ERROR_FILE_CORRUPT);
        auto [code, text] = ToolInfo(dir / "bad.xpm");
        EXPECT_NE(code, 0);
        EXPECT_NE(text.find("damaged or truncated"), std::string::npos) << text;
    }
}

}  // namespace
