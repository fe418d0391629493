// PNG reading and writing against ImageMagick and netpbm, both ways, pixel for pixel: every
// colour type and bit depth, tRNS, Adam7; write settings; damaged files; progress and abort.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "codecs/png/Png.h"
#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/File.h"
#include "support/ProgressContract.h"
#include "support/Peer.h"
#include "support/PhotoFixture.h"
#include "support/PnmWrite.h"

namespace {

using namespace kivo::test;
using namespace kivo;
namespace fs = std::filesystem;

const std::string Im = ImageMagickConvert;

std::string Q(const fs::path& p) { return ShellQuote(p.string()); }

std::string Replace(std::string s, const std::string& key, const std::string& value) {
    for (size_t at = 0; (at = s.find(key, at)) != std::string::npos; at += value.size())
        s.replace(at, key.size(), value);
    return s;
}

// ImageMagick's decode at 16 bits per sample: its own reduction of 16-bit grey to 8 bits is off
// by one now and then, so the exact rounding to 8 bits is left to ComparePixels.
PnmImage ImDecode(const fs::path& file) {
    return PeerDecode(Im + " " + Q(file) + " -depth 16 pam:-");
}

// The stored bit depth and colour type, as ImageMagick reports them: "8 2" for 8-bit RGB.
std::string Ihdr(const fs::path& file) {
    return CommandText(
        "identify -format '%[png:IHDR.bit-depth-orig] %[png:IHDR.color-type-orig]' " + Q(file));
}

BitmapHandle LoadBytes(const Bytes& bytes, int* status) {
    BitmapHandle b;
    *status = L_LoadBitmapMemory(bytes.data(), bytes.size(), &b);
    return b;
}

// ---------------------------------------------------------------------------------------------
// Files written by the peers.

struct PeerCase {
    const char* Name;
    // %IN% the fixture as PPM, %INA% with alpha as PAM, %GREY% as PGM, %IM% ImageMagick,
    // %OUT% the PNG.
    const char* Command;
    const char* Ihdr;  // the bit depth and colour type the command must have produced
    int ExpectedBpp;
};

// 16-bit cases add a little to every sample, so that they are not 8-bit values scaled by 257
// (which the writers would store at 8 bits, and which would not test the reduction).
const PeerCase PeerCases[] = {
    {"grey-1", "%IM% %IN% -monochrome -define png:color-type=0 PNG:%OUT%", "1 0", 1},
    {"grey-2",
     "%IM% %IN% -colorspace Gray -depth 2 -define png:bit-depth=2 -define png:color-type=0 "
     "PNG:%OUT%",
     "2 0", 4},
    {"grey-4",
     "%IM% %IN% -colorspace Gray -depth 4 -define png:bit-depth=4 -define png:color-type=0 "
     "PNG:%OUT%",
     "4 0", 4},
    {"grey-8", "%IM% %IN% -type Grayscale -depth 8 PNG:%OUT%", "8 0", 8},
    {"grey-16", "%IM% %IN% -type Grayscale -depth 16 -evaluate Add 0.05%% PNG:%OUT%", "16 0", 8},
    {"palette-1", "pnmquant 2 %IN% | pnmtopng > %OUT%", "1 3", 1},
    {"palette-2", "pnmquant 4 %IN% | pnmtopng > %OUT%", "2 3", 4},
    {"palette-4", "pnmquant 16 %IN% | pnmtopng > %OUT%", "4 3", 4},
    {"im-palette-4",
     "%IM% %IN% -colors 16 -define png:bit-depth=4 -define png:color-type=3 PNG8:%OUT%", "4 3", 4},
    {"palette-8", "%IM% %IN% -colors 200 -type Palette PNG8:%OUT%", "8 3", 8},
    {"rgb-8", "%IM% %IN% PNG24:%OUT%", "8 2", 24},
    {"rgb-16", "%IM% %IN% -depth 16 -evaluate Add 0.05%% PNG48:%OUT%", "16 2", 24},
    {"grey-alpha-8", "%IM% %INA% -colorspace Gray -define png:color-type=4 PNG:%OUT%", "8 4", 32},
    {"grey-alpha-16",
     "%IM% %INA% -colorspace Gray -depth 16 -evaluate Add 0.05%% -define png:color-type=4 -define "
     "png:bit-depth=16 PNG:%OUT%",
     "16 4", 32},
    {"rgba-8", "%IM% %INA% PNG32:%OUT%", "8 6", 32},
    {"rgba-16", "%IM% %INA% -depth 16 -channel RGBA -evaluate Add 0.05%% PNG64:%OUT%", "16 6", 32},
    {"palette-trns", "%IM% %INA% -channel A -threshold 50%% +channel -colors 60 PNG8:%OUT%", "8 3",
     32},
    {"grey-trns", "pnmtopng -force -transparent rgb:80/80/80 %GREY% > %OUT%", "8 0", 32},
    {"rgb-trns", "pnmtopng -force -transparent rgb:80/80/80 %IN% > %OUT%", "8 2", 32},
    {"adam7-rgb-8", "%IM% %IN% -interlace PNG PNG24:%OUT%", "8 2", 24},
    {"adam7-rgba-16", "%IM% %INA% -depth 16 -evaluate Add 0.05%% -interlace PNG PNG64:%OUT%",
     "16 6", 32},
    {"adam7-grey-16",
     "%IM% %IN% -type Grayscale -depth 16 -evaluate Add 0.05%% -interlace PNG PNG:%OUT%", "16 0",
     8},
    {"adam7-palette-2", "pnmquant 4 %IN% | pnmtopng -interlace > %OUT%", "2 3", 4},
    {"adam7-grey-1", "ppmtopgm %IN% | pgmtopbm | pnmtopng -interlace > %OUT%", "1 0", 1},
    {"netpbm-rgb-8", "pnmtopng -force %IN% > %OUT%", "8 2", 24},
    {"netpbm-rgb-16", "%IM% %IN% -depth 16 -evaluate Add 0.05%% ppm:- | pnmtopng > %OUT%", "16 2",
     24},
    {"netpbm-grey-16", "%IM% %GREY% -depth 16 -evaluate Add 0.05%% pgm:- | pnmtopng > %OUT%",
     "16 0", 8},
    {"netpbm-palette-8", "pnmquant 200 %IN% | pnmtopng > %OUT%", "8 3", 8},
};

TEST(PngCodec, ReadsWhatPeersWritePixelForPixel) {
    TempDir dir;
    for (auto [w, h] : {std::pair{37, 23}, std::pair{13, 7}}) {
        WriteFileBytes(dir / "in.ppm", EncodePnm(MakePhotoFixture(w, h)));
        WriteFileBytes(dir / "in.pam", EncodePnm(MakePhotoFixtureAtDepth(w, h, 32), true));
        ASSERT_EQ(RunCommand("ppmtopgm " + Q(dir / "in.ppm") + " > " + Q(dir / "in.pgm")).ExitCode,
                  0);
        for (const PeerCase& c : PeerCases) {
            SCOPED_TRACE(std::string(c.Name) + " " + std::to_string(w) + "x" + std::to_string(h));
            const fs::path out = dir / (std::string(c.Name) + ".png");
            std::string cmd = Replace(c.Command, "%IM%", Im);
            cmd = Replace(cmd, "%IN%", Q(dir / "in.ppm"));
            cmd = Replace(cmd, "%INA%", Q(dir / "in.pam"));
            cmd = Replace(cmd, "%GREY%", Q(dir / "in.pgm"));
            cmd = Replace(cmd, "%OUT%", Q(out));
            cmd = Replace(cmd, "%%", "%");
            ASSERT_EQ(RunCommand(cmd + " 2>/dev/null").ExitCode, 0) << cmd;
            ASSERT_EQ(Ihdr(out), c.Ihdr);
            BitmapHandle b;
            ASSERT_EQ(L_LoadBitmap(out.string(), &b), SUCCESS);
            EXPECT_EQ(b.BitsPerPixel, c.ExpectedBpp);
            EXPECT_EQ(ComparePixels(b, ImDecode(out)), "");
            EXPECT_EQ(ComparePixels(b, PeerDecode("pngtopam -alphapam " + Q(out))), "");
        }
    }
}

TEST(PngCodec, GreyPicturesBecomeGreyRampPalettes) {
    TempDir dir;
    WriteFileBytes(dir / "in.ppm", EncodePnm(MakePhotoFixture(13, 7)));
    for (int depth : {1, 2, 4, 8, 16}) {
        SCOPED_TRACE(depth);
        const fs::path out = dir / "g.png";
        ASSERT_EQ(RunCommand(Im + " " + Q(dir / "in.ppm") + " -colorspace Gray -depth " +
                             std::to_string(depth) + " -define png:bit-depth=" +
                             std::to_string(depth) + " -define png:color-type=0 PNG:" + Q(out))
                      .ExitCode,
                  0);
        BitmapHandle b;
        ASSERT_EQ(L_LoadBitmap(out.string(), &b), SUCCESS);
        const size_t entries = size_t(1) << std::min(depth, 8);
        ASSERT_EQ(b.Palette.size(), entries);
        for (size_t i = 0; i < entries; ++i) {
            const uint8_t v = uint8_t(i * 255 / (entries - 1));
            EXPECT_EQ(b.Palette[i], (RgbQuad{v, v, v, 0})) << i;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Files we write, read by the peers.

struct WrittenCase {
    int Bpp;
    const char* Ihdr;
    const char* Type;  // ImageMagick's %[type] of the photo fixture at that depth
};

const WrittenCase WrittenCases[] = {
    {1, "1 3", "Palette"},    {4, "4 3", "Palette"},         {8, "8 3", "Palette"},
    {24, "8 2", "TrueColor"}, {32, "8 6", "TrueColorAlpha"},
};

TEST(PngCodec, PeersReadWhatWeWritePixelForPixel) {
    TempDir dir;
    const int w = 37, h = 23;
    const BitmapHandle photo = MakePhotoFixture(w, h);
    ASSERT_EQ(L_SaveBitmap((dir / "src.png").string(), &photo, FILE_PNG, 24), SUCCESS);
    for (const WrittenCase& c : WrittenCases) {
        SCOPED_TRACE(c.Bpp);
        const BitmapHandle direct = MakePhotoFixtureAtDepth(w, h, c.Bpp);
        const fs::path directFile = dir / ("direct" + std::to_string(c.Bpp) + ".png");
        ASSERT_EQ(L_SaveBitmap(directFile.string(), &direct, FILE_PNG, c.Bpp), SUCCESS);
        EXPECT_EQ(Ihdr(directFile), c.Ihdr);
        EXPECT_EQ(ComparePixels(direct, ImDecode(directFile)), "");
        EXPECT_EQ(ComparePixels(direct, PeerDecode("pngtopam -alphapam " + Q(directFile))), "");

        const fs::path out = dir / ("out" + std::to_string(c.Bpp) + ".png");
        ASSERT_EQ(RunCommand(std::string(KIVO_IMAGE_TOOL) + " convert " + Q(dir / "src.png") + " " +
                             Q(out) + " --bpp " + std::to_string(c.Bpp))
                      .ExitCode,
                  0);
        // A colour picture lowered to 1 bit becomes black and white, which is written as grey.
        EXPECT_EQ(Ihdr(out), c.Bpp == 1 ? std::string("1 0") : std::string(c.Ihdr));
        EXPECT_EQ(CommandText("identify -format '%w %h %[bit-depth] %[type]' " + Q(out)),
                  std::to_string(w) + " " + std::to_string(h) +
                      (c.Bpp == 1 ? " 1 Bilevel" : " 8 " + std::string(c.Type)));
        BitmapHandle ours;
        ASSERT_EQ(L_LoadBitmap(out.string(), &ours), SUCCESS);
        EXPECT_EQ(ours.BitsPerPixel, c.Bpp);
        EXPECT_EQ(ComparePixels(ours, ImDecode(out)), "");
    }
}

// A picture of many rows is deflated in bands on several threads and joined into one stream:
// the peers read it pixel for pixel, and priming each band with the data before it keeps the
// file as small as netpbm's single deflate at the same level and filter.
TEST(PngCodec, BandedStreamIsOneValidStream) {
    TempDir dir;
    const BitmapHandle photo = MakePhotoFixture(211, 640);
    WriteFileBytes(dir / "in.ppm", EncodePnm(photo));
    for (int bpp : {1, 8, 24, 32}) {
        SCOPED_TRACE(bpp);
        const BitmapHandle b = MakePhotoFixtureAtDepth(211, 640, bpp);
        const fs::path file = dir / ("banded" + std::to_string(bpp) + ".png");
        ASSERT_EQ(L_SaveBitmap(file.string(), &b, FILE_PNG, bpp), SUCCESS);
        EXPECT_EQ(ComparePixels(b, ImDecode(file)), "");
        EXPECT_EQ(ComparePixels(b, PeerDecode("pngtopam -alphapam " + Q(file))), "");
    }
    ASSERT_EQ(RunCommand("pnmtopng -sub -compression=6 " + Q(dir / "in.ppm") + " > " +
                         Q(dir / "netpbm.png"))
                  .ExitCode,
              0);
    const double ours = double(fs::file_size(dir / "banded24.png"));
    EXPECT_LT(ours, 1.01 * double(fs::file_size(dir / "netpbm.png")));
}

TEST(PngCodec, WritesGreyRampPalettesAsGreyPictures) {
    TempDir dir;
    for (int bpp : {1, 4, 8}) {
        SCOPED_TRACE(bpp);
        BitmapHandle grey;
        ASSERT_EQ(L_CreateBitmap(&grey, 1, 19, 5, bpp), SUCCESS);  // grey ramp palette
        const int levels = 1 << bpp;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 19; ++x) {
                const uint8_t v = uint8_t(((x + 3 * y) % levels) * 255 / (levels - 1));
                L_PutPixelColor(&grey, x, y, RGBColor(v, v, v));
            }
        const fs::path out = dir / "grey.png";
        ASSERT_EQ(L_SaveBitmap(out.string(), &grey, FILE_PNG, bpp), SUCCESS);
        EXPECT_EQ(Ihdr(out), std::to_string(bpp) + " 0");
        EXPECT_EQ(ComparePixels(grey, ImDecode(out)), "");
    }
}

TEST(PngCodec, WriteSettingsChangeTheFileNotThePixels) {
    TempDir dir;
    const BitmapHandle photo = MakePhotoFixture(64, 48);
    const PngWriteSettings saved = GetPngWriteSettings();
    EXPECT_EQ(saved.ZlibLevel, 6);
    EXPECT_EQ(saved.Filters, PngFilterSub);
    struct Case {
        int Level;
        int Filters;
    };
    const Case cases[] = {{0, PngFilterNone},
                          {9, PngFilterNone},
                          {6, PngFilterPaeth},
                          {6, PngFilterUp},
                          {1, PngFilterAll}};
    std::vector<Bytes> files;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.Level) + "/" + std::to_string(c.Filters));
        SetPngWriteSettings({c.Level, c.Filters});
        EXPECT_EQ(GetPngWriteSettings().ZlibLevel, c.Level);
        EXPECT_EQ(GetPngWriteSettings().Filters, c.Filters);
        Bytes out;
        ASSERT_EQ(L_SaveBitmapMemory(&out, &photo, FILE_PNG, 24), SUCCESS);
        WriteFileBytes(dir / "s.png", out);
        EXPECT_EQ(ComparePixels(photo, ImDecode(dir / "s.png")), "");
        files.push_back(out);
    }
    SetPngWriteSettings(saved);
    // Level 0 stores the rows: bigger than anything deflate makes of them.
    EXPECT_GT(files[0].size(), files[1].size());
    EXPECT_GT(files[0].size(), size_t(64 * 48 * 3));
    EXPECT_NE(files[2], files[3]);
    // Out-of-range settings fall back to something valid.
    SetPngWriteSettings({42, 0});
    EXPECT_EQ(GetPngWriteSettings().ZlibLevel, 9);
    EXPECT_EQ(GetPngWriteSettings().Filters, PngFilterSub);
    SetPngWriteSettings(saved);
}

