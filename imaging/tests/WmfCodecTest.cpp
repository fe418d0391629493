// Windows metafiles: ours read by ImageMagick (libwmf) at each depth, LibreOffice's read back
// pixel for pixel, metafiles with several bitmap records, damaged files.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/File.h"
#include "support/Peer.h"
#include "support/PhotoFixture.h"
#include "support/PnmWrite.h"

namespace {

using namespace kivo::test;
namespace fs = std::filesystem;

const std::string Im = ImageMagickConvert;

std::string Q(const fs::path& p) { return ShellQuote(p.string()); }

void Put16(Bytes& b, unsigned v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

TEST(WmfCodec, ImageMagickReadsWhatWeWrite) {
    TempDir dir;
    for (auto [w, h] : {std::pair{45, 17}, std::pair{1, 1}}) {
        for (int bpp : {8, 24}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " at " + std::to_string(bpp));
            BitmapHandle b = MakePhotoFixtureAtDepth(w, h, bpp);
            const fs::path out = dir / "out.wmf";
            ASSERT_EQ(L_SaveBitmap(out.string(), &b, FILE_WMF, bpp), SUCCESS);
            // The placeable header says 96 units per inch, one unit per pixel.
            EXPECT_EQ(ComparePixels(b, PeerDecode(Im + " -density 96 WMF:" + Q(out) +
                                                  " -depth 8 ppm:-")),
                      "");
            BitmapHandle back;
            FileInfo info;
            ASSERT_EQ(L_LoadBitmap(out.string(), &back, 0, 1, nullptr, &info), SUCCESS);
            EXPECT_EQ(info.Format, FILE_WMF);
            EXPECT_EQ(back.BitsPerPixel, bpp);
        }
    }
}

TEST(WmfCodec, ReadsTheBitmapOfLibreOfficeMetafiles) {
    // LibreOffice draws a picture as StretchDIBits among escape, object and state records.
    TempDir dir;
    BitmapHandle photo = MakePhotoFixture(37, 23);
    WriteFileBytes(dir / "in.ppm", EncodePnm(photo));
    ASSERT_EQ(RunCommand(Im + " " + Q(dir / "in.ppm") + " " + Q(dir / "in.png")).ExitCode, 0);
    ASSERT_EQ(RunCommand("HOME=" + Q(dir.Path()) + " soffice --headless --convert-to wmf --outdir " +
                         Q(dir.Path()) + " " + Q(dir / "in.png") + " >/dev/null 2>&1")
                  .ExitCode,
              0);
    BitmapHandle b;
    ASSERT_EQ(L_LoadBitmap((dir / "in.wmf").string(), &b), SUCCESS);
    PnmImage reference;
    ASSERT_TRUE(ParsePnm(ReadFileBytes(dir / "in.ppm"), &reference));
    EXPECT_EQ(ComparePixels(b, reference), "");
}

// A metafile of records built by hand: SetWindowExt, then the given bitmap records.
Bytes Metafile(const std::vector<Bytes>& records) {
    Bytes body;
    for (const Bytes& r : records) body.insert(body.end(), r.begin(), r.end());
    Put32(body, 3);  // end of file
    Put16(body, 0);
    Bytes file;
    Put16(file, 1);
    Put16(file, 9);
    Put16(file, 0x0300);
    Put32(file, uint32_t((18 + body.size()) / 2));
    Put16(file, 0);
    Put32(file, 0);
    Put16(file, 0);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

// A 24-bit packed DIB of w × h pixels of one colour.
Bytes SolidDib(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    Bytes d;
    Put32(d, 40);
    Put32(d, uint32_t(w));
    Put32(d, uint32_t(h));
    Put16(d, 1);
    Put16(d, 24);
    for (int i = 0; i < 6; ++i) Put32(d, 0);
    const int stride = (w * 3 + 3) / 4 * 4;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < stride; ++x) d.push_back(x < w * 3 ? (x % 3 == 0 ? b : x % 3 == 1 ? g : r) : 0);
    return d;
}

// DIBBitBlt and SetDIBitsToDevice records (parameters stored last argument first).
Bytes DibBitBlt(int x, int y, int w, int h, const Bytes& dib) {
    Bytes r;
    Put32(r, uint32_t(3 + 2 + 6 + dib.size() / 2));
    Put16(r, 0x0940);
    Put32(r, 0x00CC0020);
    for (int v : {0, 0, h, w, y, x}) Put16(r, unsigned(v));
    r.insert(r.end(), dib.begin(), dib.end());
    return r;
}
Bytes SetDibToDev(int x, int y, int w, int h, const Bytes& dib) {
    Bytes r;
    Put32(r, uint32_t(3 + 9 + dib.size() / 2));
    Put16(r, 0x0D33);
    for (int v : {0, h, 0, 0, 0, h, w, y, x}) Put16(r, unsigned(v));
    r.insert(r.end(), dib.begin(), dib.end());
    return r;
}

TEST(WmfCodec, DrawsSeveralBitmapRecordsOntoOneCanvas) {
    // Two bands side by side, as banded printing drivers write them.
    Bytes file = Metafile({DibBitBlt(0, 0, 4, 3, SolidDib(4, 3, 200, 10, 20)),
                           SetDibToDev(4, 0, 2, 3, SolidDib(2, 3, 5, 150, 250))});
    BitmapHandle b;
    ASSERT_EQ(L_LoadBitmapMemory(file.data(), file.size(), &b), SUCCESS);
    ASSERT_EQ(b.Width, 6);
    ASSERT_EQ(b.Height, 3);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(L_GetPixelColor(&b, 0, y), RGBColor(200, 10, 20));
        EXPECT_EQ(L_GetPixelColor(&b, 3, y), RGBColor(200, 10, 20));
        EXPECT_EQ(L_GetPixelColor(&b, 4, y), RGBColor(5, 150, 250));
        EXPECT_EQ(L_GetPixelColor(&b, 5, y), RGBColor(5, 150, 250));
    }
}

