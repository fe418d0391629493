// The interchange format (IFF CAT of one FORM ILBM) against netpbm's ppmtoilbm and ilbmtoppm:
// planar, deep, HAM and chunky files read pixel for pixel, bare and inside a CAT; our files at
// every depth read by ilbmtoppm; damaged files.

#include <gtest/gtest.h>

#include "support/CodecInterop.h"
#include "support/PhotoFixture.h"
#include "support/PnmWrite.h"

namespace {

using namespace kivo::test;
namespace fs = std::filesystem;
std::string Q(const fs::path& p) { return ShellQuote(p.string()); }

// A CAT around the given FORM, as our writer makes it.
Bytes InCat(const Bytes& form) {
    Bytes cat = {'C', 'A', 'T', ' ', 0, 0, 0, 0, 'I', 'L', 'B', 'M'};
    const uint32_t size = uint32_t(form.size() + 4 + (form.size() & 1));
    cat[4] = uint8_t(size >> 24);
    cat[5] = uint8_t(size >> 16);
    cat[6] = uint8_t(size >> 8);
    cat[7] = uint8_t(size);
    cat.resize(12 + form.size());
    std::copy(form.begin(), form.end(), cat.begin() + 12);
    if (form.size() & 1) cat.push_back(0);
    return cat;
}

TEST(IffCodec, ReadsWhatPeersWritePixelForPixel) {
    TempDir dir;
    WriteFileBytes(dir / "in.ppm", EncodePnm(MakePhotoFixture(45, 19)));
    const std::string in = Q(dir / "in.ppm");
    const std::string cases[] = {
        "ppmtoilbm " + in,                                            // deep 24-bit
        "ppmtoilbm -nocompress " + in,
        "pnmquant 200 " + in + " 2>/dev/null | ppmtoilbm",             // 8 planes with CMAP
        "pnmquant 13 " + in + " 2>/dev/null | ppmtoilbm",              // 4 planes
        "pnmquant 2 " + in + " 2>/dev/null | ppmtoilbm -nocompress",   // 1 plane
        "ppmtoilbm -ham6 " + in,
        "ppmtoilbm -ham8 " + in,
        "pnmquant 100 " + in + " 2>/dev/null | ppmtoilbm -savemem -maxplanes 8 -cmaponly 2>/dev/null; "
        "ppmtoilbm -mp 5 -fixplanes 5 " + in,
    };
    for (const std::string& c : cases) {
        SCOPED_TRACE(c);
        ASSERT_EQ(RunCommand("(" + c + ") > " + Q(dir / "p.ilbm") + " 2>/dev/null").ExitCode, 0);
        PnmImage reference = PeerDecode("ilbmtoppm " + Q(dir / "p.ilbm") + " 2>/dev/null");
        EXPECT_EQ(ComparePixels(LoadAs(dir / "p.ilbm", FILE_IFF_CAT), reference), "");
        WriteFileBytes(dir / "p.cat", InCat(ReadFileBytes(dir / "p.ilbm")));
        EXPECT_EQ(ComparePixels(LoadAs(dir / "p.cat", FILE_IFF_CAT), reference), "");
    }
}

TEST(IffCodec, IlbmtoppmReadsWhatWeWriteAtEveryDepth) {
    TempDir dir;
    for (int bpp : {1, 4, 8, 24}) {
        SCOPED_TRACE(bpp);
        BitmapHandle b = MakePhotoFixtureAtDepth(77, 21, bpp);
        SaveAs(b, dir / "out.cat", FILE_IFF_CAT, bpp);
        Bytes file = ReadFileBytes(dir / "out.cat");
        ASSERT_GT(file.size(), 12u);
        EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "CAT ");
        // ilbmtoppm reads a bare FORM: hand it the one inside the CAT.
        WriteFileBytes(dir / "form.ilbm", Bytes(file.begin() + 12, file.end()));
        EXPECT_EQ(ComparePixels(b, PeerDecode("ilbmtoppm " + Q(dir / "form.ilbm") + " 2>/dev/null")),
                  "");
        EXPECT_EQ(Psnr(LoadAs(dir / "out.cat", FILE_IFF_CAT), b), 99);
    }
}

TEST(IffCodec, DamagedFilesAreRefusedWithAMessage) {
    TempDir dir;
    SaveAs(MakePhotoFixtureAtDepth(40, 30, 24), dir / "ok.cat", FILE_IFF_CAT, 24);
    const Bytes good = ReadFileBytes(dir / "ok.cat");
    WriteFileBytes(dir / "cut.cat", Bytes(good.begin(), good.begin() + good.size() / 2));
    auto [code, text] = ToolInfo(dir / "cut.cat");
    EXPECT_NE(code, 0);
    EXPECT_NE(text.find("damaged or truncated"), std::string::npos) << text;
    // A CAT holding no picture.
    const Bytes empty = {'C', 'A', 'T', ' ', 0, 0, 0, 16, 'I', 'L', 'B', 'M',
                         'F', 'O', 'R', 'M', 0, 0, 0, 4,  '8', 'S', 'V', 'X'};
    WriteFileBytes(dir / "empty.cat", empty);
    BitmapHandle out;
    EXPECT_EQ(L_LoadBitmap((dir / "empty.cat").string(), &out), ERROR_FILE_CORRUPT);
}

}  // namespace
