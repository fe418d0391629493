// Macintosh PICT against ImageMagick and netpbm's ppmtopict, both ways, pixel for pixel; the 512-byte
// header optional; wide pictures in bands; damaged files.

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

PnmImage ImDecode(const fs::path& file) {
    return PeerDecode(Im + " PICT:" + Q(file) + " -depth 8 ppm:-");
}

PnmImage PnmFile(const fs::path& file) {
    PnmImage p;
    EXPECT_TRUE(ParsePnm(ReadFileBytes(file), &p)) << file;
    return p;
}

BitmapHandle Load(const fs::path& file, int expectedBpp) {
    BitmapHandle b;
    FileInfo info;
    EXPECT_EQ(L_LoadBitmap(file.string(), &b, 0, 1, nullptr, &info), SUCCESS) << file;
    EXPECT_EQ(info.Format, FILE_PCT);
    EXPECT_EQ(b.BitsPerPixel, expectedBpp);
    return b;
}

TEST(PictCodec, ReadsWhatPeersWritePixelForPixel) {
    TempDir dir;
    for (auto [w, h] : {std::pair{37, 23}, std::pair{3, 2}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const fs::path in = dir / "in.ppm";
        WriteFileBytes(in, EncodePnm(MakePhotoFixture(w, h)));
        // DirectBitsRect, written by ImageMagick.
        ASSERT_EQ(RunCommand(Im + " " + Q(in) + " PICT:" + Q(dir / "direct.pct")).ExitCode, 0);
        EXPECT_EQ(ComparePixels(Load(dir / "direct.pct", 24), PnmFile(in)), "");
        // PackBitsRect with a colour table (packed even below 8 bytes a row, as ImageMagick
        // does). ImageMagick's own reader cuts the table's 16-bit colours instead of rounding
        // them, so the reference is its quantised picture.
        // (Not 2: ImageMagick writes a one-entry table of a wrong colour for some 2-colour
        // pictures.)
        for (const char* colours : {"5", "16", "200"}) {
            SCOPED_TRACE(colours);
            const std::string quantise = Im + " " + Q(in) + " -colors " + colours + " ";
            ASSERT_EQ(RunCommand(quantise + Q(dir / "q.ppm")).ExitCode, 0);
            ASSERT_EQ(RunCommand(quantise + "PICT:" + Q(dir / "pal.pct")).ExitCode, 0);
            EXPECT_EQ(ComparePixels(Load(dir / "pal.pct", 8), PnmFile(dir / "q.ppm")), "");
        }
        // netpbm's ppmtopict (an 8-bit PackBitsRect), with and without the 512-byte header;
        // the reference is the quantised picture it was given. ppmtopict refuses tiny pictures.
        if (w < 8) continue;
        ASSERT_EQ(RunCommand("pnmquant 256 " + Q(in) + " > " + Q(dir / "q256.ppm") + " 2>/dev/null")
                      .ExitCode,
                  0);
        ASSERT_EQ(RunCommand("ppmtopict " + Q(dir / "q256.ppm") + " > " + Q(dir / "np.pct") +
                             " 2>/dev/null")
                      .ExitCode,
                  0);
        Bytes withHeader = ReadFileBytes(dir / "np.pct");
        ASSERT_GT(withHeader.size(), 512u);
        WriteFileBytes(dir / "np-bare.pct", Bytes(withHeader.begin() + 512, withHeader.end()));
        PnmImage reference = PnmFile(dir / "q256.ppm");
        EXPECT_EQ(ComparePixels(Load(dir / "np.pct", 8), reference), "");
        EXPECT_EQ(ComparePixels(Load(dir / "np-bare.pct", 8), reference), "");
    }
}

TEST(PictCodec, PeersReadEveryDepthWeWrite) {
    TempDir dir;
    // 4100 columns make the 24-bit picture two DirectBitsRect bands; 1 column the unpacked rows.
    for (auto [w, h] : {std::pair{45, 17}, std::pair{1, 3}, std::pair{4100, 3}}) {
        for (int bpp : {1, 4, 8, 24}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " at " + std::to_string(bpp));
            BitmapHandle b = MakePhotoFixtureAtDepth(w, h, bpp);
            const fs::path out = dir / ("out" + std::to_string(bpp) + ".pct");
            ASSERT_EQ(L_SaveBitmap(out.string(), &b, FILE_PCT, bpp), SUCCESS);
            // ImageMagick misreads every 1-pixel-wide direct pixmap, its own included.
            if (w == 1 && bpp == 24) continue;
            EXPECT_EQ(ComparePixels(b, ImDecode(out)), "");
        }
    }
}

