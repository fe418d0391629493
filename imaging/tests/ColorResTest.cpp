#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/ColorRes.h"
#include "support/PhotoFixture.h"

namespace {

struct Rgb {
    int R, G, B;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

Rgb PixelAt(const BitmapHandle& b, int x, int y) {
    ColorRef c = L_GetPixelColor(&b, x, y);
    return Rgb{GetRValue(c), GetGValue(c), GetBValue(c)};
}

int Dist(const Rgb& a, const Rgb& b) {
    return (a.R - b.R) * (a.R - b.R) + (a.G - b.G) * (a.G - b.G) + (a.B - b.B) * (a.B - b.B);
}

int Widen5(int v) { return (v << 3) | (v >> 2); }

std::string DescribePalette(const ColorPalette& p) {
    std::string s;
    for (const RgbQuad& q : p)
        s += std::to_string(q.Red) + "," + std::to_string(q.Green) + "," + std::to_string(q.Blue) +
             " ";
    return s;
}

// A small picture at any depth whose colours are known without L_ColorResBitmap: palette depths
// get a palette of distinct colours and a pattern of indices, 16 bits a pattern of 5-bit values.
BitmapHandle MakeSource(int width, int height, int bpp) {
    BitmapHandle b;
    EXPECT_EQ(L_CreateBitmap(&b, 1, width, height, bpp), SUCCESS);
    if (bpp <= 8) {
        const int n = 1 << bpp;
        b.Palette.resize(size_t(n));
        for (int i = 0; i < n; ++i)
            b.Palette[size_t(i)] = RgbQuad{uint8_t(i * 37 % 256), uint8_t(255 - i), uint8_t(i * 91 % 256), 0};
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* row = b.Row(y);
            const int v = x * 7 + y * 13;
            switch (bpp) {
                case 1:
                    if (v & 1) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
                    else row[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
                    break;
                case 4:
                    row[x >> 1] = uint8_t((x & 1) ? (row[x >> 1] & 0xF0) | (v & 15)
                                                  : (row[x >> 1] & 0x0F) | ((v & 15) << 4));
                    break;
                case 8:
                    row[x] = uint8_t(v);
                    break;
                case 16: {
                    const unsigned p = unsigned(v * 2654435761u) & 0x7FFF;
                    row[2 * x] = uint8_t(p);
                    row[2 * x + 1] = uint8_t(p >> 8);
                    break;
                }
                default: {
                    const int c = bpp / 8;
                    row[x * c] = uint8_t(v * 3);
                    row[x * c + 1] = uint8_t(v * 5 + 17);
                    row[x * c + 2] = uint8_t(255 - v);
                    if (c == 4) row[x * c + 3] = uint8_t(x * 11);
                }
            }
        }
    }
    return b;
}

// The padding bits after the last pixel of each row must be zero.
bool PaddingIsClear(const BitmapHandle& b) {
    const int bits = b.Width * b.BitsPerPixel;
    for (int y = 0; y < b.Height; ++y) {
        const uint8_t* row = b.Row(y);
        for (int bit = bits; bit < b.BytesPerLine * 8; ++bit)
            if (row[bit >> 3] & (0x80 >> (bit & 7))) return false;
    }
    return true;
}

// Every from × to depth pair, checked pixel by pixel against what the depth can hold: exact
// colours going up to 24/32 bits, the 5-bit truncation at 16 bits, and at palette depths the
// nearest colour of the result's own palette (a linear search as the reference).
TEST(ColorRes, EveryDepthPair) {
    const int depths[] = {1, 4, 8, 16, 24, 32};
    for (int from : depths) {
        BitmapHandle src = MakeSource(37, 9, from);
        for (int to : depths) {
            for (int flags : std::initializer_list<int>{CRF_NODITHERING, CRF_FIXEDPALETTE | CRF_NODITHERING}) {
                SCOPED_TRACE(testing::Message() << from << " -> " << to << " flags " << flags);
                BitmapHandle dst;
                ASSERT_EQ(L_ColorResBitmap(&src, &dst, to, flags), SUCCESS);
                ASSERT_TRUE(dst.Allocated());
                EXPECT_EQ(dst.Width, src.Width);
                EXPECT_EQ(dst.Height, src.Height);
                EXPECT_EQ(dst.BitsPerPixel, to);
                EXPECT_EQ(dst.BytesPerLine, BytesPerLineFor(src.Width, to));
                if (to <= 8) {
                    EXPECT_FALSE(dst.Palette.empty());
                    EXPECT_LE(dst.Palette.size(), size_t(1) << to);
                    if (flags & CRF_FIXEDPALETTE) {
                        EXPECT_EQ(dst.Palette.size(), size_t(1) << to);
                    }
                } else {
                    EXPECT_TRUE(dst.Palette.empty());
                }
                if (from != to) {
                    EXPECT_TRUE(PaddingIsClear(dst));
                }
                for (int y = 0; y < src.Height; ++y) {
                    for (int x = 0; x < src.Width; ++x) {
                        const Rgb s = PixelAt(src, x, y), d = PixelAt(dst, x, y);
                        if (to >= 24 || (to >= from && to <= 8 && !(flags & CRF_FIXEDPALETTE)) ||
                            (to == 16 && from == 16)) {
                            ASSERT_EQ(d, s) << x << "," << y;
                        } else if (to == 16) {
                            ASSERT_EQ(d, (Rgb{Widen5(s.R >> 3), Widen5(s.G >> 3), Widen5(s.B >> 3)}))
                                << x << "," << y;
                        } else {
                            int best = 1 << 30;
                            for (const RgbQuad& q : dst.Palette)
                                best = std::min(best, Dist(s, Rgb{q.Red, q.Green, q.Blue}));
                            ASSERT_EQ(Dist(s, d), best) << x << "," << y;
                        }
                    }
                }
                if (to == 32) {
                    for (int x = 0; x < src.Width; ++x)
                        ASSERT_EQ(dst.Row(3)[x * 4 + 3], from == 32 ? src.Row(3)[x * 4 + 3] : 255);
                }
            }
        }
    }
}

// Up to true colour and back with the same palette restores the very indices; other exact
// round trips restore the pixels byte for byte.
TEST(ColorRes, ExactRoundTrips) {
    for (int bpp : {1, 4, 8}) {
        SCOPED_TRACE(bpp);
        BitmapHandle src = MakeSource(29, 7, bpp), wide, back;
        ASSERT_EQ(L_ColorResBitmap(&src, &wide, 24, CRF_BYTEORDERBGR), SUCCESS);
        for (int flags : std::initializer_list<int>{0, CRF_FLOYDSTEINDITHERING}) {
            ASSERT_EQ(L_ColorResBitmap(&wide, &back, bpp, flags, src.Palette.data(),
                                       int(src.Palette.size())),
                      SUCCESS);
            EXPECT_EQ(back.Palette, src.Palette);
            for (int y = 0; y < src.Height; ++y)
                ASSERT_EQ(std::memcmp(back.Row(y), src.Row(y), size_t(src.BytesPerLine)), 0);
        }
    }
    const int pairs[][2] = {{16, 24}, {16, 32}, {24, 32}};
    for (const auto& p : pairs) {
        SCOPED_TRACE(testing::Message() << p[0] << " <-> " << p[1]);
        BitmapHandle src = MakeSource(29, 7, p[0]), wide, back;
        ASSERT_EQ(L_ColorResBitmap(&src, &wide, p[1], 0), SUCCESS);
        ASSERT_EQ(L_ColorResBitmap(&wide, &back, p[0], CRF_FLOYDSTEINDITHERING), SUCCESS);
        for (int y = 0; y < src.Height; ++y)
            ASSERT_EQ(std::memcmp(back.Row(y), src.Row(y), size_t(src.Width * p[0] / 8)), 0);
    }
}

// 24 → 16 keeps the top five bits of each channel; 16 → 24 repeats the top bits below them.
TEST(ColorRes, SixteenBitTruncation) {
    struct Case {
        Rgb In;
        uint16_t Packed;
        Rgb Out;
    } cases[] = {
        {{200, 100, 50}, (25 << 10) | (12 << 5) | 6, {206, 99, 49}},
        {{255, 255, 255}, 0x7FFF, {255, 255, 255}},
        {{7, 8, 15}, (0 << 10) | (1 << 5) | 1, {0, 8, 8}},
        {{0, 0, 0}, 0, {0, 0, 0}},
        {{128, 64, 248}, (16 << 10) | (8 << 5) | 31, {132, 66, 255}},
    };
    BitmapHandle src;
    ASSERT_EQ(L_CreateBitmap(&src, 1, int(std::size(cases)), 1, 24), SUCCESS);
    for (size_t i = 0; i < std::size(cases); ++i)
        L_PutPixelColor(&src, int(i), 0, RGBColor(uint8_t(cases[i].In.R), uint8_t(cases[i].In.G),
                                                  uint8_t(cases[i].In.B)));
    BitmapHandle h, back;
    ASSERT_EQ(L_ColorResBitmap(&src, &h, 16, CRF_BYTEORDERBGR), SUCCESS);
    ASSERT_EQ(L_ColorResBitmap(&h, &back, 24, CRF_BYTEORDERBGR), SUCCESS);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(h.Row(0)[2 * i] | (h.Row(0)[2 * i + 1] << 8), cases[i].Packed);
        EXPECT_EQ(PixelAt(back, int(i), 0), cases[i].Out);
    }
}

BitmapHandle GreyPicture(int width, int height, int bpp) {
    BitmapHandle b;
    EXPECT_EQ(L_CreateBitmap(&b, 1, width, height, bpp), SUCCESS);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t v = uint8_t((x * 255) / (width - 1) ^ (y & 3));
            L_PutPixelColor(&b, x, y, RGBColor(v, v, v));
        }
    return b;
}

