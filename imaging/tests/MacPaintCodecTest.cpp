// MacPaint files from netpbm's pbmtomacp, bare and behind a MacBinary header, against macptopbm;
// damaged files.

#include <gtest/gtest.h>

#include "support/CodecInterop.h"
#include "support/PhotoFixture.h"
#include "support/PnmWrite.h"

namespace {

using namespace kivo::test;
namespace fs = std::filesystem;
std::string Q(const fs::path& p) { return ShellQuote(p.string()); }

TEST(MacPaintCodec, ReadsPbmtomacpFilesWithAndWithoutMacBinary) {
    TempDir dir;
    WriteFileBytes(dir / "in.ppm", EncodePnm(MakePhotoFixture(300, 200)));
    ASSERT_EQ(RunCommand("ppmtopgm " + Q(dir / "in.ppm") + " | pamditherbw 2>/dev/null | pamtopnm |"
                         " pbmtomacp > " + Q(dir / "p.mac") + " 2>/dev/null")
                  .ExitCode,
              0);
    const PnmImage reference = PeerDecode("macptopbm " + Q(dir / "p.mac") + " 2>/dev/null");
    ASSERT_EQ(reference.Width, 576);
    BitmapHandle bare = LoadAs(dir / "p.mac", FILE_MAC);
    EXPECT_EQ(bare.BitsPerPixel, 1);
    EXPECT_EQ(ComparePixels(bare, reference), "");
    // MacBinary: name length and name, type "PNTG", creator "MPNT".
    Bytes mb(128, 0);
    const std::string name = "picture";
    mb[1] = uint8_t(name.size());
    std::copy(name.begin(), name.end(), mb.begin() + 2);
    const std::string typeCreator = "PNTGMPNT";
    std::copy(typeCreator.begin(), typeCreator.end(), mb.begin() + 65);
    const Bytes data = ReadFileBytes(dir / "p.mac");
    mb.insert(mb.end(), data.begin(), data.end());
    WriteFileBytes(dir / "mb.mac", mb);
    EXPECT_EQ(ComparePixels(LoadAs(dir / "mb.mac", FILE_MAC), reference), "");
}

TEST(MacPaintCodec, DamagedFilesAreRefused) {
    TempDir dir;
    ASSERT_EQ(RunCommand("pbmmake -gray 100 80 | pbmtomacp > " + Q(dir / "p.mac") + " 2>/dev/null")
                  .ExitCode,
              0);
    const Bytes data = ReadFileBytes(dir / "p.mac");
    // Behind a MacBinary header the format is known, so a cut file is damage; a bare cut file
    // is not recognised at all.
    Bytes mb(128, 0);
    mb[1] = 1;
    mb[2] = 'p';
    for (int i = 0; i < 4; ++i) mb[65 + i] = uint8_t("PNTG"[i]);
    mb.insert(mb.end(), data.begin(), data.begin() + long(data.size() / 2));
    WriteFileBytes(dir / "cut.mac", mb);
    auto [code, text] = ToolInfo(dir / "cut.mac");
    EXPECT_NE(code, 0);
    EXPECT_NE(text.find("damaged or truncated"), std::string::npos) << text;
    WriteFileBytes(dir / "bare-cut.mac", Bytes(data.begin(), data.begin() + long(data.size() / 2)));
    BitmapHandle out;
    EXPECT_LT(L_LoadBitmap((dir / "bare-cut.mac").string(), &out), 0);
}

}  // namespace