TEST(PictCodec, DamagedFilesFailCleanly) {
    BitmapHandle photo = MakePhotoFixtureAtDepth(30, 10, 8);
    Bytes good;
    ASSERT_EQ(L_SaveBitmapMemory(&good, &photo, FILE_PCT, 8), SUCCESS);
    auto patched = [&](size_t at, std::initializer_list<uint8_t> bytes) {
        Bytes b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + long(at));
        return b;
    };
    // Layout of our files: 512-byte header, size, frame, version (0x0011 02FF), header opcode
    // 0x0C00 + 24 bytes, 0x001E, clip region (12 bytes), then the PackBitsRect at 566.
    const struct {
        const char* Name;
        Bytes File;
        int Status;
    } cases[] = {
        {"truncated-in-rows", Bytes(good.begin(), good.begin() + long(good.size() - 40)),
         ERROR_FILE_CORRUPT},
        {"truncated-in-colour-table", Bytes(good.begin(), good.begin() + 640), ERROR_FILE_CORRUPT},
        {"pixel-size-3", patched(566 + 2 + 2 + 8 + 2 + 2 + 4 + 8 + 2, {0, 3}), ERROR_FILE_CORRUPT},
        {"colour-table-of-4000", patched(566 + 2 + 46 + 6, {0x0F, 0xA0}), ERROR_FILE_CORRUPT},
        {"empty-bounds", patched(566 + 4, {0, 0, 0, 0, 0, 0, 0, 0}), ERROR_FILE_CORRUPT},
        {"unknown-opcode-length", patched(566, {0x00, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF}),
         ERROR_FILE_CORRUPT},
        {"vector-only", patched(566, {0x00, 0xFF}), ERROR_FEATURE_NOT_SUPPORTED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        BitmapHandle b;
        EXPECT_EQ(L_LoadBitmapMemory(c.File.data(), c.File.size(), &b), c.Status);
    }
    TempDir dir;
    WriteFileBytes(dir / "bad.pct", cases[0].File);
    CommandResult r = RunCommand(std::string(KIVO_IMAGE_TOOL) + " info " + Q(dir / "bad.pct") +
                                 " 2>&1");
    EXPECT_NE(r.ExitCode, 0);
    EXPECT_NE(std::string(r.Output.begin(), r.Output.end()).find("damaged or truncated"),
              std::string::npos);
}

// Files ImageMagick wrote that break the rule that rows under 8 bytes are stored unpacked.
TEST(PictCodec, ReadsRowsPackedBelowEightBytes) {
    const fs::path data = fs::path(KIVO_TEST_DATA) / "pict";
    BitmapHandle narrow;  // 3 × 2 red, one blue pixel at (1, 0), a 2-colour pixmap
    ASSERT_EQ(L_LoadBitmap((data / "im-rows-packed-below-8-bytes.pct").string(), &narrow),
              SUCCESS);
    ASSERT_EQ(narrow.Width, 3);
    ASSERT_EQ(narrow.Height, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(L_GetPixelColor(&narrow, x, y),
                      x == 1 && y == 0 ? RGBColor(0, 0, 255) : RGBColor(255, 0, 0));
    BitmapHandle column;  // 1 × 3 of (196, 10, 20), a direct pixmap
    ASSERT_EQ(L_LoadBitmap((data / "im-one-column-direct.pct").string(), &column), SUCCESS);
    ASSERT_EQ(column.Width, 1);
    ASSERT_EQ(column.Height, 3);
    for (int y = 0; y < 3; ++y) EXPECT_EQ(L_GetPixelColor(&column, 0, y), RGBColor(196, 10, 20));
}

}  // namespace