bool AllGrey(const ColorPalette& p) {
    for (const RgbQuad& q : p)
        if (q.Red != q.Green || q.Green != q.Blue) return false;
    return true;
}

TEST(ColorRes, GreyPicturesStayGrey) {
    // An 8-bit grey picture converted to 8 bits is unchanged, palette and indices.
    BitmapHandle grey8 = GreyPicture(256, 4, 8);
    ASSERT_EQ(grey8.Palette.size(), 256u);
    for (int flags : std::initializer_list<int>{CRF_NODITHERING, CRF_FLOYDSTEINDITHERING, 0}) {
        BitmapHandle out;
        ASSERT_EQ(L_ColorResBitmap(&grey8, &out, 8, flags), SUCCESS);
        EXPECT_EQ(out.Palette, grey8.Palette);
        for (int y = 0; y < 4; ++y)
            ASSERT_EQ(std::memcmp(out.Row(y), grey8.Row(y), 256), 0);
    }
    // True-colour grey at 8 bits: a full grey ramp and exactly the same values.
    BitmapHandle grey24 = GreyPicture(256, 4, 24);
    BitmapHandle out8;
    ASSERT_EQ(L_ColorResBitmap(&grey24, &out8, 8, CRF_FLOYDSTEINDITHERING), SUCCESS);
    ASSERT_EQ(out8.Palette.size(), 256u);
    EXPECT_TRUE(AllGrey(out8.Palette));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 256; ++x) ASSERT_EQ(PixelAt(out8, x, y), PixelAt(grey24, x, y));
    // At 4 and 1 bits a grey ramp of 16 or 2 levels, dithered or not.
    for (int bpp : {4, 1}) {
        for (int flags : std::initializer_list<int>{CRF_NODITHERING, CRF_FLOYDSTEINDITHERING}) {
            SCOPED_TRACE(testing::Message() << bpp << " bits, flags " << flags);
            BitmapHandle out;
            ASSERT_EQ(L_ColorResBitmap(&grey24, &out, bpp, flags), SUCCESS);
            EXPECT_EQ(out.Palette.size(), size_t(1) << bpp);
            EXPECT_TRUE(AllGrey(out.Palette)) << DescribePalette(out.Palette);
            EXPECT_EQ(out.Palette.front().Red, 0);
            EXPECT_EQ(out.Palette.back().Red, 255);
        }
    }
}