// ---------------------------------------------------------------------------------------------
// Damaged files.

uint32_t Crc32(const uint8_t* data, size_t n) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void PutBe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}

// A valid file with its IHDR fields changed and the chunk's CRC recomputed.
Bytes WithIhdr(Bytes file, uint32_t width, uint32_t height, int depth, int colourType) {
    PutBe32(file, 16, width);
    PutBe32(file, 20, height);
    file[24] = uint8_t(depth);
    file[25] = uint8_t(colourType);
    PutBe32(file, 29, Crc32(file.data() + 12, 17));
    return file;
}

TEST(PngCodec, RefusesDamagedFilesWithTheRightCode) {
    const BitmapHandle photo = MakePhotoFixture(20, 10);
    Bytes valid;
    ASSERT_EQ(L_SaveBitmapMemory(&valid, &photo, FILE_PNG, 24), SUCCESS);
    Bytes badCrc = valid;
    badCrc[17] ^= 1;  // width, without fixing the CRC
    Bytes badIdat = valid;
    badIdat[valid.size() - 20] ^= 0x55;  // inside the compressed rows
    struct Case {
        const char* Name;
        Bytes File;
        int Expected;
    };
    const Case cases[] = {
        {"valid", valid, SUCCESS},
        {"signature only", Bytes(valid.begin(), valid.begin() + 8), ERROR_FILE_CORRUPT},
        {"IHDR cut", Bytes(valid.begin(), valid.begin() + 20), ERROR_FILE_CORRUPT},
        {"rows cut", Bytes(valid.begin(), valid.end() - 40), ERROR_FILE_CORRUPT},
        {"IHDR CRC wrong", badCrc, ERROR_FILE_CORRUPT},
        {"compressed rows damaged", badIdat, ERROR_FILE_CORRUPT},
        {"zero width", WithIhdr(valid, 0, 10, 8, 2), ERROR_FILE_CORRUPT},
        {"bit depth 3", WithIhdr(valid, 20, 10, 3, 2), ERROR_FILE_CORRUPT},
        {"colour type 5", WithIhdr(valid, 20, 10, 8, 5), ERROR_FILE_CORRUPT},
        {"palette without PLTE", WithIhdr(valid, 20, 10, 8, 3), ERROR_FILE_CORRUPT},
        {"huge picture in a tiny file", WithIhdr(valid, 1u << 20, 1u << 20, 8, 2),
         ERROR_IMAGE_TOO_LARGE},
        {"larger than it holds", WithIhdr(valid, 20, 40, 8, 2), ERROR_FILE_CORRUPT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        int status;
        BitmapHandle b = LoadBytes(c.File, &status);
        EXPECT_EQ(status, c.Expected);
    }
}

// ---------------------------------------------------------------------------------------------
// Progress and abort.

TEST(PngCodec, ReportsProgressByRowsAndStopsWhenAsked) {
    TempDir dir;
    // Big enough for a dozen of the writer's bands, which are its steps of progress.
    const BitmapHandle photo = MakePhotoFixture(300, 2400);
    WriteFileBytes(dir / "in.ppm", EncodePnm(photo));
    ASSERT_EQ(
        RunCommand(Im + " " + Q(dir / "in.ppm") + " -interlace PNG PNG24:" + Q(dir / "adam7.png"))
            .ExitCode,
        0);
    ExpectProgressContract(photo, FILE_PNG, 24, 10, {{"adam7", ReadFileBytes(dir / "adam7.png")}});
}

}  // namespace
