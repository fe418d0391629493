// Photoshop documents against ImageMagick and Pillow, both ways, pixel for pixel; the
// raw-or-PackBits choice; damaged files.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

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

std::string Replace(std::string s, const std::string& key, const std::string& value) {
    for (size_t at; (at = s.find(key)) != std::string::npos;) s.replace(at, key.size(), value);
    return s;
}

// ImageMagick's decode of the composite (scene 0; the layers follow it). 16-bit documents are
// taken at 16 bits: ImageMagick's own 8-bit output of 16-bit grey drops the low byte instead
// of rounding, and ComparePixels rounds.
PnmImage ImDecode(const fs::path& file, int depth = 8) {
    return PeerDecode(Im + " " + Q(file.string() + "[0]") + " -depth " + std::to_string(depth) +
                      " ppm:-");
}

// Pillow's decode: the second peer, because ImageMagick 6 refuses every indexed-colour PSD
// (it wants three channels in that mode) and changes the colours of transparent pixels when it
// reads a composite with alpha.
PnmImage PillowDecode(const fs::path& file, bool alpha = false) {
    const std::string rgba =
        "im = im.convert('RGBA'); "
        "sys.stdout.buffer.write(b'P7\\nWIDTH %d\\nHEIGHT %d\\nDEPTH 4\\nMAXVAL 255\\n"
        "TUPLTYPE RGB_ALPHA\\nENDHDR\\n' % im.size + im.tobytes())";
    const std::string rgb =
        "im = im.convert('RGB'); "
        "sys.stdout.buffer.write(b'P6 %d %d 255\\n' % im.size + im.tobytes())";
    return PeerDecode("/usr/bin/python3 -c \"import sys; from PIL import Image; "
                      "im = Image.open(sys.argv[1]); " +
                      (alpha ? rgba : rgb) + "\" " + Q(file));
}

struct PeerCase {
    const char* Name;
    const char* Command;  // %IN% the fixture as PPM, %INA% with alpha as PAM, %OUT% the PSD
    int ExpectedBpp;
    int PeerDepth;  // 8 or 16: the depth ImageMagick decodes at; 0: Pillow decodes, with alpha
};

// ImageMagick writes a layer section with one layer, so these are "with layers" files; the
// composite follows it.
const PeerCase PeerCases[] = {
    {"rgb-8-packbits", "%IM% %IN% -type TrueColor %OUT%", 24, 8},
    {"rgb-8-raw", "%IM% %IN% -type TrueColor -compress none %OUT%", 24, 8},
    {"rgb-16", "%IM% %IN% -type TrueColor -depth 16 %OUT%", 24, 16},
    {"rgba-8", "%IM% %INA% -type TrueColorAlpha %OUT%", 32, 0},
    {"grey-8", "%IM% %IN% -colorspace Gray %OUT%", 8, 8},
    {"grey-16-raw", "%IM% %IN% -colorspace Gray -depth 16 -compress none %OUT%", 8, 16},
    {"bitmap-1", "%IM% %IN% -monochrome -depth 1 %OUT%", 1, 8},
    {"cmyk-8", "%IM% %IN% -colorspace CMYK %OUT%", 24, 8},
    {"cmyk-16", "%IM% %IN% -colorspace CMYK -depth 16 %OUT%", 24, 16},
};