TEST(WmfCodec, DamagedFilesFailCleanly) {
    BitmapHandle photo = MakePhotoFixtureAtDepth(20, 10, 8);
    Bytes good;
    ASSERT_EQ(L_SaveBitmapMemory(&good, &photo, FILE_WMF, 8), SUCCESS);
    // Placeable header 22, metafile header 18, two 10-byte window records, then StretchDIBits
    // at 60 with its DIB at 88.
    auto patched = [&](size_t at, std::initializer_list<uint8_t> bytes) {
        Bytes b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + long(at));
        return b;
    };
    const struct {
        const char* Name;
        Bytes File;
        int Status;
    } cases[] = {
        {"truncated-in-bits", Bytes(good.begin(), good.begin() + long(good.size() - 30)),
         ERROR_FILE_CORRUPT},
        {"record-size-past-end", patched(60, {0xFF, 0xFF, 0xFF, 0x00}), ERROR_FILE_CORRUPT},
        {"record-size-below-header", patched(60, {2, 0, 0, 0}), ERROR_FILE_CORRUPT},
        {"dib-depth-7", patched(88 + 14, {7, 0}), ERROR_FILE_CORRUPT},
        {"no-bitmap-record", Metafile({}), ERROR_FEATURE_NOT_SUPPORTED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        BitmapHandle b;
        EXPECT_EQ(L_LoadBitmapMemory(c.File.data(), c.File.size(), &b), c.Status);
    }
    TempDir dir;
    WriteFileBytes(dir / "bad.wmf", cases[0].File);
    CommandResult r = RunCommand(std::string(KIVO_IMAGE_TOOL) + " info " + Q(dir / "bad.wmf") +
                                 " 2>&1");
    EXPECT_NE(r.ExitCode, 0);
    EXPECT_NE(std::string(r.Output.begin(), r.Output.end()).find("damaged or truncated"),
              std::string::npos);
}

}  // namespace