TEST(ColorRes, FewColoursGetExactlyThoseColours) {
    const Rgb colours[] = {{250, 10, 10}, {10, 250, 10}, {10, 10, 250}, {128, 64, 32}, {1, 2, 3}};
    BitmapHandle src;
    ASSERT_EQ(L_CreateBitmap(&src, 1, 40, 10, 24), SUCCESS);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 40; ++x) {
            const Rgb& c = colours[(x / 3 + y) % 5];
            L_PutPixelColor(&src, x, y, RGBColor(uint8_t(c.R), uint8_t(c.G), uint8_t(c.B)));
        }
    for (int bpp : {8, 4}) {
        SCOPED_TRACE(bpp);
        BitmapHandle out;
        ASSERT_EQ(L_ColorResBitmap(&src, &out, bpp, CRF_FLOYDSTEINDITHERING), SUCCESS);
        EXPECT_EQ(out.Palette.size(), 5u) << DescribePalette(out.Palette);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 40; ++x) ASSERT_EQ(PixelAt(out, x, y), PixelAt(src, x, y));
    }
    // Two colours fit one bit.
    BitmapHandle two;
    ASSERT_EQ(L_CreateBitmap(&two, 1, 9, 3, 24), SUCCESS);
    for (int x = 0; x < 9; ++x)
        for (int y = 0; y < 3; ++y)
            L_PutPixelColor(&two, x, y, (x + y) % 2 ? RGBColor(200, 30, 40) : RGBColor(5, 60, 90));
    BitmapHandle one;
    ASSERT_EQ(L_ColorResBitmap(&two, &one, 1, CRF_FLOYDSTEINDITHERING), SUCCESS);
    for (int x = 0; x < 9; ++x)
        for (int y = 0; y < 3; ++y) ASSERT_EQ(PixelAt(one, x, y), PixelAt(two, x, y));
}