TEST(PsdCodec, ReadsWhatImageMagickWritesPixelForPixel) {
    TempDir dir;
    for (auto [w, h] : {std::pair{37, 23}, std::pair{9, 5}}) {
        WriteFileBytes(dir / "in.ppm", EncodePnm(MakePhotoFixture(w, h)));
        WriteFileBytes(dir / "in.pam", EncodePnm(MakePhotoFixtureAtDepth(w, h, 32), true));
        for (const PeerCase& c : PeerCases) {
            SCOPED_TRACE(std::string(c.Name) + " " + std::to_string(w) + "x" + std::to_string(h));
            const fs::path out = dir / (std::string(c.Name) + ".psd");
            std::string cmd = Replace(c.Command, "%IM%", Im);
            cmd = Replace(cmd, "%IN%", Q(dir / "in.ppm"));
            cmd = Replace(cmd, "%INA%", Q(dir / "in.pam"));
            cmd = Replace(cmd, "%OUT%", "PSD:" + Q(out));
            ASSERT_EQ(RunCommand(cmd).ExitCode, 0) << cmd;
            BitmapHandle b;
            FileInfo info;
            ASSERT_EQ(L_LoadBitmap(out.string(), &b, 0, 1, nullptr, &info), SUCCESS);
            EXPECT_EQ(info.Format, FILE_PSD);
            EXPECT_EQ(b.BitsPerPixel, c.ExpectedBpp);
            EXPECT_EQ(ComparePixels(b, c.PeerDepth ? ImDecode(out, c.PeerDepth)
                                                   : PillowDecode(out, true)),
                      "");
        }
    }
}

TEST(PsdCodec, ReadsImageMagickIndexedFilesAsTheColoursItQuantisedTo) {
    // ImageMagick cannot read these back, so the reference is its own quantised picture.
    TempDir dir;
    WriteFileBytes(dir / "in.ppm", EncodePnm(MakePhotoFixture(41, 19)));
    for (const char* colours : {"7", "60", "256"}) {
        SCOPED_TRACE(colours);
        ASSERT_EQ(RunCommand(Im + " " + Q(dir / "in.ppm") + " -colors " + colours + " " +
                             Q(dir / "q.ppm"))
                      .ExitCode,
                  0);
        ASSERT_EQ(RunCommand(Im + " " + Q(dir / "q.ppm") + " -type Palette PSD:" +
                             Q(dir / "q.psd"))
                      .ExitCode,
                  0);
        BitmapHandle b;
        ASSERT_EQ(L_LoadBitmap((dir / "q.psd").string(), &b), SUCCESS);
        EXPECT_EQ(b.BitsPerPixel, 8);
        PnmImage quantised;
        ASSERT_TRUE(ParsePnm(ReadFileBytes(dir / "q.ppm"), &quantised));
        EXPECT_EQ(ComparePixels(b, quantised), "");
    }
}

struct WriteCase {
    const char* Name;
    int Bpp;
    bool Grey;     // a grey palette: written in grey mode, which ImageMagick reads too
    bool ImReads;      // ImageMagick 6 reads bitmap, grey and RGB documents, not indexed ones
    bool PillowReads;  // Pillow reads bitmap mode with black and white swapped
};

TEST(PsdCodec, PeersReadEveryDepthWeWrite) {
    const WriteCase cases[] = {
        {"bitmap-1", 1, false, true, false},   {"indexed-1", 1, false, false, true},
        {"indexed-4", 4, false, false, true}, {"indexed-8", 8, false, false, true},
        {"grey-8", 8, true, true, true},      {"grey-4", 4, true, true, true},
        {"rgb-24", 24, false, true, true},
    };
    TempDir dir;
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.Name);
        BitmapHandle b = MakePhotoFixtureAtDepth(45, 17, c.Bpp);
        if (c.Grey) {
            for (RgbQuad& q : b.Palette) q.Green = q.Blue = q.Red;
        }
        if (std::string(c.Name) == "bitmap-1")
            b.Palette = {RgbQuad{0, 0, 0, 0}, RgbQuad{255, 255, 255, 0}};
        if (std::string(c.Name) == "indexed-1")
            b.Palette = {RgbQuad{200, 30, 10, 0}, RgbQuad{20, 220, 120, 0}};
        const fs::path out = dir / (std::string(c.Name) + ".psd");
        ASSERT_EQ(L_SaveBitmap(out.string(), &b, FILE_PSD, c.Bpp), SUCCESS);
        if (c.PillowReads) {
            EXPECT_EQ(ComparePixels(b, PillowDecode(out)), "");
        }
        if (c.ImReads) {
            EXPECT_EQ(ComparePixels(b, ImDecode(out)), "");
        }
    }
}

