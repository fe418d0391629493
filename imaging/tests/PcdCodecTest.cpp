// Photo CD base images written by ImageMagick: decoded by Kodak's PhotoYCC equations (checked
// against a plain floating-point evaluation of them), turned upright like ImageMagick does,
// damaged files.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
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

// The RGB at (x, y) of the resolution of the given width stored at `offset`, straight from the
// bytes of the file.
std::array<int, 3> ReferenceRgb(const Bytes& pcd, int x, int y, size_t offset = 0x30000,
                                size_t width = 768) {
    const size_t pair = offset + size_t(y / 2) * width * 3;
    const double l = 1.3584 * pcd[pair + size_t(y % 2) * width + size_t(x)];
    const double c1 = 2.2179 * (pcd[pair + 2 * width + size_t(x / 2)] - 156.0);
    const double c2 = 1.8215 * (pcd[pair + 2 * width + width / 2 + size_t(x / 2)] - 137.0);
    auto clip = [](double v) { return int(std::clamp(std::floor(v), 0.0, 255.0)); };
    return {clip(l + c2), clip(l - 0.194 * c1 - 0.509 * c2), clip(l + c1)};
}

class PcdCodec : public testing::Test {
protected:
    void SetUp() override {
        WriteFileBytes(Dir / "in.ppm", EncodePnm(MakePhotoFixture(768, 512)));
        ASSERT_EQ(RunCommand(Im + " " + Q(Dir / "in.ppm") + " PCD:" + Q(Dir / "in.pcd")).ExitCode,
                  0);
        File = ReadFileBytes(Dir / "in.pcd");
        ASSERT_GT(File.size(), 0x30000u + 768u * 512u * 3u / 2u);
    }
    TempDir Dir;
    Bytes File;
};

TEST_F(PcdCodec, DecodesTheBaseImageByKodaksEquations) {
    BitmapHandle b;
    FileInfo info;
    ASSERT_EQ(L_LoadBitmap((Dir / "in.pcd").string(), &b, 0, 1, nullptr, &info), SUCCESS);
    EXPECT_EQ(info.Format, FILE_PCD);
    ASSERT_EQ(b.Width, 768);
    ASSERT_EQ(b.Height, 512);
    EXPECT_EQ(b.BitsPerPixel, 24);
    int worst = 0;
    for (int y = 0; y < 512; y += 3)
        for (int x = 0; x < 768; x += 5) {
            const auto want = ReferenceRgb(File, x, y);
            const ColorRef got = L_GetPixelColor(&b, x, y);
            worst = std::max({worst, std::abs(GetRValue(got) - want[0]),
                              std::abs(GetGValue(got) - want[1]),
                              std::abs(GetBValue(got) - want[2])});
        }
    EXPECT_LE(worst, 1);  // fixed point against floating point
}

TEST_F(PcdCodec, TurnsPortraitsUprightAsImageMagickDoes) {
    // ImageMagick converts PhotoYCC with other scales, so its pictures are compared by PSNR: a
    // turn the wrong way round scores around 10 dB, the right one above 20 dB.
    for (uint8_t rotation : {0, 1, 3}) {
        SCOPED_TRACE(int(rotation));
        Bytes turned = File;
        turned[0xE02] = rotation;
        const fs::path path = Dir / ("r" + std::to_string(rotation) + ".pcd");
        WriteFileBytes(path, turned);
        BitmapHandle b;
        ASSERT_EQ(L_LoadBitmap(path.string(), &b), SUCCESS);
        EXPECT_EQ(b.Width, rotation ? 512 : 768);
        ASSERT_EQ(RunCommand(Im + " " + Q(path) + " -depth 8 " + Q(Dir / "peer.ppm")).ExitCode, 0);
        BitmapHandle peer;
        ASSERT_EQ(L_LoadBitmap((Dir / "peer.ppm").string(), &peer), SUCCESS);
        ASSERT_EQ(peer.Width, b.Width);
        ASSERT_EQ(peer.Height, b.Height);
        EXPECT_GT(Psnr(b, peer), 14.0);
    }
}

TEST_F(PcdCodec, ReadsAPackCutShortAtTheLargestCompleteResolution) {
    const struct {
        size_t Length, Offset;
        int Width, Height;
    } cases[] = {{0x30000 + 5000, 0xB800, 384, 256}, {0xB000, 0x2000, 192, 128}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Width);
        const Bytes cut(File.begin(), File.begin() + long(c.Length));
        BitmapHandle b;
        ASSERT_EQ(L_LoadBitmapMemory(cut.data(), cut.size(), &b), SUCCESS);
        ASSERT_EQ(b.Width, c.Width);
        ASSERT_EQ(b.Height, c.Height);
        int worst = 0;
        for (int y = 0; y < c.Height; ++y)
            for (int x = 0; x < c.Width; x += 3) {
                const auto want = ReferenceRgb(File, x, y, c.Offset, size_t(c.Width));
                const ColorRef got = L_GetPixelColor(&b, x, y);
                worst = std::max({worst, std::abs(GetRValue(got) - want[0]),
                                  std::abs(GetGValue(got) - want[1]),
                                  std::abs(GetBValue(got) - want[2])});
            }
        EXPECT_LE(worst, 1);
    }
}

TEST_F(PcdCodec, DamagedFilesFailCleanly) {
    const struct {
        const char* Name;
        Bytes File;
        int Status;
    } cases[] = {
        {"cut-inside-base-16", Bytes(File.begin(), File.begin() + 0x3000), ERROR_FILE_CORRUPT},
        {"header-only", Bytes(File.begin(), File.begin() + 0x900), ERROR_FILE_CORRUPT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        BitmapHandle b;
        EXPECT_EQ(L_LoadBitmapMemory(c.File.data(), c.File.size(), &b), c.Status);
    }
    WriteFileBytes(Dir / "bad.pcd", cases[0].File);
    CommandResult r = RunCommand(std::string(KIVO_IMAGE_TOOL) + " info " + Q(Dir / "bad.pcd") +
                                 " 2>&1");
    EXPECT_NE(r.ExitCode, 0);
    EXPECT_NE(std::string(r.Output.begin(), r.Output.end()).find("damaged or truncated"),
              std::string::npos);
}

}  // namespace