// The black-and-white command: a given palette of black then white, on a horizontal ramp.
TEST(ColorRes, BlackAndWhiteGivenPalette) {
    const RgbQuad bw[2] = {RgbQuad{0, 0, 0, 0}, RgbQuad{255, 255, 255, 0}};
    const int w = 256, h = 64;
    BitmapHandle ramp;
    ASSERT_EQ(L_CreateBitmap(&ramp, 1, w, h, 24), SUCCESS);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) L_PutPixelColor(&ramp, x, y, RGBColor(x, x, x));

    BitmapHandle plain;
    ASSERT_EQ(L_ColorResBitmap(&ramp, &plain, 1, CRF_NODITHERING, bw, 2), SUCCESS);
    ASSERT_EQ(plain.Palette.size(), 2u);
    EXPECT_EQ(plain.Palette[0], bw[0]);
    EXPECT_EQ(plain.Palette[1], bw[1]);
    for (int x = 0; x < w; ++x) EXPECT_EQ(PixelAt(plain, x, 5).R, x < 128 ? 0 : 255) << x;

    BitmapHandle dithered;
    ASSERT_EQ(L_ColorResBitmap(&ramp, &dithered, 1, CRF_FLOYDSTEINDITHERING, bw, 2), SUCCESS);
    EXPECT_EQ(dithered.Palette, plain.Palette);
    // Mean brightness over bands of 32 columns follows the ramp, and over the whole picture
    // it matches the source mean.
    double total = 0;
    for (int band = 0; band < w / 32; ++band) {
        double sum = 0;
        for (int y = 0; y < h; ++y)
            for (int x = band * 32; x < band * 32 + 32; ++x) sum += PixelAt(dithered, x, y).R;
        total += sum;
        const double mean = sum / (32.0 * h), expected = band * 32 + 15.5;
        EXPECT_NEAR(mean, expected, 6.0) << "band " << band;
    }
    EXPECT_NEAR(total / (w * h), 127.5, 1.5);
}

