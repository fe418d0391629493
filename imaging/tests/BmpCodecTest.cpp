// BMP reading and writing against ImageMagick and netpbm, both ways, pixel for pixel; header
// variants, RLE escapes and damaged files built byte by byte.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
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

// ImageMagick's decode of a file at 8 bits per sample (alpha included when the file has it).
PnmImage ImDecode(const fs::path& file) {
    return PeerDecode(Im + " " + Q(file) + " -depth 8 pam:-");
}

BitmapHandle Load(const fs::path& file, int expectStatus = SUCCESS) {
    BitmapHandle b;
    EXPECT_EQ(L_LoadBitmap(file.string(), &b), expectStatus) << file;
    return b;
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
    const char* Command;  // %IN% = the fixture as PPM, %INA% = with alpha as PAM, %OUT% = the BMP
    int ExpectedBpp;
};

const PeerCase PeerCases[] = {
    {"im-bmp3-24", "%IM% %IN% BMP3:%OUT%", 24},
    {"im-bmp4-32-alpha", "%IM% %INA% BMP:%OUT%", 32},
    {"im-palette-8", "%IM% %IN% -colors 200 -type Palette BMP3:%OUT%", 8},
    {"im-palette-4", "%IM% %IN% -colors 16 -type Palette BMP3:%OUT%", 4},
    {"im-grey-8", "%IM% %IN% -colorspace Gray -type Palette BMP3:%OUT%", 8},
    {"im-monochrome-1", "%IM% %IN% -monochrome BMP3:%OUT%", 1},
    {"im-rle8", "%IM% %IN% -colors 200 -type Palette -compress RLE BMP3:%OUT%", 8},
    {"im-rle8-few-colours", "%IM% %IN% -colors 5 -type Palette -compress RLE BMP3:%OUT%", 8},
    {"im-565", "%IM% %IN% -define bmp:subtype=RGB565 BMP:%OUT%", 24},
    {"im-555", "%IM% %IN% -define bmp:subtype=RGB555 BMP:%OUT%", 16},
    {"im-os2-24", "%IM% %IN% BMP2:%OUT%", 24},
    {"im-os2-4", "%IM% %IN% -colors 16 -type Palette BMP2:%OUT%", 4},
    {"im-os2-8", "%IM% %IN% -colors 200 -type Palette BMP2:%OUT%", 8},
    {"netpbm-24", "ppmtobmp -bpp 24 %IN% > %OUT%", 24},
    {"netpbm-os2-24", "ppmtobmp -os2 -bpp 24 %IN% > %OUT%", 24},
    {"netpbm-8", "pnmquant 200 %IN% | ppmtobmp > %OUT%", 8},
    {"netpbm-4", "pnmquant 16 %IN% | ppmtobmp > %OUT%", 4},
    {"netpbm-1", "ppmtopgm %IN% | pgmtopbm | ppmtobmp > %OUT%", 1},
};

