// DOS EPS files: the preview is the picture (WMF written by LibreOffice, TIFF written by
// ImageMagick), files without a usable preview are refused.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "codecs/Codec.h"
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

void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// A DOS EPS binary: header, a little PostScript, then the preview in its slot.
Bytes Eps(const Bytes& wmf, const Bytes& tiff) {
    const std::string ps = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 37 23\nshowpage\n";
    Bytes file = {0xC5, 0xD0, 0xD3, 0xC6};
    const uint32_t psAt = 30, wmfAt = psAt + uint32_t(ps.size()),
                   tiffAt = wmfAt + uint32_t(wmf.size());
    Put32(file, psAt);
    Put32(file, uint32_t(ps.size()));
    Put32(file, wmf.empty() ? 0 : wmfAt);
    Put32(file, uint32_t(wmf.size()));
    Put32(file, tiff.empty() ? 0 : tiffAt);
    Put32(file, uint32_t(tiff.size()));
    file.push_back(0xFF);
    file.push_back(0xFF);
    file.insert(file.end(), ps.begin(), ps.end());
    file.insert(file.end(), wmf.begin(), wmf.end());
    file.insert(file.end(), tiff.begin(), tiff.end());
    return file;
}

class EpsCodec : public testing::Test {
protected:
    void SetUp() override {
        WriteFileBytes(Dir / "in.ppm", EncodePnm(MakePhotoFixture(37, 23)));
        ASSERT_TRUE(ParsePnm(ReadFileBytes(Dir / "in.ppm"), &Reference));
    }
    TempDir Dir;
    PnmImage Reference;
};

TEST_F(EpsCodec, ReadsTheWmfPreview) {
    ASSERT_EQ(RunCommand(Im + " " + Q(Dir / "in.ppm") + " " + Q(Dir / "in.png")).ExitCode, 0);
    ASSERT_EQ(RunCommand("cd " + Q(Dir.Path()) + " && HOME=" + Q(Dir.Path()) +
                         " soffice --headless --convert-to wmf in.png >/dev/null 2>&1")
                  .ExitCode,
              0);
    const Bytes eps = Eps(ReadFileBytes(Dir / "in.wmf"), {});
    BitmapHandle b;
    FileInfo info;
    ASSERT_EQ(L_LoadBitmapMemory(eps.data(), eps.size(), &b, 0, 1, nullptr, &info), SUCCESS);
    EXPECT_EQ(info.Format, FILE_EPS);
    EXPECT_EQ(ComparePixels(b, Reference), "");
}

TEST_F(EpsCodec, ReadsTheTiffPreview) {
    if (!kivo::CodecByName("TIFF")) GTEST_SKIP() << "the TIFF codec is not registered yet";
    ASSERT_EQ(RunCommand(Im + " " + Q(Dir / "in.ppm") + " TIFF:" + Q(Dir / "in.tif")).ExitCode, 0);
    const Bytes eps = Eps({}, ReadFileBytes(Dir / "in.tif"));
    BitmapHandle b;
    ASSERT_EQ(L_LoadBitmapMemory(eps.data(), eps.size(), &b), SUCCESS);
    EXPECT_EQ(ComparePixels(b, Reference), "");
}

TEST_F(EpsCodec, FilesWithoutAUsablePreviewAreRefused) {
    const Bytes noPreview = Eps({}, {});
    Bytes previewPastEnd = Eps({1, 2, 3, 4}, {});
    previewPastEnd[16] = 0xFF;  // WMF length
    const Bytes foreignPreview = Eps({'n', 'o', 't', ' ', 'a', ' ', 'W', 'M', 'F', 0, 0, 0}, {});
    const struct {
        const char* Name;
        const Bytes& File;
        int Status;
    } cases[] = {
        {"postscript-only", noPreview, ERROR_FEATURE_NOT_SUPPORTED},
        {"preview-past-end", previewPastEnd, ERROR_FILE_CORRUPT},
        {"preview-not-a-metafile", foreignPreview, ERROR_FILE_CORRUPT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        BitmapHandle b;
        EXPECT_EQ(L_LoadBitmapMemory(c.File.data(), c.File.size(), &b), c.Status);
    }
    WriteFileBytes(Dir / "ps-only.eps", noPreview);
    CommandResult r = RunCommand(std::string(KIVO_IMAGE_TOOL) + " info " +
                                 Q(Dir / "ps-only.eps") + " 2>&1");
    EXPECT_NE(r.ExitCode, 0);
    EXPECT_NE(std::string(r.Output.begin(), r.Output.end()).find("not supported"),
              std::string::npos);
}

}  // namespace