// Floyd–Steinberg to black and white of a grey picture, written out plainly: serpentine rows,
// errors in sixteenths, the diffused value clamped to 0..255. 0 or 255 per pixel.
std::vector<uint8_t> NaiveBlackWhiteDither(const std::vector<uint8_t>& grey, int w, int h) {
    std::vector<int> err(size_t(w + 2) * size_t(h + 1), 0);
    auto at = [&](int x, int y) -> int& { return err[size_t(y) * size_t(w + 2) + size_t(x + 1)]; };
    std::vector<uint8_t> out(grey.size());
    for (int y = 0; y < h; ++y) {
        const int dir = (y & 1) ? -1 : 1;
        for (int n = 0; n < w; ++n) {
            const int x = dir > 0 ? n : w - 1 - n;
            const int v = std::clamp(grey[size_t(y) * w + x] + ((at(x, y) + 8) >> 4), 0, 255);
            const int q = v < 128 ? 0 : 255;
            out[size_t(y) * w + x] = uint8_t(q);
            const int e = v - q;
            at(x + dir, y) += 7 * e;
            at(x - dir, y + 1) += 3 * e;
            at(x, y + 1) += 5 * e;
            at(x + dir, y + 1) += e;
        }
    }
    return out;
}

// A tall picture is dithered in bands on all cores. The first band is exactly the plain
// sequential diffusion; later bands may differ from it in detail but not in brightness, also at
// the band edges (a row stored at the wrong place or an error state that does not carry over
// would show as blocks whose brightness is off).
TEST(ColorRes, TallPicturesDitherWithoutSeams) {
    const int w = 64, h = 1800;
    std::vector<uint8_t> grey(size_t(w) * h);
    BitmapHandle src;
    ASSERT_EQ(L_CreateBitmap(&src, 1, w, h, 24), SUCCESS);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t v = uint8_t(40 + ((y / 8) * 37 + x) % 176);
            grey[size_t(y) * w + x] = v;
            L_PutPixelColor(&src, x, y, RGBColor(v, v, v));
        }
    const std::vector<uint8_t> reference = NaiveBlackWhiteDither(grey, w, h);
    const RgbQuad bw[2] = {RgbQuad{0, 0, 0, 0}, RgbQuad{255, 255, 255, 0}};
    BitmapHandle out;
    ASSERT_EQ(L_ColorResBitmap(&src, &out, 1, CRF_FLOYDSTEINDITHERING, bw, 2), SUCCESS);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(PixelAt(out, x, y).G, reference[size_t(y) * w + x]) << x << "," << y;
    for (int block = 0; block < h / 8; ++block) {
        double ours = 0, plain = 0;
        for (int y = block * 8; y < block * 8 + 8; ++y)
            for (int x = 0; x < w; ++x) {
                ours += PixelAt(out, x, y).G;
                plain += reference[size_t(y) * w + x];
            }
        ASSERT_NEAR(ours / (8.0 * w), plain / (8.0 * w), 5.0) << "block " << block;
    }
}

// ---- quality against ImageMagick ----

bool WritePpm(const std::string& path, const BitmapHandle& b) {
    std::ofstream f(path, std::ios::binary);
    f << "P6\n" << b.Width << " " << b.Height << "\n255\n";
    for (int y = 0; y < b.Height; ++y)
        for (int x = 0; x < b.Width; ++x) {
            const Rgb c = PixelAt(b, x, y);
            const char px[3] = {char(c.R), char(c.G), char(c.B)};
            f.write(px, 3);
        }
    return bool(f);
}

