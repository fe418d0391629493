// GIF reading and writing against ImageMagick and netpbm, both ways, pixel for pixel: colour
// table sizes, interlace, transparency, frames smaller than the screen, animations; the code
// size we write; damaged files; progress and abort.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/File.h"
#include "support/ProgressContract.h"
#include "support/Peer.h"
#include "support/PhotoFixture.h"
#include "support/PnmWrite.h"

namespace {

using namespace kivo::test;
namespace fs = std::filesystem;

const std::string Im = ImageMagickConvert;

std::string Q(const fs::path& p) { return ShellQuote(p.string()); }

std::string Replace(std::string s, const std::string& key, const std::string& value) {
    for (size_t at = 0; (at = s.find(key, at)) != std::string::npos; at += value.size())
        s.replace(at, key.size(), value);
    return s;
}

// ImageMagick's decode of the first frame, colours only: transparent pixels show the colour of
// their index.
PnmImage ImDecode(const fs::path& file) {
    return PeerDecode(Im + " " + Q(file.string() + "[0]") + " -alpha off -depth 8 ppm:-");
}

BitmapHandle LoadBytes(const Bytes& bytes, int* status) {
    BitmapHandle b;
    *status = L_LoadBitmapMemory(bytes.data(), bytes.size(), &b);
    return b;
}

// The size of the global colour table in bits (0 when there is none), and the LZW minimum code
// size of the first frame, from the file's bytes.
struct GifLayout {
    int TableBits = 0;
    int CodeSize = 0;
};

GifLayout LayoutOf(const Bytes& f) {
    GifLayout l;
    if (f.size() < 13) return l;
    size_t pos = 13;
    if (f[10] & 0x80) {
        l.TableBits = (f[10] & 7) + 1;
        pos += 3u << l.TableBits;
    }
    while (pos < f.size()) {
        if (f[pos] == 0x21) {  // extension: label, then sub-blocks
            pos += 2;
            while (pos < f.size() && f[pos]) pos += f[pos] + 1u;
            ++pos;
        } else if (f[pos] == 0x2C) {
            const uint8_t packed = f[pos + 9];
            pos += 10;
            if (packed & 0x80) pos += 3u << ((packed & 7) + 1);
            if (pos < f.size()) l.CodeSize = f[pos];
            break;
        } else {
            break;
        }
    }
    return l;
}

// ---------------------------------------------------------------------------------------------
// Files written by the peers.

struct PeerCase {
    const char* Name;
    const char* Command;  // %IN% the fixture as PPM, %INA% with alpha as PAM, %OUT% the GIF
};

const PeerCase PeerCases[] = {
    {"im-256", "%IM% %IN% -colors 256 GIF:%OUT%"},
    {"im-16", "%IM% %IN% -colors 16 GIF:%OUT%"},
    {"im-5", "%IM% %IN% -colors 5 GIF:%OUT%"},
    {"im-monochrome", "%IM% %IN% -monochrome GIF:%OUT%"},
    {"im-grey", "%IM% %IN% -colorspace Gray GIF:%OUT%"},
    {"im-interlaced", "%IM% %IN% -colors 200 -interlace GIF GIF:%OUT%"},
    {"im-transparent", "%IM% %INA% -channel A -threshold 50%% +channel -colors 100 GIF:%OUT%"},
    {"im-animation", "%IM% %IN% \\( %IN% -negate \\) -colors 64 GIF:%OUT%"},
    {"netpbm-ppmtogif", "pnmquant 200 %IN% | ppmtogif > %OUT%"},
    {"netpbm-interlaced", "pnmquant 100 %IN% | ppmtogif -interlace > %OUT%"},
    {"netpbm-pamtogif-16", "pnmquant 16 %IN% | pamtogif > %OUT%"},
    {"netpbm-transparent", "pnmquant 50 %IN% | pamtogif -transparent=rgb:80/80/80 > %OUT%"},
    {"netpbm-sorted", "pnmquant 30 %IN% | ppmtogif -sort > %OUT%"},
};

TEST(GifCodec, ReadsWhatPeersWritePixelForPixel) {
    TempDir dir;
    for (auto [w, h] : {std::pair{37, 23}, std::pair{13, 7}}) {
        WriteFileBytes(dir / "in.ppm", EncodePnm(MakePhotoFixture(w, h)));
        WriteFileBytes(dir / "in.pam", EncodePnm(MakePhotoFixtureAtDepth(w, h, 32), true));
        for (const PeerCase& c : PeerCases) {
            SCOPED_TRACE(std::string(c.Name) + " " + std::to_string(w) + "x" + std::to_string(h));
            const fs::path out = dir / (std::string(c.Name) + ".gif");
            std::string cmd = Replace(c.Command, "%IM%", Im);
            cmd = Replace(cmd, "%IN%", Q(dir / "in.ppm"));
            cmd = Replace(cmd, "%INA%", Q(dir / "in.pam"));
            cmd = Replace(cmd, "%OUT%", Q(out));
            cmd = Replace(cmd, "%%", "%");
            ASSERT_EQ(RunCommand(cmd + " 2>/dev/null").ExitCode, 0) << cmd;
            BitmapHandle b;
            ASSERT_EQ(L_LoadBitmap(out.string(), &b), SUCCESS);
            EXPECT_EQ(b.BitsPerPixel, 8);
            EXPECT_EQ(ComparePixels(b, ImDecode(out)), "");
            EXPECT_EQ(ComparePixels(b, PeerDecode("giftopnm " + Q(out) + " 2>/dev/null")), "");
        }
    }
}

TEST(GifCodec, PlacesASmallFrameOnTheScreenFilledWithTheBackground) {
    TempDir dir;
    const fs::path file = dir / "frame.gif";
    WriteFileBytes(dir / "in.ppm", EncodePnm(MakePhotoFixture(9, 5)));
    ASSERT_EQ(RunCommand(Im + " " + Q(dir / "in.ppm") + " -colors 8 -page 20x12+4+3 GIF:" + Q(file))
                  .ExitCode,
              0);
    // Make the background an index other than 0, so that filling with 0 would show.
    Bytes bytes = ReadFileBytes(file);
    ASSERT_GT(bytes.size(), 13u);
    bytes[11] = 5;
    WriteFileBytes(file, bytes);

    int status;
    BitmapHandle b = LoadBytes(bytes, &status);
    ASSERT_EQ(status, SUCCESS);
    ASSERT_EQ(b.Width, 20);
    ASSERT_EQ(b.Height, 12);
    const PnmImage frame = ImDecode(file);  // the frame alone, 9 × 5
    ASSERT_EQ(frame.Width, 9);
    ASSERT_EQ(frame.Height, 5);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool inFrame = x >= 4 && x < 13 && y >= 3 && y < 8;
            if (inFrame) {
                uint8_t rgba[4];
                BitmapRgba(b, x, y, rgba);
                for (int c = 0; c < 3; ++c)
                    EXPECT_EQ(rgba[c], frame.At(x - 4, y - 3, c)) << x << "," << y;
            } else {
                EXPECT_EQ(b.Row(y)[x], 5) << x << "," << y;
            }
        }
}