TEST(BmpCodec, ReadsWhatPeersWritePixelForPixel) {
    TempDir dir;
    for (auto [w, h] : {std::pair{37, 23}, std::pair{13, 7}}) {
        WriteFileBytes(dir / "in.ppm", EncodePnm(MakePhotoFixture(w, h)));
        WriteFileBytes(dir / "in.pam", EncodePnm(MakePhotoFixtureAtDepth(w, h, 32), true));
        for (const PeerCase& c : PeerCases) {
            SCOPED_TRACE(std::string(c.Name) + " " + std::to_string(w) + "x" + std::to_string(h));
            const fs::path out = dir / (std::string(c.Name) + ".bmp");
            std::string cmd = Replace(c.Command, "%IM%", Im);
            cmd = Replace(cmd, "%IN%", Q(dir / "in.ppm"));
            cmd = Replace(cmd, "%INA%", Q(dir / "in.pam"));
            cmd = Replace(cmd, "%OUT%", Q(out));
            ASSERT_EQ(RunCommand(cmd + " 2>/dev/null").ExitCode, 0) << cmd;
            BitmapHandle b = Load(out);
            ASSERT_TRUE(b.Allocated());
            EXPECT_EQ(b.BitsPerPixel, c.ExpectedBpp);
            EXPECT_EQ(ComparePixels(b, ImDecode(out)), "");
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Files built byte by byte.

void Put16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

struct BmpSpec {
    uint32_t HeaderSize = 40;
    int32_t Width = 0;
    int32_t Height = 0;  // negative: top-down
    int Bpp = 24;
    uint32_t Compression = 0;
    uint32_t ColoursUsed = 0;
    std::vector<std::array<uint8_t, 3>> Palette;  // R, G, B
    std::array<uint32_t, 4> Masks{};              // R, G, B, A: in the header from 52 bytes on
    bool MasksAfterHeader = false;
    Bytes Pixels;  // as stored
};

Bytes BuildBmp(const BmpSpec& s) {
    Bytes info;
    if (s.HeaderSize == 12) {
        Put32(info, 12);
        Put16(info, uint16_t(s.Width));
        Put16(info, uint16_t(s.Height));
        Put16(info, 1);
        Put16(info, uint16_t(s.Bpp));
    } else {
        Put32(info, s.HeaderSize);
        Put32(info, uint32_t(s.Width));
        Put32(info, uint32_t(s.Height));
        Put16(info, 1);
        Put16(info, uint16_t(s.Bpp));
        Put32(info, s.Compression);
        Put32(info, uint32_t(s.Pixels.size()));
        Put32(info, 2835);
        Put32(info, 2835);
        Put32(info, s.ColoursUsed);
        Put32(info, 0);
        for (uint32_t m : s.Masks) Put32(info, m);
        info.resize(std::max<size_t>(s.HeaderSize, 56), 0);
        info.resize(s.HeaderSize);
    }
    if (s.MasksAfterHeader)
        for (int i = 0; i < 3; ++i) Put32(info, s.Masks[size_t(i)]);
    for (const auto& c : s.Palette) {
        info.insert(info.end(), {c[2], c[1], c[0]});
        if (s.HeaderSize != 12) info.push_back(0);
    }
    Bytes file = {'B', 'M'};
    Put32(file, uint32_t(14 + info.size() + s.Pixels.size()));
    Put32(file, 0);
    Put32(file, uint32_t(14 + info.size()));
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), s.Pixels.begin(), s.Pixels.end());
    return file;
}

// Packs rows of palette indices (top row first) into stored rows, bottom-up unless topDown.
Bytes PackIndexRows(const std::vector<std::vector<int>>& rows, int bpp, bool topDown = false) {
    Bytes out;
    const size_t stride = ((rows[0].size() * size_t(bpp) + 31) / 32) * 4;
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[topDown ? i : rows.size() - 1 - i];
        Bytes packed(stride, 0);
        for (size_t x = 0; x < row.size(); ++x) {
            const size_t bit = x * size_t(bpp);
            packed[bit / 8] |= uint8_t(row[x] << (8 - bpp - bit % 8));
        }
        out.insert(out.end(), packed.begin(), packed.end());
    }
    return out;
}

std::vector<std::array<uint8_t, 3>> TestPalette(int n) {
    std::vector<std::array<uint8_t, 3>> pal;
    for (int i = 0; i < n; ++i)
        pal.push_back({uint8_t(i * 37 % 256), uint8_t(255 - i * 16), uint8_t(i * 90 % 256)});
    return pal;
}

// Checks every pixel's palette index and the palette itself against the model.
void ExpectIndices(const BitmapHandle& b, const std::vector<std::vector<int>>& rows,
                   const std::vector<std::array<uint8_t, 3>>& pal) {
    ASSERT_TRUE(b.Allocated());
    ASSERT_EQ(b.Height, int(rows.size()));
    ASSERT_EQ(b.Width, int(rows[0].size()));
    ASSERT_EQ(b.Palette.size(), pal.size());
    for (size_t i = 0; i < pal.size(); ++i) {
        EXPECT_EQ(b.Palette[i].Red, pal[i][0]);
        EXPECT_EQ(b.Palette[i].Green, pal[i][1]);
        EXPECT_EQ(b.Palette[i].Blue, pal[i][2]);
    }
    for (int y = 0; y < b.Height; ++y)
        for (int x = 0; x < b.Width; ++x) {
            const uint8_t* row = b.Row(y);
            int v = b.BitsPerPixel == 8   ? row[x]
                    : b.BitsPerPixel == 4 ? (row[x / 2] >> (x % 2 ? 0 : 4)) & 15
                                          : (row[x / 8] >> (7 - x % 8)) & 1;
            EXPECT_EQ(v, rows[size_t(y)][size_t(x)]) << "at " << x << "," << y;
        }
}

