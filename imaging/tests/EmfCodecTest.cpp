// Enhanced metafiles: ours rendered by LibreOffice at each depth, LibreOffice's read back pixel
// for pixel, damaged files.

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

// Runs LibreOffice on files of a folder (it starts slowly, so all at once); its own profile
// goes into the folder too.
void Soffice(const TempDir& dir, const std::string& format, const std::string& files) {
    ASSERT_EQ(RunCommand("cd " + Q(dir.Path()) + " && HOME=" + Q(dir.Path()) +
                         " soffice --headless --convert-to " + format + " --outdir out " + files +
                         " >/dev/null 2>&1")
                  .ExitCode,
              0);
}

TEST(EmfCodec, LibreOfficeRendersWhatWeWrite) {
    TempDir dir;
    struct Case {
        std::string Name;
        BitmapHandle Bitmap;
    };
    std::vector<Case> cases;
    std::string files;
    for (int bpp : {8, 24}) {
        for (auto [w, h] : {std::pair{45, 17}, std::pair{6, 4}}) {
            Case c{"p" + std::to_string(bpp) + "-" + std::to_string(w), MakePhotoFixtureAtDepth(w, h, bpp)};
            ASSERT_EQ(L_SaveBitmap((dir / (c.Name + ".emf")).string(), &c.Bitmap, FILE_EMF, bpp),
                      SUCCESS);
            files += " " + c.Name + ".emf";
            cases.push_back(std::move(c));
        }
    }
    Soffice(dir, "png", files);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        // LibreOffice draws the picture at its size in the middle of a white page; the photo
        // fixture has no white edge, so trimming the page leaves exactly the picture.
        PnmImage page = PeerDecode(Im + " " + Q(dir / "out" / (c.Name + ".png")) +
                                   " -trim +repage -depth 8 ppm:-");
        EXPECT_EQ(ComparePixels(c.Bitmap, page), "");
        BitmapHandle back;
        FileInfo info;
        ASSERT_EQ(L_LoadBitmap((dir / (c.Name + ".emf")).string(), &back, 0, 1, nullptr, &info),
                  SUCCESS);
        EXPECT_EQ(info.Format, FILE_EMF);
        EXPECT_EQ(back.BitsPerPixel, c.Bitmap.BitsPerPixel);
    }
}

TEST(EmfCodec, ReadsTheBitmapOfLibreOfficeMetafiles) {
    TempDir dir;
    BitmapHandle photo = MakePhotoFixture(37, 23);
    WriteFileBytes(dir / "in.ppm", EncodePnm(photo));
    ASSERT_EQ(RunCommand(Im + " " + Q(dir / "in.ppm") + " " + Q(dir / "in.png")).ExitCode, 0);
    Soffice(dir, "emf", "in.png");
    BitmapHandle b;
    ASSERT_EQ(L_LoadBitmap((dir / "out" / "in.emf").string(), &b), SUCCESS);
    EXPECT_EQ(ComparePixels(b, [&] {
                  PnmImage p;
                  EXPECT_TRUE(ParsePnm(ReadFileBytes(dir / "in.ppm"), &p));
                  return p;
              }()),
              "");
}

TEST(EmfCodec, DamagedFilesFailCleanly) {
    BitmapHandle photo = MakePhotoFixtureAtDepth(20, 10, 24);
    Bytes good;
    ASSERT_EQ(L_SaveBitmapMemory(&good, &photo, FILE_EMF, 24), SUCCESS);
    // Header record 108 bytes, then EMR_STRETCHDIBITS at 108 (its BITMAPINFO at 108 + 80).
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
        {"truncated-in-bits", Bytes(good.begin(), good.begin() + long(good.size() - 60)),
         ERROR_FILE_CORRUPT},
        {"record-size-unaligned", patched(108 + 4, {0x51, 0, 0, 0}), ERROR_FILE_CORRUPT},
        {"record-size-past-end", patched(108 + 4, {0, 0, 0, 0x10}), ERROR_FILE_CORRUPT},
        {"bits-offset-past-record", patched(108 + 56, {0xFF, 0xFF, 0xFF, 0x7F}),
         ERROR_FILE_CORRUPT},
        {"no-bitmap-record", [&] {
             Bytes b(good.begin(), good.begin() + 108);
             for (uint32_t v : {14u, 20u, 0u, 16u, 20u})
                 for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
             return b;
         }(),
         ERROR_FEATURE_NOT_SUPPORTED},
        {"header-only", Bytes(good.begin(), good.begin() + 108), ERROR_FILE_CORRUPT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        BitmapHandle b;
        EXPECT_EQ(L_LoadBitmapMemory(c.File.data(), c.File.size(), &b), c.Status);
    }
    TempDir dir;
    WriteFileBytes(dir / "bad.emf", cases[0].File);
    CommandResult r = RunCommand(std::string(KIVO_IMAGE_TOOL) + " info " + Q(dir / "bad.emf") +
                                 " 2>&1");
    EXPECT_NE(r.ExitCode, 0);
    EXPECT_NE(std::string(r.Output.begin(), r.Output.end()).find("damaged or truncated"),
              std::string::npos);
}

}  // namespace