// ---------------------------------------------------------------------------------------------
// Files we write, read by the peers.

void SetIndex(BitmapHandle& b, int x, int y, int index) {
    uint8_t* row = b.Row(y);
    const int bpp = b.BitsPerPixel;
    const int perByte = 8 / bpp;
    const int shift = 8 - bpp * (x % perByte + 1);
    const int mask = ((1 << bpp) - 1) << shift;
    row[x / perByte] = uint8_t((row[x / perByte] & ~mask) | (index << shift));
}

TEST(GifCodec, PeersReadWhatWeWritePixelForPixel) {
    TempDir dir;
    const int w = 37, h = 23;
    const BitmapHandle photo = MakePhotoFixture(w, h);
    ASSERT_EQ(L_SaveBitmap((dir / "src.bmp").string(), &photo, FILE_BMP, 24), SUCCESS);
    struct Case {
        int Bpp;
        int TableBits;
    };
    for (const Case c : {Case{1, 1}, Case{4, 4}, Case{8, 8}}) {
        SCOPED_TRACE(c.Bpp);
        const BitmapHandle direct = MakePhotoFixtureAtDepth(w, h, c.Bpp);
        const fs::path directFile = dir / ("direct" + std::to_string(c.Bpp) + ".gif");
        ASSERT_EQ(L_SaveBitmap(directFile.string(), &direct, FILE_GIF, c.Bpp), SUCCESS);
        EXPECT_EQ(ComparePixels(direct, ImDecode(directFile)), "");
        EXPECT_EQ(ComparePixels(direct, PeerDecode("giftopnm " + Q(directFile))), "");
        const GifLayout layout = LayoutOf(ReadFileBytes(directFile));
        EXPECT_EQ(layout.TableBits, c.TableBits);
        EXPECT_EQ(layout.CodeSize, std::max(2, c.TableBits));

        const fs::path out = dir / ("out" + std::to_string(c.Bpp) + ".gif");
        ASSERT_EQ(RunCommand(std::string(KIVO_IMAGE_TOOL) + " convert " + Q(dir / "src.bmp") + " " +
                             Q(out) + " --bpp " + std::to_string(c.Bpp))
                      .ExitCode,
                  0);
        // A colour picture lowered to 1 bit becomes black and white.
        EXPECT_EQ(CommandText("identify -format '%w %h %[bit-depth] %[type]' " + Q(out)),
                  std::to_string(w) + " " + std::to_string(h) +
                      (c.Bpp == 1 ? " 1 Bilevel" : " 8 Palette"));
        EXPECT_EQ(LayoutOf(ReadFileBytes(out)).TableBits, c.TableBits);
        BitmapHandle ours;
        ASSERT_EQ(L_LoadBitmap(out.string(), &ours), SUCCESS);
        EXPECT_EQ(ComparePixels(ours, ImDecode(out)), "");
    }
}