const std::vector<std::vector<int>> Indices4 = {
    {0, 1, 2, 3, 4, 5, 6},    {15, 14, 13, 12, 11, 10, 9}, {8, 8, 8, 1, 1, 1, 0},
    {3, 5, 7, 9, 11, 13, 15}, {2, 4, 6, 8, 10, 12, 14},
};

TEST(BmpCodec, ReadsEveryHeaderVariant) {
    // OS/2 1.x, OS/2 2.x cut short and full, Windows 3, V4, V5: the same 4-bit picture.
    TempDir dir;
    for (uint32_t headerSize : {12u, 16u, 40u, 64u, 108u, 124u}) {
        SCOPED_TRACE(headerSize);
        BmpSpec s;
        s.HeaderSize = headerSize;
        s.Width = 7;
        s.Height = 5;
        s.Bpp = 4;
        s.Palette = TestPalette(16);
        s.Pixels = PackIndexRows(Indices4, 4);
        const Bytes file = BuildBmp(s);
        int status;
        BitmapHandle b = LoadBytes(file, &status);
        ASSERT_EQ(status, SUCCESS);
        ExpectIndices(b, Indices4, s.Palette);
        if (headerSize == 16 || headerSize == 64) continue;  // ImageMagick 6 misreads these
        WriteFileBytes(dir / "v.bmp", file);
        EXPECT_EQ(ComparePixels(b, ImDecode(dir / "v.bmp")), "");
    }
}

TEST(BmpCodec, ReadsTopDownRowsAndShortPalettes) {
    struct Case {
        const char* Name;
        int Bpp;
        int PaletteSize;
        bool TopDown;
    };
    const Case cases[] = {
        {"top-down 4-bit", 4, 16, true},
        {"bottom-up 8-bit, 3 colours", 8, 3, false},
        {"top-down 8-bit, 3 colours", 8, 3, true},
        {"bottom-up 4-bit, 5 colours", 4, 5, false},
        {"top-down 1-bit", 1, 2, true},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::vector<int>> rows;
        for (int y = 0; y < 5; ++y) {
            rows.emplace_back();
            for (int x = 0; x < 11; ++x) rows.back().push_back((x * 3 + y) % c.PaletteSize);
        }
        BmpSpec s;
        s.Width = 11;
        s.Height = c.TopDown ? -5 : 5;
        s.Bpp = c.Bpp;
        s.ColoursUsed = uint32_t(c.PaletteSize);
        s.Palette = TestPalette(c.PaletteSize);
        s.Pixels = PackIndexRows(rows, c.Bpp, c.TopDown);
        const Bytes file = BuildBmp(s);
        int status;
        BitmapHandle b = LoadBytes(file, &status);
        ASSERT_EQ(status, SUCCESS);
        ExpectIndices(b, rows, s.Palette);
        WriteFileBytes(dir / "t.bmp", file);
        EXPECT_EQ(ComparePixels(b, ImDecode(dir / "t.bmp")), "");
    }
}

TEST(BmpCodec, ReadsTopDown24Bit) {
    BitmapHandle photo = MakePhotoFixture(9, 4);
    BmpSpec s;
    s.Width = 9;
    s.Height = -4;
    for (int y = 0; y < 4; ++y) {
        s.Pixels.insert(s.Pixels.end(), photo.Row(y), photo.Row(y) + 27);
        s.Pixels.push_back(0);  // pad 27 to 28
    }
    int status;
    BitmapHandle b = LoadBytes(BuildBmp(s), &status);
    ASSERT_EQ(status, SUCCESS);
    ASSERT_EQ(b.BitsPerPixel, 24);
    for (int y = 0; y < 4; ++y) EXPECT_EQ(std::memcmp(b.Row(y), photo.Row(y), 27), 0) << y;
}