// ImageMagick's PSNR between two pictures (compare prints it on stderr), or -1.
double MagickPsnr(const std::string& a, const std::string& b) {
    const std::string cmd = "compare-im6.q16 -metric PSNR " + a + " " + b + " null: 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    char buf[256] = {};
    size_t n = fread(buf, 1, sizeof buf - 1, p);
    pclose(p);
    buf[n] = 0;
    return n ? std::atof(buf) : -1;
}

class ColorResQuality : public testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v convert-im6.q16 >/dev/null && command -v compare-im6.q16 "
                        ">/dev/null") != 0)
            GTEST_SKIP() << "ImageMagick is not installed";
        Dir = std::filesystem::temp_directory_path() /
              ("kivo-colorres-" + std::to_string(::getpid()));
        std::filesystem::create_directories(Dir);
    }
    void TearDown() override {
        std::error_code ec;
        if (!Dir.empty()) std::filesystem::remove_all(Dir, ec);
    }
    std::string PathOf(const char* name) const { return (Dir / name).string(); }
    std::filesystem::path Dir;
};

TEST_F(ColorResQuality, WuPaletteBeatsImageMagickAndTheFixedPalette) {
    BitmapHandle photo = kivo::test::MakePhotoFixture(480, 320, 7);
    const std::string src = PathOf("src.ppm"), ours = PathOf("ours.ppm"),
                      fixed = PathOf("fixed.ppm"), magick = PathOf("magick.ppm");
    ASSERT_TRUE(WritePpm(src, photo));

    BitmapHandle q;
    ASSERT_EQ(L_ColorResBitmap(&photo, &q, 8, CRF_FLOYDSTEINDITHERING), SUCCESS);
    EXPECT_EQ(q.Palette.size(), 256u);
    ASSERT_TRUE(WritePpm(ours, q));
    BitmapHandle f;
    ASSERT_EQ(L_ColorResBitmap(&photo, &f, 8, CRF_FIXEDPALETTE | CRF_FLOYDSTEINDITHERING),
              SUCCESS);
    ASSERT_TRUE(WritePpm(fixed, f));
    ASSERT_EQ(std::system(("convert-im6.q16 " + src + " -dither FloydSteinberg -colors 256 " +
                           magick)
                              .c_str()),
              0);

    const double ourPsnr = MagickPsnr(src, ours), fixedPsnr = MagickPsnr(src, fixed),
                 magickPsnr = MagickPsnr(src, magick);
    RecordProperty("psnr_ours", std::to_string(ourPsnr));
    RecordProperty("psnr_imagemagick", std::to_string(magickPsnr));
    std::printf("PSNR: Wu %.2f dB, ImageMagick %.2f dB, fixed palette %.2f dB\n", ourPsnr,
                magickPsnr, fixedPsnr);
    EXPECT_GT(ourPsnr, 33.0);
    EXPECT_GE(ourPsnr, magickPsnr);
    EXPECT_GT(ourPsnr, fixedPsnr + 3.0);
}

// ---- handles, progress and errors ----

TEST(ColorRes, InPlaceMatchesSeparateDestination) {
    BitmapHandle photo = kivo::test::MakePhotoFixture(64, 48, 3);
    for (int bpp : {1, 4, 8, 16, 32}) {
        SCOPED_TRACE(bpp);
        BitmapHandle separate, inPlace = photo;
        ASSERT_EQ(L_ColorResBitmap(&photo, &separate, bpp, CRF_FLOYDSTEINDITHERING), SUCCESS);
        ASSERT_EQ(L_ColorResBitmap(&inPlace, &inPlace, bpp, CRF_FLOYDSTEINDITHERING), SUCCESS);
        ASSERT_EQ(inPlace.BitsPerPixel, bpp);
        EXPECT_EQ(inPlace.Palette, separate.Palette);
        for (int y = 0; y < photo.Height; ++y)
            ASSERT_EQ(std::memcmp(inPlace.Row(y), separate.Row(y), size_t(separate.BytesPerLine)), 0);
    }
}