TEST(GifCodec, WritesTheSmallestColourTableThatHoldsThePalette) {
    TempDir dir;
    struct Case {
        int Bpp;
        int Colours;    // palette entries of the bitmap
        int MaxIndex;   // largest index the pixels use
        int TableBits;  // expected colour table (and code) size
    };
    const Case cases[] = {
        {8, 2, 1, 1},     {8, 3, 2, 2},  {8, 5, 4, 3}, {8, 17, 16, 5},
        {8, 256, 255, 8}, {4, 16, 3, 4}, {8, 4, 9, 4},  // an index past the palette widens it
        {1, 2, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.Bpp) + " bits, " + std::to_string(c.Colours) + " colours");
        std::vector<RgbQuad> pal;
        for (int i = 0; i < c.Colours; ++i)
            pal.push_back(RgbQuad{uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 13), 0});
        BitmapHandle b;
        ASSERT_EQ(L_CreateBitmap(&b, 1, 11, 3, c.Bpp), SUCCESS);
        b.Palette = pal;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 11; ++x) {
                const int index = (x + 4 * y) % (c.MaxIndex + 1);
                SetIndex(b, x, y, index);
            }
        Bytes out;
        ASSERT_EQ(L_SaveBitmapMemory(&out, &b, FILE_GIF, c.Bpp), SUCCESS);
        const GifLayout layout = LayoutOf(out);
        EXPECT_EQ(layout.TableBits, c.TableBits);
        EXPECT_EQ(layout.CodeSize, std::max(2, c.TableBits));
        WriteFileBytes(dir / "t.gif", out);
        EXPECT_EQ(ComparePixels(b, ImDecode(dir / "t.gif")), "");
    }
}

TEST(GifCodec, SavesOnlyAtOneFourOrEightBits) {
    EXPECT_EQ(L_FormatSaveDepths(FILE_GIF), (std::vector<int>{1, 4, 8}));
    const BitmapHandle photo = MakePhotoFixture(8, 8);
    Bytes out;
    for (int bpp : {2, 3, 5, 6, 7, 16, 24, 32})
        EXPECT_EQ(L_SaveBitmapMemory(&out, &photo, FILE_GIF, bpp), ERROR_INV_BITSPERPIXEL) << bpp;
}

// ---------------------------------------------------------------------------------------------
// Damaged files.

TEST(GifCodec, RefusesDamagedFilesWithTheRightCode) {
    const BitmapHandle photo = MakePhotoFixtureAtDepth(20, 10, 8);
    Bytes valid;
    ASSERT_EQ(L_SaveBitmapMemory(&valid, &photo, FILE_GIF, 8), SUCCESS);
    const size_t imageStart = 13 + 3 * 256;  // after the header and the 256-entry table
    ASSERT_EQ(valid[imageStart], 0x2C);
    auto patched = [&](size_t at, std::initializer_list<uint8_t> bytes) {
        Bytes f = valid;
        std::copy(bytes.begin(), bytes.end(), f.begin() + long(at));
        return f;
    };
    Bytes noImage(valid.begin(), valid.begin() + long(imageStart));
    noImage.push_back(0x3B);
    struct Case {
        const char* Name;
        Bytes File;
        int Expected;
    };
    const Case cases[] = {
        {"valid", valid, SUCCESS},
        {"signature only", Bytes(valid.begin(), valid.begin() + 6), ERROR_FILE_CORRUPT},
        {"colour table cut", Bytes(valid.begin(), valid.begin() + 100), ERROR_FILE_CORRUPT},
        {"rows cut", Bytes(valid.begin(), valid.end() - 30), ERROR_FILE_CORRUPT},
        {"no picture before the trailer", noImage, ERROR_FILE_CORRUPT},
        {"unknown block", patched(imageStart, {0x99}), ERROR_FILE_CORRUPT},
        {"zero frame width", patched(imageStart + 5, {0, 0}), ERROR_FILE_CORRUPT},
        {"huge screen", patched(6, {0xFF, 0xFF, 0xFF, 0xFF}), ERROR_IMAGE_TOO_LARGE},
        {"LZW code size 12", patched(imageStart + 10, {12}), ERROR_FILE_CORRUPT},
    };
    const uint64_t limit = L_GetMaxPixels();
    L_SetMaxPixels(1u << 20);  // 65535 × 65535 exceeds it
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        int status;
        BitmapHandle b = LoadBytes(c.File, &status);
        EXPECT_EQ(status, c.Expected);
    }
    L_SetMaxPixels(limit);
}

// ---------------------------------------------------------------------------------------------
// Progress and abort.

TEST(GifCodec, ReportsProgressByRowsAndStopsWhenAsked) {
    TempDir dir;
    const BitmapHandle photo = MakePhotoFixtureAtDepth(40, 300, 8);
    Bytes plain;
    ASSERT_EQ(L_SaveBitmapMemory(&plain, &photo, FILE_GIF, 8), SUCCESS);
    WriteFileBytes(dir / "plain.gif", plain);
    ASSERT_EQ(RunCommand(Im + " " + Q(dir / "plain.gif") +
                         " -interlace GIF GIF:" + Q(dir / "interlaced.gif"))
                  .ExitCode,
              0);
    ExpectProgressContract(photo, FILE_GIF, 8, 50,
                           {{"interlaced", ReadFileBytes(dir / "interlaced.gif")}});
}

}  // namespace