// RLE streams: each case gives the stream and the picture it must decode to (index rows, top row
// first). Pixels that no run reaches stay 0.
struct RleCase {
    const char* Name;
    int Bpp;
    int Width, Height;
    Bytes Stream;
    std::vector<std::vector<int>> Expected;
    bool ImAgrees;  // ImageMagick 6 decodes it the same way (well-formed streams)
};

std::vector<RleCase> RleCases() {
    return {
        {"rle4 runs, absolute blocks, end of line and bitmap",
         4,
         6,
         3,
         // bottom row: run of 5 alternating 1,2 then a single 3; row 2: absolute 3 pixels
         // (odd count, padded) then run of 3 of 7; top row: run of 6 of 15.
         {5, 0x12, 1, 0x30, 0, 0, 0, 3, 0x45, 0x60, 3, 0x77, 0, 0, 6, 0xFF, 0, 1},
         {{15, 15, 15, 15, 15, 15}, {4, 5, 6, 7, 7, 7}, {1, 2, 1, 2, 1, 3}},
         true},
        {"rle8 absolute block with padding",
         8,
         5,
         2,
         {0, 3, 9, 8, 7, 0, 2, 4, 0, 0, 5, 1, 0, 1},
         {{1, 1, 1, 1, 1}, {9, 8, 7, 4, 4}},
         true},
        {"rle8 delta skips pixels and rows",
         8,
         4,
         3,
         // bottom row: 1 at x=0, delta (2, 1) → x=3 on the middle row, run of 1 of 5,
         // end of line, top row run of 4 of 6.
         {1, 1, 0, 2, 2, 1, 1, 5, 0, 0, 4, 6, 0, 1},
         {{6, 6, 6, 6}, {0, 0, 0, 5}, {1, 0, 0, 0}},
         true},
        {"rle8 end of bitmap before the last row",
         8,
         3,
         3,
         {3, 2, 0, 1},
         {{0, 0, 0}, {0, 0, 0}, {2, 2, 2}},
         false},
        {"rle8 run past the width is cut, not wrapped",
         8,
         3,
         2,
         {9, 4, 0, 0, 2, 7, 0, 1},
         {{7, 7, 0}, {4, 4, 4}},
         false},
        {"rle8 absolute block past the width is cut",
         8,
         2,
         1,
         {0, 4, 1, 2, 3, 4, 0, 1},
         {{1, 2}},
         false},
        {"rle4 delta below the last row ends the picture",
         4,
         2,
         2,
         {2, 0x33, 0, 2, 0, 9, 2, 0x55, 0, 1},
         {{0, 0}, {3, 3}},
         false},
    };
}

TEST(BmpCodec, DecodesRleEscapesAndClampsRuns) {
    TempDir dir;
    for (const RleCase& c : RleCases()) {
        SCOPED_TRACE(c.Name);
        BmpSpec s;
        s.Width = c.Width;
        s.Height = c.Height;
        s.Bpp = c.Bpp;
        s.Compression = c.Bpp == 8 ? 1 : 2;
        s.Palette = TestPalette(1 << c.Bpp);
        s.Pixels = c.Stream;
        const Bytes file = BuildBmp(s);
        int status;
        BitmapHandle b = LoadBytes(file, &status);
        ASSERT_EQ(status, SUCCESS);
        ExpectIndices(b, c.Expected, s.Palette);
        if (c.ImAgrees) {
            WriteFileBytes(dir / "rle.bmp", file);
            EXPECT_EQ(ComparePixels(b, ImDecode(dir / "rle.bmp")), "");
        }
    }
}

