// JPEG against libjpeg-turbo's own tools and ImageMagick: files they write decode to exactly
// the pixels djpeg gives, and files we write are the bytes cjpeg writes with the same settings,
// read by ImageMagick with the size, type and chroma sampling asked for.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "codecs/Codec.h"
#include "kivo/imaging/File.h"
#include "support/ProgressContract.h"
#include "support/Peer.h"
#include "support/PhotoFixture.h"
#include "support/PnmWrite.h"

namespace {

using namespace kivo::test;

std::string Q(const std::filesystem::path& p) { return ShellQuote(p.string()); }
std::string Im() { return ImageMagickConvert; }

class JpegTest : public testing::Test {
protected:
    void SetUp() override {
        Photo = MakePhotoFixture(203, 131);
        WritePnm(Photo, Dir / "photo.ppm");
        WritePnm(Photo, Dir / "photo.pgm", true);
        ASSERT_EQ(L_LoadBitmap((Dir / "photo.pgm").string(), &Grey), SUCCESS);
    }
    TempDir Dir;
    BitmapHandle Photo;
    BitmapHandle Grey;
};

struct ReadCase {
    const char* Name;
    const char* Command;  // {in} is photo.ppm, {out} the JPEG to write
    int Bpp;
};

// Each peer file is decoded by us and by djpeg; the pixels must be identical.
const ReadCase ReadCases[] = {
    {"im-baseline-444", "IM {in} -quality 92 -sampling-factor 1x1 {out}", 24},
    {"im-baseline-420", "IM {in} -quality 80 -sampling-factor 2x2 {out}", 24},
    {"im-progressive", "IM {in} -interlace JPEG {out}", 24},
    {"im-grey", "IM {in} -colorspace Gray {out}", 8},
    {"im-cmyk-adobe", "IM {in} -colorspace CMYK {out}", 24},
    {"im-ycck", "IM {in} -colorspace CMYK -define jpeg:colorspace=5 {out}", 24},
    {"im-odd-13x7", "IM {in} -resize 13x7! -sampling-factor 2x2 {out}", 24},
    {"im-odd-progressive-1x5", "IM {in} -resize 1x5! -interlace JPEG {out}", 24},
    {"cjpeg-422", "cjpeg -sample 2x1 {in} > {out}", 24},
    {"cjpeg-411-restart", "cjpeg -sample 4x1 -restart 1 {in} > {out}", 24},
    {"cjpeg-progressive-optimized", "cjpeg -progressive -optimize {in} > {out}", 24},
    {"cjpeg-arithmetic", "cjpeg -arithmetic {in} > {out}", 24},
    {"cjpeg-rgb", "cjpeg -rgb {in} > {out}", 24},
    {"cjpeg-grey-progressive", "cjpeg -grayscale -progressive {in} > {out}", 8},
    {"pnmtojpeg", "pnmtojpeg --quality=70 {in} > {out}", 24},
};

std::string Expand(std::string command, const std::string& in, const std::string& out) {
    auto replace = [&](const std::string& key, const std::string& value) {
        for (size_t at; (at = command.find(key)) != std::string::npos;)
            command.replace(at, key.size(), value);
    };
    replace("IM ", Im() + " ");
    replace("{in}", in);
    replace("{out}", out);
    return command;
}

TEST_F(JpegTest, PeerFilesDecodeToDjpegPixels) {
    for (const ReadCase& c : ReadCases) {
        SCOPED_TRACE(c.Name);
        const auto file = Dir / (std::string(c.Name) + ".jpg");
        ASSERT_EQ(RunCommand(Expand(c.Command, Q(Dir / "photo.ppm"), Q(file))).ExitCode, 0);
        BitmapHandle ours;
        FileInfo info;
        ASSERT_EQ(L_LoadBitmap(file.string(), &ours, 0, 1, nullptr, &info), SUCCESS);
        EXPECT_EQ(info.Format, FILE_JPEG);
        EXPECT_EQ(ours.BitsPerPixel, c.Bpp);
        if (c.Bpp == 8) {
            ASSERT_EQ(ours.Palette.size(), 256u);
            EXPECT_TRUE(kivo::IsGreyRampPalette(ours.Palette));
        }
        PnmImage peer = PeerDecode("djpeg -pnm " + Q(file));
        EXPECT_EQ(ComparePixels(ours, peer), "");
    }
}

// Only the EOI marker missing: every scan line is there, so the picture loads as djpeg
// decodes it. Cut inside the entropy data: the picture is refused.
TEST_F(JpegTest, TruncationInsideTheScanIsRefusedAMissingEndMarkerIsNot) {
    for (const char* options : {"", "-progressive"}) {
        SCOPED_TRACE(options);
        const auto file = Dir / "whole.jpg";
        ASSERT_EQ(RunCommand("cjpeg " + std::string(options) + " " + Q(Dir / "photo.ppm") + " > " +
                             Q(file))
                      .ExitCode,
                  0);
        Bytes whole = ReadFileBytes(file);
        ASSERT_EQ(whole[whole.size() - 2], 0xFF);
        ASSERT_EQ(whole[whole.size() - 1], 0xD9);
        Bytes noEoi(whole.begin(), whole.end() - 2);
        BitmapHandle b;
        ASSERT_EQ(L_LoadBitmapMemory(noEoi.data(), noEoi.size(), &b), SUCCESS);
        EXPECT_EQ(ComparePixels(b, PeerDecode("djpeg -pnm " + Q(file))), "");

        for (size_t keep : {whole.size() / 2, whole.size() - 40}) {
            Bytes cut(whole.begin(), whole.begin() + long(keep));
            BitmapHandle c;
            EXPECT_EQ(L_LoadBitmapMemory(cut.data(), cut.size(), &c), ERROR_FILE_CORRUPT) << keep;
        }
    }
}

// The pixel limit applies to the frame header's size, before anything is allocated.
TEST_F(JpegTest, HugeDeclaredSizeIsRefusedBeforeAllocating) {
    ASSERT_EQ(RunCommand("cjpeg " + Q(Dir / "photo.ppm") + " > " + Q(Dir / "a.jpg")).ExitCode, 0);
    Bytes bytes = ReadFileBytes(Dir / "a.jpg");
    size_t sof = 2;
    while (sof + 9 < bytes.size() && !(bytes[sof] == 0xFF && bytes[sof + 1] == 0xC0))
        sof += 2 + ((bytes[sof + 2] << 8) | bytes[sof + 3]);
    ASSERT_LT(sof + 9, bytes.size());
    // 65000 × 65000 = 4.2 gigapixels, far above the limit.
    for (int i : {5, 7}) bytes[sof + i] = 0xFD, bytes[sof + i + 1] = 0xE8;
    BitmapHandle b;
    EXPECT_EQ(L_LoadBitmapMemory(bytes.data(), bytes.size(), &b), ERROR_IMAGE_TOO_LARGE);
}

// CMYK without an Adobe marker holds plain ink amounts; with it, inverted ones (what Photoshop
// and ImageMagick write). Flat patches survive JPEG almost exactly, so the colours can be
// checked against the formula.
TEST_F(JpegTest, CmykPolarityFollowsTheAdobeMarker) {
    struct Patch {
        uint8_t Cmyk[4];  // plain ink amounts
        uint8_t Rgb[3];
    };
    const Patch patches[] = {
        {{0, 0, 0, 0}, {255, 255, 255}},   {{0, 255, 255, 0}, {255, 0, 0}},
        {{255, 0, 255, 0}, {0, 255, 0}},   {{0, 0, 0, 255}, {0, 0, 0}},
        {{0, 0, 0, 128}, {127, 127, 127}}, {{64, 128, 0, 64}, {143, 95, 191}},
    };
    for (bool adobe : {false, true})
        for (const Patch& p : patches) {
            SCOPED_TRACE(testing::Message() << "adobe " << adobe << " C" << int(p.Cmyk[0]));
            jpeg_compress_struct cinfo;
            jpeg_error_mgr err;
            cinfo.err = jpeg_std_error(&err);
            jpeg_create_compress(&cinfo);
            unsigned char* buffer = nullptr;
            unsigned long size = 0;
            jpeg_mem_dest(&cinfo, &buffer, &size);
            cinfo.image_width = 16;
            cinfo.image_height = 16;
            cinfo.input_components = 4;
            cinfo.in_color_space = JCS_CMYK;
            jpeg_set_defaults(&cinfo);
            jpeg_set_quality(&cinfo, 100, TRUE);
            cinfo.write_Adobe_marker = adobe;
            jpeg_start_compress(&cinfo, TRUE);
            std::vector<uint8_t> row(16 * 4);
            for (int x = 0; x < 16; ++x)
                for (int c = 0; c < 4; ++c)
                    row[x * 4 + c] = adobe ? uint8_t(255 - p.Cmyk[c]) : p.Cmyk[c];
            for (int y = 0; y < 16; ++y) {
                JSAMPROW r = row.data();
                jpeg_write_scanlines(&cinfo, &r, 1);
            }
            jpeg_finish_compress(&cinfo);
            jpeg_destroy_compress(&cinfo);
            BitmapHandle b;
            ASSERT_EQ(L_LoadBitmapMemory(buffer, size, &b), SUCCESS);
            std::free(buffer);
            uint8_t rgba[4];
            BitmapRgba(b, 8, 8, rgba);
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(rgba[c], p.Rgb[c], 2) << c;
        }
}

// What kivo-image writes is what cjpeg writes for the same quality and sampling, byte for
// byte; ImageMagick reads it with the right size, type and sampling factors.
TEST_F(JpegTest, WrittenFilesAreCjpegFilesAtTheMappedQuality) {
    struct Case {
        int Format;
        int QualityFactor;
        int JpegQuality;  // 100 − round((factor − 2) × 99 / 253)
        const char* Sampling;
    };
    const Case cases[] = {
        {FILE_JPEG, 2, 100, "1x1,1x1,1x1"},
        {FILE_LEAD1JFIF, 2, 100, "2x2,1x1,1x1"},
        {FILE_JPEG, 128, 51, "1x1,1x1,1x1"},
        {FILE_LEAD1JFIF, 255, 1, "2x2,1x1,1x1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.Format << " factor " << c.QualityFactor);
        const auto ours = Dir / "ours.jpg";
        ASSERT_EQ(RunCommand(std::string(KIVO_IMAGE_TOOL) + " convert " + Q(Dir / "photo.ppm") +
                             " " + Q(ours) + " --format " + std::to_string(c.Format) +
                             " --quality " + std::to_string(c.QualityFactor))
                      .ExitCode,
                  0);
        const std::string sample = c.Format == FILE_JPEG ? "1x1" : "2x2";
        const Bytes peer = RunCommand("cjpeg -baseline -quality " + std::to_string(c.JpegQuality) +
                                      " -sample " + sample + " " + Q(Dir / "photo.ppm"))
                               .Output;
        EXPECT_TRUE(ReadFileBytes(ours) == peer) << "differs from cjpeg";
        EXPECT_EQ(CommandText("identify -format '%w %h %[bit-depth] %[type] %C %[jpeg:sampling-factor]' " +
                              Q(ours)),
                  "203 131 8 TrueColor JPEG " + std::string(c.Sampling));
    }
}

// Netpbm rows streamed to the encoder make the file the bitmap route makes; inputs the stream
// cannot take (other sample ranges, comments, a depth change, damage) go the bitmap route, and
// a failure names its side through the input's geometry.
TEST_F(JpegTest, ConvertFileStreamsNetpbmRowsToTheSameFile) {
    WriteFileBytes(Dir / "commented.ppm", [&] {
        Bytes b = ReadFileBytes(Dir / "photo.ppm");
        const std::string comment = "# written by hand\n";
        b.insert(b.begin() + 3, comment.begin(), comment.end());
        return b;
    }());
    ASSERT_EQ(RunCommand(std::string(ImageMagickConvert) + " " + Q(Dir / "photo.ppm") +
                         " -depth 16 " + Q(Dir / "deep.ppm"))
                  .ExitCode,
              0);
    struct Case {
        const char* Input;
        int Format;
        int Bpp;  // what depthFor answers; 0 keeps the file's depth
    };
    const Case cases[] = {{"photo.ppm", FILE_LEAD1JFIF, 0}, {"photo.ppm", FILE_JPEG, 24},
                          {"photo.pgm", FILE_JPEG, 0},      {"photo.pgm", FILE_JPEG, 24},
                          {"commented.ppm", FILE_JPEG, 0},  {"deep.ppm", FILE_LEAD1JFIF, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Input << " " << c.Format << " " << c.Bpp);
        const auto in = (Dir / c.Input).string(), out = (Dir / "streamed.jpg").string();
        FileInfo info{};
        ASSERT_EQ(L_ConvertFile(in, out, c.Format, [&](int) { return c.Bpp; }, 28, &info),
                  SUCCESS);
        BitmapHandle b;
        ASSERT_EQ(L_LoadBitmap(in, &b), SUCCESS);
        EXPECT_EQ(info.Width, b.Width);
        EXPECT_EQ(info.BitsPerPixel, b.BitsPerPixel);
        Bytes expected;
        ASSERT_EQ(L_SaveBitmapMemory(&expected, &b, c.Format, c.Bpp ? c.Bpp : b.BitsPerPixel, 28),
                  SUCCESS);
        EXPECT_TRUE(ReadFileBytes(out) == expected);
    }
    // Rows missing at the end: the picture is damaged, and nothing is written.
    const Bytes whole = ReadFileBytes(Dir / "photo.ppm");
    WriteFileBytes(Dir / "short.ppm", Bytes(whole.begin(), whole.end() - 100));
    FileInfo info{};
    const auto keep = [](int bpp) { return bpp; };
    EXPECT_EQ(L_ConvertFile((Dir / "short.ppm").string(), (Dir / "short.jpg").string(), FILE_JPEG,
                            keep, 2, &info),
              ERROR_FILE_CORRUPT);
    EXPECT_EQ(info.Width, 0);
    EXPECT_FALSE(std::filesystem::exists(Dir / "short.jpg"));
    EXPECT_EQ(L_ConvertFile((Dir / "photo.ppm").string(), (Dir / "no" / "such.jpg").string(),
                            FILE_JPEG, keep, 2, &info),
              ERROR_FILE_WRITE);
    EXPECT_EQ(info.Width, Photo.Width);
}

// Every depth the writer takes, through kivo-image from a BMP holding the picture at that
// depth: grey ramps become grey JPEGs, everything else colour; ImageMagick and djpeg read the
// file, and djpeg's pixels are close to the picture that was saved.
TEST_F(JpegTest, EveryDepthIsWrittenAndReadBackByPeers) {
    struct Case {
        const char* Name;
        bool Grey;
        int Bpp;
        const char* Type;
    };
    const Case cases[] = {
        {"grey-8", true, 8, "Grayscale"},
        {"palette-8", false, 8, "TrueColor"},
        {"x1555-16", false, 16, "TrueColor"},
        {"bgr-24", false, 24, "TrueColor"},
        {"bgra-32", false, 32, "TrueColor"},
    };
    for (int format : {FILE_JPEG, FILE_LEAD1JFIF})
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.Name << " format " << format);
            const BitmapHandle saved = c.Grey ? Grey : MakePhotoFixtureAtDepth(203, 131, c.Bpp);
            const auto in = Dir / "in.bmp";
            const auto out = Dir / (std::string(c.Name) + ".jpg");
            ASSERT_EQ(L_SaveBitmap(in.string(), &saved, FILE_BMP, c.Bpp), SUCCESS);
            ASSERT_EQ(RunCommand(std::string(KIVO_IMAGE_TOOL) + " convert " + Q(in) + " " + Q(out) +
                                 " --format " + std::to_string(format) + " --bpp " +
                                 std::to_string(c.Bpp))
                          .ExitCode,
                      0);
            EXPECT_EQ(CommandText("identify -format '%w %h %[bit-depth] %[type] %C' " + Q(out)),
                      "203 131 8 " + std::string(c.Type) + " JPEG");
            PnmImage peer = PeerDecode("djpeg -pnm " + Q(out));
            ASSERT_EQ(peer.Channels, c.Grey ? 1 : 3);
            BitmapHandle peerBitmap;
            ASSERT_EQ(L_CreateBitmap(&peerBitmap, 1, peer.Width, peer.Height, 24), SUCCESS);
            for (int y = 0; y < peer.Height; ++y)
                for (int x = 0; x < peer.Width; ++x)
                    for (int ch = 0; ch < 3; ++ch)
                        peerBitmap.Row(y)[x * 3 + 2 - ch] =
                            uint8_t(peer.At(x, y, c.Grey ? 0 : ch));
            // Quality factor 2 is JPEG quality 100: only rounding and chroma subsampling remain.
            EXPECT_GT(Psnr(saved, peerBitmap), format == FILE_JPEG ? 40.0 : 30.0);
            BitmapHandle ours;
            ASSERT_EQ(L_LoadBitmap(out.string(), &ours), SUCCESS);
            EXPECT_EQ(ComparePixels(ours, peer), "");
        }
}

// Loads and saves report rising percentages that end at 100; a callback returning 0 stops
// either with ERROR_USER_ABORT and leaves no result behind.
TEST_F(JpegTest, ProgressReachesEveryRowAndAbortStops) {
    ExpectProgressContract(MakePhotoFixture(300, 700), FILE_JPEG, 24, 20);
}

}  // namespace
