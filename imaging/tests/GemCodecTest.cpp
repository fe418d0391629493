// GEM raster files from netpbm's pbmtogem against gemtopnm; a hand-made four-plane file with an
// XIMG palette and vertical repetition; damaged files.

#include <gtest/gtest.h>

#include "support/CodecInterop.h"
#include "support/PhotoFixture.h"
#include "support/PnmWrite.h"

namespace {

using namespace kivo::test;
namespace fs = std::filesystem;
std::string Q(const fs::path& p) { return ShellQuote(p.string()); }

TEST(GemCodec, ReadsPbmtogemFilesPixelForPixel) {
    TempDir dir;
    for (auto [w, h] : {std::pair{123, 45}, std::pair{9, 3}}) {
        SCOPED_TRACE(w);
        WriteFileBytes(dir / "in.ppm", EncodePnm(MakePhotoFixture(w, h)));
        ASSERT_EQ(RunCommand("ppmtopgm " + Q(dir / "in.ppm") + " | pamditherbw 2>/dev/null | "
                             "pamtopnm | pbmtogem > " + Q(dir / "p.img") + " 2>/dev/null")
                      .ExitCode,
                  0);
        EXPECT_EQ(ComparePixels(LoadAs(dir / "p.img", FILE_IMG),
                                PeerDecode("gemtopnm " + Q(dir / "p.img") + " 2>/dev/null")),
                  "");
    }
}

// Words of a GEM header, big-endian.
void Words(Bytes& b, std::initializer_list<int> words) {
    for (int w : words) {
        b.push_back(uint8_t(w >> 8));
        b.push_back(uint8_t(w));
    }
}

TEST(GemCodec, ReadsPlanesWithXimgPaletteAndRepeatedLines) {
    // 8 × 3 pixels, 4 planes, pattern length 1: XIMG palette of 16 colours (entry i = red i×60).
    Bytes f;
    Words(f, {1, 11 + 48, 4, 1, 85, 85, 8, 3});
    f.insert(f.end(), {'X', 'I', 'M', 'G'});
    Words(f, {0});
    for (int i = 0; i < 16; ++i) Words(f, {i * 60, 0, 1000});
    // Line 0 twice: plane 0 = 0xF0 (literal), plane 1 = 0xFF (solid), plane 2 = 0x00 (solid),
    // plane 3 = 0x0F via a pattern run.
    f.insert(f.end(), {0, 0, 0xFF, 2, 0x80, 1, 0xF0, 0x81, 0x01, 0x00, 1, 0x0F});
    // Line 2: all planes 0 except plane 3 = 0xFF.
    f.insert(f.end(), {0x03, 0x81});
    TempDir dir;
    WriteFileBytes(dir / "x.img", f);
    BitmapHandle b = LoadAs(dir / "x.img", FILE_IMG);
    ASSERT_EQ(b.BitsPerPixel, 4);
    auto red = [](int index) { return uint8_t((index * 60 * 255 + 500) / 1000); };
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 8; ++x) {
            const int index = y < 2 ? (x < 4 ? 1 | 2 : 2 | 8) : 8;
            EXPECT_EQ(L_GetPixelColor(&b, x, y), RGBColor(red(index), 0, 255)) << x << "," << y;
        }
}

TEST(GemCodec, DamagedFilesAreRefusedWithAMessage) {
    TempDir dir;
    ASSERT_EQ(RunCommand("pbmmake -gray 100 80 | pbmtogem > " + Q(dir / "p.img") + " 2>/dev/null")
                  .ExitCode,
              0);
    const Bytes data = ReadFileBytes(dir / "p.img");
    WriteFileBytes(dir / "cut.img", Bytes(data.begin(), data.begin() + long(data.size() / 2)));
    auto [code, text] = ToolInfo(dir / "cut.img");
    EXPECT_NE(code, 0);
    EXPECT_NE(text.find("damaged or truncated"), std::string::npos) << text;
}

}  // namespace