// The writer packs when that is smaller: a flat picture packs, noise does not.
TEST(PsdCodec, ChoosesPackBitsOnlyWhenItIsSmaller) {
    TempDir dir;
    BitmapHandle flat;
    ASSERT_EQ(L_CreateBitmap(&flat, 1, 120, 40, 24), SUCCESS);
    ASSERT_EQ(L_FillBitmap(&flat, RGBColor(10, 200, 30)), SUCCESS);
    BitmapHandle noise;
    ASSERT_EQ(L_CreateBitmap(&noise, 1, 120, 40, 24), SUCCESS);
    uint32_t state = 7;
    for (size_t i = 0; i < noise.DataSize(); ++i) {
        state = state * 1664525u + 1013904223u;
        noise.Data()[i] = uint8_t(state >> 24);
    }
    for (auto [name, bitmap, compression] :
         {std::tuple{"flat", &flat, 1}, std::tuple{"noise", &noise, 0}}) {
        SCOPED_TRACE(name);
        const fs::path out = dir / (std::string(name) + ".psd");
        ASSERT_EQ(L_SaveBitmap(out.string(), bitmap, FILE_PSD, 24), SUCCESS);
        Bytes bytes = ReadFileBytes(out);
        // Header 26, then three empty sections of 4 bytes: the compression word is at 38.
        ASSERT_GT(bytes.size(), 40u);
        EXPECT_EQ(bytes[38] * 256 + bytes[39], compression);
        EXPECT_EQ(ComparePixels(*bitmap, ImDecode(out)), "");
    }
}

TEST(PsdCodec, DamagedFilesFailCleanly) {
    BitmapHandle photo = MakePhotoFixture(20, 10);
    Bytes good;
    ASSERT_EQ(L_SaveBitmapMemory(&good, &photo, FILE_PSD, 24), SUCCESS);
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
        {"truncated-in-rows", Bytes(good.begin(), good.begin() + long(good.size() - 9)),
         ERROR_FILE_CORRUPT},
        {"truncated-in-header", Bytes(good.begin(), good.begin() + 20), ERROR_FILE_CORRUPT},
        {"zero-channels", patched(12, {0, 0}), ERROR_FILE_CORRUPT},
        {"depth-7", patched(22, {0, 7}), ERROR_FILE_CORRUPT},
        {"rgb-with-two-channels", patched(12, {0, 2}), ERROR_FILE_CORRUPT},
        {"lab-mode", patched(24, {0, 9}), ERROR_FEATURE_NOT_SUPPORTED},
        {"zip-compression", patched(38, {0, 2}), ERROR_FEATURE_NOT_SUPPORTED},
        {"huge-width", patched(18, {0x7F, 0xFF, 0xFF, 0xFF}), ERROR_FILE_CORRUPT},
        {"colour-section-past-end", patched(26, {0xFF, 0xFF, 0xFF, 0xF0}), ERROR_FILE_CORRUPT},
        {"large-document-version-2", patched(4, {0, 2}), ERROR_FEATURE_NOT_SUPPORTED},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        BitmapHandle b;
        EXPECT_EQ(L_LoadBitmapMemory(c.File.data(), c.File.size(), &b), c.Status);
    }
    WriteFileBytes(dir / "bad.psd", cases[0].File);
    CommandResult r = RunCommand(std::string(KIVO_IMAGE_TOOL) + " info " + Q(dir / "bad.psd") +
                                 " 2>&1");
    EXPECT_NE(r.ExitCode, 0);
    EXPECT_NE(std::string(r.Output.begin(), r.Output.end()).find("damaged or truncated"),
              std::string::npos);
}

}  // namespace