TEST(ColorRes, KeepsRowOrderAndDropsRegion) {
    BitmapHandle src = MakeSource(8, 4, 24);
    src.ViewPerspective = BOTTOM_LEFT;
    src.Region = std::make_unique<BitmapRegion>();
    BitmapHandle dst;
    ASSERT_EQ(L_ColorResBitmap(&src, &dst, 8, 0), SUCCESS);
    EXPECT_EQ(dst.ViewPerspective, BOTTOM_LEFT);
    EXPECT_EQ(dst.Region, nullptr);
    ASSERT_EQ(L_ColorResBitmap(&src, &src, 24, 0), SUCCESS);
    EXPECT_EQ(src.Region, nullptr);
}

struct AbortAfter {
    int Calls = 0;
    int Limit = 0;
    static int Callback(int, void* user) {
        auto* self = static_cast<AbortAfter*>(user);
        return ++self->Calls > self->Limit ? 0 : 1;
    }
};

// Every path stops when the callback asks, also at its very last report: a short picture
// (dithered in one pass, per-row progress) and a tall one (dithered in bands).
TEST(ColorRes, AbortLeavesDestinationUnchanged) {
    struct Case {
        int Bpp, Flags;
    } cases[] = {{32, 0},
                 {16, 0},
                 {16, CRF_FLOYDSTEINDITHERING},
                 {8, CRF_FLOYDSTEINDITHERING},
                 {8, CRF_NODITHERING},
                 {1, CRF_FIXEDPALETTE | CRF_FLOYDSTEINDITHERING}};
    for (const BitmapHandle& photo :
         {kivo::test::MakePhotoFixture(200, 300, 5), kivo::test::MakePhotoFixture(48, 1100, 6)}) {
        for (const Case& c : cases) {
            for (int limit : {0, 1}) {
                SCOPED_TRACE(testing::Message() << photo.Height << " rows, " << c.Bpp
                                                << " bits, flags " << c.Flags << ", after "
                                                << limit);
                AbortAfter abort{0, limit};
                BitmapHandle dst = MakeSource(5, 5, 4);
                const BitmapHandle before = dst;
                BitmapHandle inPlace = photo;
                StatusCallback previous = L_SetStatusCallBack(&AbortAfter::Callback, &abort);
                const int status = L_ColorResBitmap(&photo, &dst, c.Bpp, c.Flags);
                abort.Calls = 0;
                const int inPlaceStatus = L_ColorResBitmap(&inPlace, &inPlace, c.Bpp, c.Flags);
                L_SetStatusCallBack(previous);
                EXPECT_EQ(status, ERROR_USER_ABORT);
                EXPECT_EQ(inPlaceStatus, ERROR_USER_ABORT);
                EXPECT_GT(abort.Calls, limit);
                EXPECT_EQ(dst.BitsPerPixel, 4);
                EXPECT_EQ(dst.Palette, before.Palette);
                EXPECT_EQ(std::memcmp(dst.Data(), before.Data(), before.DataSize()), 0);
                EXPECT_EQ(inPlace.BitsPerPixel, 24);
                EXPECT_EQ(std::memcmp(inPlace.Data(), photo.Data(), photo.DataSize()), 0);
            }
        }
    }
}

TEST(ColorRes, RefusesBadArguments) {
    BitmapHandle src = MakeSource(4, 4, 24), dst, empty;
    const RgbQuad three[3] = {};
    EXPECT_EQ(L_ColorResBitmap(nullptr, &dst, 8, 0), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_ColorResBitmap(&src, nullptr, 8, 0), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_ColorResBitmap(&empty, &dst, 8, 0), ERROR_NO_BITMAP);
    EXPECT_EQ(L_ColorResBitmap(&src, &dst, 2, 0), ERROR_INV_BITSPERPIXEL);
    EXPECT_EQ(L_ColorResBitmap(&src, &dst, 1, 0, three, 3), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_ColorResBitmap(&src, &dst, 4, 0, three, 0), ERROR_INV_PARAMETER);
    EXPECT_FALSE(dst.Allocated());
}

}  // namespace
