// CALS type 1 files written by ImageMagick, read pixel for pixel; orientations; damaged files.

#include <gtest/gtest.h>

#include <cstring>
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

// Replaces the value of a header record ("rorient: ") in place.
void SetRecord(Bytes& file, const char* name, const std::string& value) {
    for (size_t at = 0; at + 128 <= 2048; at += 128)
        if (std::memcmp(file.data() + at, name, std::strlen(name)) == 0) {
            std::string text = std::string(name) + value;
            text.resize(128, ' ');
            std::memcpy(file.data() + at, text.data(), 128);
            return;
        }
    ADD_FAILURE() << "no record " << name;
}

TEST(CalsCodec, ReadsWhatImageMagickWritesPixelForPixel) {
    TempDir dir;
    for (auto [w, h] : {std::pair{67, 41}, std::pair{8, 3}, std::pair{1201, 9}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        WriteFileBytes(dir / "in.ppm", EncodePnm(MakePhotoFixture(w, h)));
        ASSERT_EQ(RunCommand(Im + " " + Q(dir / "in.ppm") + " -monochrome CALS:" +
                             Q(dir / "in.cal"))
                      .ExitCode,
                  0);
        BitmapHandle b;
        FileInfo info;
        ASSERT_EQ(L_LoadBitmap((dir / "in.cal").string(), &b, 0, 1, nullptr, &info), SUCCESS);
        EXPECT_EQ(info.Format, FILE_CALS);
        EXPECT_EQ(b.BitsPerPixel, 1);
        EXPECT_EQ(ComparePixels(b, PeerDecode(Im + " CALS:" + Q(dir / "in.cal") + " ppm:-")), "");
    }
}

TEST(CalsCodec, TurnsEveryOrientationUpright) {
    // The same stored rows under each orientation record, against the stored picture turned by
    // ImageMagick: the pel path is the counter-clockwise angle of a row on the page, and the
    // line direction is counted from the pel path (270: the next row a quarter turn clockwise,
    // as on a normal page; 90: counter-clockwise, a mirrored picture).
    TempDir dir;
    WriteFileBytes(dir / "in.ppm", EncodePnm(MakePhotoFixture(29, 13)));
    ASSERT_EQ(
        RunCommand(Im + " " + Q(dir / "in.ppm") + " -monochrome CALS:" + Q(dir / "in.cal")).ExitCode,
        0);
    const Bytes stored = ReadFileBytes(dir / "in.cal");
    const struct {
        const char* Orientation;
        const char* Turn;
    } cases[] = {
        {"090,270", "-rotate 270"}, {"180,270", "-rotate 180"}, {"270,270", "-rotate 90"},
        {"000,090", "-flip"},       {"090,090", "-transverse"}, {"270,090", "-transpose"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Orientation);
        Bytes file = stored;
        SetRecord(file, "rorient: ", c.Orientation);
        WriteFileBytes(dir / "turned.cal", file);
        BitmapHandle b;
        ASSERT_EQ(L_LoadBitmap((dir / "turned.cal").string(), &b), SUCCESS);
        EXPECT_EQ(ComparePixels(b, PeerDecode(Im + " CALS:" + Q(dir / "in.cal") + " " + c.Turn +
                                              " ppm:-")),
                  "");
    }
}

TEST(CalsCodec, DamagedFilesFailCleanly) {
    BitmapHandle photo = MakePhotoFixture(40, 30);
    TempDir dir;
    WriteFileBytes(dir / "in.ppm", EncodePnm(photo));
    ASSERT_EQ(
        RunCommand(Im + " " + Q(dir / "in.ppm") + " -monochrome CALS:" + Q(dir / "in.cal")).ExitCode,
        0);
    const Bytes good = ReadFileBytes(dir / "in.cal");
    auto with = [&](const char* name, const std::string& value) {
        Bytes b = good;
        SetRecord(b, name, value);
        return b;
    };
    const struct {
        const char* Name;
        Bytes File;
        int Status;
    } cases[] = {
        {"header-only", Bytes(good.begin(), good.begin() + 2048), ERROR_FILE_CORRUPT},
        {"tiled-type-2", with("rtype: ", "2"), ERROR_FEATURE_NOT_SUPPORTED},
        {"zero-width", with("rpelcnt: ", "000000,000030"), ERROR_FILE_CORRUPT},
        {"pel-count-not-numbers", with("rpelcnt: ", "abc"), ERROR_FILE_CORRUPT},
        {"huge-pel-count", with("rpelcnt: ", "999999,999999"), ERROR_IMAGE_TOO_LARGE},
        {"orientation-45", with("rorient: ", "045,270"), ERROR_FILE_CORRUPT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        BitmapHandle b;
        EXPECT_EQ(L_LoadBitmapMemory(c.File.data(), c.File.size(), &b), c.Status);
    }
    WriteFileBytes(dir / "bad.cal", cases[0].File);
    CommandResult r = RunCommand(std::string(KIVO_IMAGE_TOOL) + " info " + Q(dir / "bad.cal") +
                                 " 2>&1");
    EXPECT_NE(r.ExitCode, 0);
    EXPECT_NE(std::string(r.Output.begin(), r.Output.end()).find("damaged or truncated"),
              std::string::npos);
}

}  // namespace