TEST(BmpCodec, ReadsBitfieldsAndAlpha) {
    struct Case {
        const char* Name;
        int Bpp;
        uint32_t Compression;
        std::array<uint32_t, 4> Masks;
        uint32_t HeaderSize;
        std::vector<uint32_t> Stored;  // one pixel value each
        int ExpectedBpp;
        std::vector<std::array<uint8_t, 4>> Expected;  // R, G, B, A
    };
    const Case cases[] = {
        {"32-bit BI_RGB keeps the A byte",
         32,
         0,
         {},
         40,
         {0x80112233u, 0x00445566u},
         32,
         {{0x11, 0x22, 0x33, 0x80}, {0x44, 0x55, 0x66, 0x00}}},
        {"32-bit BI_RGB with no alpha anywhere is opaque",
         32,
         0,
         {},
         40,
         {0x00112233u, 0x00445566u},
         32,
         {{0x11, 0x22, 0x33, 255}, {0x44, 0x55, 0x66, 255}}},
        {"32-bit R, G, B, A masks in byte order A, B, G, R",
         32,
         3,
         {0xFF000000u, 0x00FF0000u, 0x0000FF00u, 0x000000FFu},
         108,
         {0x11223344u, 0xAABBCCDDu},
         32,
         {{0x11, 0x22, 0x33, 0x44}, {0xAA, 0xBB, 0xCC, 0xDD}}},
        {"32-bit BITFIELDS without an alpha mask is opaque",
         32,
         3,
         {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0},
         40,
         {0x7F102030u},
         32,
         {{0x10, 0x20, 0x30, 255}}},
        {"32-bit 10-10-10",
         32,
         3,
         {0x3FF00000u, 0x000FFC00u, 0x000003FFu, 0},
         40,
         {(1023u << 20) | (512u << 10) | 4u},
         32,
         {{255, 128, 1, 255}}},
        {"16-bit 5-6-5 widens to 24 bits",
         16,
         3,
         {0xF800, 0x07E0, 0x001F, 0},
         40,
         {0xFFFF, 0x8410, 0x0821},
         24,
         {{255, 255, 255, 255}, {132, 130, 132, 255}, {8, 4, 8, 255}}},
        {"16-bit 4-4-4-4 widens to 32 bits",
         16,
         3,
         {0x0F00, 0x00F0, 0x000F, 0xF000},
         56,
         {0x8F10, 0x0000},
         32,
         {{255, 17, 0, 0x88}, {0, 0, 0, 0}}},
        {"16-bit 5-5-5 masks stay 16 bits",
         16,
         3,
         {0x7C00, 0x03E0, 0x001F, 0},
         40,
         {0x7FFF, 0x0421},
         16,
         {{255, 255, 255, 255}, {8, 8, 8, 255}}},
        {"16-bit BI_RGB ignores the top bit",
         16,
         0,
         {},
         40,
         {0xFC00, 0x801F},
         16,
         {{255, 0, 0, 255}, {0, 0, 255, 255}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        BmpSpec s;
        s.HeaderSize = c.HeaderSize;
        s.Width = int32_t(c.Stored.size());
        s.Height = 1;
        s.Bpp = c.Bpp;
        s.Compression = c.Compression;
        s.Masks = c.Masks;
        s.MasksAfterHeader = c.Compression == 3 && c.HeaderSize == 40;
        for (uint32_t v : c.Stored) c.Bpp == 32 ? Put32(s.Pixels, v) : Put16(s.Pixels, v);
        while (s.Pixels.size() % 4) s.Pixels.push_back(0);
        int status;
        BitmapHandle b = LoadBytes(BuildBmp(s), &status);
        ASSERT_EQ(status, SUCCESS);
        EXPECT_EQ(b.BitsPerPixel, c.ExpectedBpp);
        for (size_t x = 0; x < c.Expected.size(); ++x) {
            uint8_t rgba[4];
            BitmapRgba(b, int(x), 0, rgba);
            EXPECT_EQ((std::array<uint8_t, 4>{rgba[0], rgba[1], rgba[2], rgba[3]}), c.Expected[x])
                << "pixel " << x;
        }
    }
}

TEST(BmpCodec, RefusesDamagedFilesWithTheRightCode) {
    BmpSpec good;
    good.Width = 4;
    good.Height = 2;
    good.Bpp = 8;
    good.Palette = TestPalette(4);
    good.Pixels = Bytes(8, 1);
    const size_t paletteEnd = 14 + 40 + 16;
    auto with = [&](auto change) {
        BmpSpec s = good;
        change(s);
        return BuildBmp(s);
    };
    auto patched = [&](size_t at, uint32_t v) {
        Bytes f = BuildBmp(good);
        for (int i = 0; i < 4; ++i) f[at + size_t(i)] = uint8_t(v >> (8 * i));
        return f;
    };
    struct Case {
        const char* Name;
        Bytes File;
        int Expected;
    };
    const Bytes valid = BuildBmp(good);
    const Case cases[] = {
        {"valid", valid, SUCCESS},
        {"only the signature", Bytes{'B', 'M'}, ERROR_FILE_CORRUPT},
        {"file header only", Bytes(valid.begin(), valid.begin() + 14), ERROR_FILE_CORRUPT},
        {"info header cut", Bytes(valid.begin(), valid.begin() + 30), ERROR_FILE_CORRUPT},
        {"palette cut", Bytes(valid.begin(), valid.begin() + paletteEnd - 6), ERROR_FILE_CORRUPT},
        {"rows cut", Bytes(valid.begin(), valid.end() - 5), ERROR_FILE_CORRUPT},
        {"unknown header size", patched(14, 100), ERROR_FILE_FORMAT},
        {"zero width", with([](BmpSpec& s) { s.Width = 0; }), ERROR_FILE_CORRUPT},
        {"negative width", with([](BmpSpec& s) { s.Width = -4; }), ERROR_FILE_CORRUPT},
        {"zero height", with([](BmpSpec& s) { s.Height = 0; }), ERROR_FILE_CORRUPT},
        {"height of INT32_MIN", patched(22, 0x80000000u), ERROR_IMAGE_TOO_LARGE},
        {"7 bits per pixel", with([](BmpSpec& s) { s.Bpp = 7; }), ERROR_FILE_CORRUPT},
        {"RLE8 at 4 bits", with([](BmpSpec& s) { s.Bpp = 4, s.Compression = 1; }),
         ERROR_FILE_CORRUPT},
        {"BITFIELDS at 8 bits", with([](BmpSpec& s) { s.Compression = 3; }), ERROR_FILE_CORRUPT},
        {"unknown compression", with([](BmpSpec& s) { s.Compression = 9; }), ERROR_FILE_CORRUPT},
        {"JPEG inside", with([](BmpSpec& s) { s.Compression = 4; }), ERROR_FEATURE_NOT_SUPPORTED},
        {"PNG inside", with([](BmpSpec& s) { s.Compression = 5; }), ERROR_FEATURE_NOT_SUPPORTED},
        {"pixel offset past the end", patched(10, 100000), ERROR_FILE_CORRUPT},
        {"RLE8 stream cut before its end", with([](BmpSpec& s) {
             s.Compression = 1, s.Pixels = {4, 1, 0, 0, 4};
         }),
         ERROR_FILE_CORRUPT},
        {"RLE8 absolute block cut", with([](BmpSpec& s) {
             s.Compression = 1, s.Pixels = {0, 4, 1, 2};
         }),
         ERROR_FILE_CORRUPT},
        {"RLE8 delta cut", with([](BmpSpec& s) {
             s.Compression = 1, s.Pixels = {0, 2, 1};
         }),
         ERROR_FILE_CORRUPT},
        {"huge picture in a tiny file",
         with([](BmpSpec& s) { s.Width = 1 << 20, s.Height = 1 << 20; }), ERROR_IMAGE_TOO_LARGE},
        {"huge RLE picture", with([](BmpSpec& s) {
             s.Width = 1 << 20, s.Height = 1 << 20, s.Compression = 1, s.Pixels = {0, 1};
         }),
         ERROR_IMAGE_TOO_LARGE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        int status;
        BitmapHandle b = LoadBytes(c.File, &status);
        EXPECT_EQ(status, c.Expected);
    }
}

// ---------------------------------------------------------------------------------------------
// Files we write, read by the peers.

struct WrittenCase {
    int Bpp;
    const char* Type;  // ImageMagick's %[type] of the photo fixture at that depth
    int StoredBpp;     // the bits-per-pixel field of the file
};

const WrittenCase WrittenCases[] = {
    {1, "Palette", 1},     {4, "Palette", 4},     {8, "Palette", 8},
    {16, "TrueColor", 16}, {24, "TrueColor", 24}, {32, "TrueColorAlpha", 32},
};

int StoredBpp(const Bytes& file) { return file.size() > 29 ? file[28] | (file[29] << 8) : 0; }

TEST(BmpCodec, PeersReadWhatWeWritePixelForPixel) {
    TempDir dir;
    const int w = 37, h = 23;
    const BitmapHandle photo = MakePhotoFixture(w, h);
    ASSERT_EQ(L_SaveBitmap((dir / "src.bmp").string(), &photo, FILE_BMP, 24), SUCCESS);
    for (const WrittenCase& c : WrittenCases) {
        SCOPED_TRACE(c.Bpp);
        // Straight from a bitmap at that depth: the peers must see exactly its pixels.
        const BitmapHandle direct = MakePhotoFixtureAtDepth(w, h, c.Bpp);
        const fs::path directFile = dir / ("direct" + std::to_string(c.Bpp) + ".bmp");
        ASSERT_EQ(L_SaveBitmap(directFile.string(), &direct, FILE_BMP, c.Bpp), SUCCESS);
        EXPECT_EQ(StoredBpp(ReadFileBytes(directFile)), c.StoredBpp);
        EXPECT_EQ(ComparePixels(direct, ImDecode(directFile)), "");
        if (c.Bpp <= 24) {
            // netpbm widens 5-bit channels by rounding (v × 255 / 31), not by bit replication.
            const int tolerance = c.Bpp == 16 ? 1 : 0;
            EXPECT_EQ(
                ComparePixels(direct, PeerDecode("bmptopnm " + Q(directFile) + " 2>/dev/null"),
                              tolerance),
                "");
        }

        // Through kivo-image's conversion: the peers see the picture we read back.
        const fs::path out = dir / ("out" + std::to_string(c.Bpp) + ".bmp");
        ASSERT_EQ(RunCommand(std::string(KIVO_IMAGE_TOOL) + " convert " + Q(dir / "src.bmp") + " " +
                             Q(out) + " --bpp " + std::to_string(c.Bpp))
                      .ExitCode,
                  0);
        EXPECT_EQ(StoredBpp(ReadFileBytes(out)), c.StoredBpp);
        // A colour picture lowered to 1 bit becomes black and white.
        EXPECT_EQ(CommandText("identify -format '%w %h %[bit-depth] %[type]' " + Q(out)),
                  std::to_string(w) + " " + std::to_string(h) +
                      (c.Bpp == 1 ? " 1 Bilevel" : " 8 " + std::string(c.Type)));
        BitmapHandle ours = Load(out);
        EXPECT_EQ(ours.BitsPerPixel, c.Bpp);
        EXPECT_EQ(ComparePixels(ours, ImDecode(out)), "");
    }
}

// ---------------------------------------------------------------------------------------------
// Progress and abort.

TEST(BmpCodec, ReportsProgressByRowsAndStopsWhenAsked) {
    BitmapHandle photo = MakePhotoFixture(40, 300);
    BmpSpec rle;
    rle.Width = 40;
    rle.Height = 300;
    rle.Bpp = 8;
    rle.Compression = 1;
    rle.Palette = TestPalette(256);
    for (int y = 0; y < 300; ++y) rle.Pixels.insert(rle.Pixels.end(), {40, uint8_t(y), 0, 0});
    rle.Pixels.insert(rle.Pixels.end(), {0, 1});
    ExpectProgressContract(photo, FILE_BMP, 24, 50, {{"rle8", BuildBmp(rle)}});
}

}  // namespace
