// PCX and DCX against netpbm and ImageMagick, both ways, pixel for pixel; EGA plane layouts;
// damaged files.

#include <gtest/gtest.h>

#include "support/CodecInterop.h"
#include "support/PhotoFixture.h"
#include "support/PnmWrite.h"

namespace {

using namespace kivo::test;
namespace fs = std::filesystem;
const std::string Im = ImageMagickConvert;
std::string Q(const fs::path& p) { return ShellQuote(p.string()); }

TEST(PcxCodec, ReadsWhatPeersWritePixelForPixel) {
    TempDir dir;
    WriteFileBytes(dir / "in.ppm", EncodePnm(MakePhotoFixture(45, 19)));
    // ppmtopcx picks 1-bit planes for few colours (-planes), one 8-bit plane for 256 colours and
    // three planes for true colour; ImageMagick writes its own layouts.
    struct Case {
        std::string Command;
    } cases[] = {
        {"ppmtopcx " + Q(dir / "in.ppm")},
        {"pnmquant 200 " + Q(dir / "in.ppm") + " 2>/dev/null | ppmtopcx -8bit"},
        {"pnmquant 16 " + Q(dir / "in.ppm") + " 2>/dev/null | ppmtopcx -planes 4"},
        {"pnmquant 4 " + Q(dir / "in.ppm") + " 2>/dev/null | ppmtopcx -planes 2"},
        {"pnmquant 8 " + Q(dir / "in.ppm") + " 2>/dev/null | ppmtopcx -planes 3"},
        {"pnmquant 16 " + Q(dir / "in.ppm") + " 2>/dev/null | ppmtopcx -packed"},
        {"pnmquant 2 " + Q(dir / "in.ppm") + " 2>/dev/null | ppmtopcx"},
        {Im + " " + Q(dir / "in.ppm") + " PCX:-"},
        {Im + " " + Q(dir / "in.ppm") + " -colors 50 PCX:-"},
        {Im + " " + Q(dir / "in.ppm") + " -monochrome PCX:-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Command);
        ASSERT_EQ(RunCommand(c.Command + " > " + Q(dir / "p.pcx") + " 2>/dev/null").ExitCode, 0);
        PnmImage reference = PeerDecode("pcxtoppm " + Q(dir / "p.pcx") + " 2>/dev/null");
        EXPECT_EQ(ComparePixels(LoadAs(dir / "p.pcx", FILE_PCX), reference), "");
    }
    // ImageMagick's DCX: the first page.
    ASSERT_EQ(RunCommand(Im + " " + Q(dir / "in.ppm") + " rose: DCX:" + Q(dir / "p.dcx")).ExitCode,
              0);
    BitmapHandle first = LoadAs(dir / "p.dcx", FILE_PCX);
    PnmImage in;
    ASSERT_TRUE(ParsePnm(ReadFileBytes(dir / "in.ppm"), &in));
    EXPECT_EQ(ComparePixels(first, in), "");
}

TEST(PcxCodec, PeersReadWhatWeWriteAtEveryDepth) {
    TempDir dir;
    // 16 and 32 bits have no PCX layout of their own: they are written as 8-bit planes.
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(bpp);
        BitmapHandle b = MakePhotoFixtureAtDepth(77, 21, bpp);
        SaveAs(b, dir / "out.pcx", FILE_PCX, bpp);
        EXPECT_EQ(ComparePixels(b, PeerDecode("pcxtoppm " + Q(dir / "out.pcx") + " 2>/dev/null")), "");
        // ImageMagick ignores the header palette of one-bit files (pcxtoppm, above, honours it).
        if (bpp != 1) {
            EXPECT_EQ(ComparePixels(b, PeerDecode(Im + " PCX:" + Q(dir / "out.pcx") + " -depth 8 ppm:-")),
                      "");
        }
        EXPECT_EQ(ComparePixels(LoadAs(dir / "out.pcx", FILE_PCX), PeerDecode(
                      "pcxtoppm " + Q(dir / "out.pcx") + " 2>/dev/null")),
                  "");
    }
}

TEST(PcxCodec, DamagedFilesAreRefusedWithAMessage) {
    TempDir dir;
    BitmapHandle b = MakePhotoFixtureAtDepth(40, 30, 24);
    SaveAs(b, dir / "ok.pcx", FILE_PCX, 24);
    Bytes bytes = ReadFileBytes(dir / "ok.pcx");
    // Cut in the middle of the run-length data.
    WriteFileBytes(dir / "cut.pcx", Bytes(bytes.begin(), bytes.begin() + 128 + 200));
    BitmapHandle out;
    EXPECT_EQ(L_LoadBitmap((dir / "cut.pcx").string(), &out), ERROR_FILE_CORRUPT);
    auto [code, text] = ToolInfo(dir / "cut.pcx");
    EXPECT_NE(code, 0);
    EXPECT_NE(text.find("damaged or truncated"), std::string::npos) << text;
    // A row length too short for the width.
    bytes[66] = 1;
    bytes[67] = 0;
    WriteFileBytes(dir / "short.pcx", bytes);
    EXPECT_EQ(L_LoadBitmap((dir / "short.pcx").string(), &out), ERROR_FILE_CORRUPT);
}

}  // namespace
