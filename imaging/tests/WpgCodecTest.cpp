// WordPerfect graphics 1 files built record by record, read as ImageMagick reads them; damaged
// files. Every file carries its colour map: for bitmaps without one, ImageMagick uses a table of
// its own (green for the set bits of a 1-bit bitmap) where we use black and white and the EGA
// colours, so those are not compared; nor are colour maps split over records, whose count
// ImageMagick takes for an end index.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/File.h"
#include "support/Peer.h"
#include "support/PnmWrite.h"

namespace {

using namespace kivo::test;
namespace fs = std::filesystem;

const std::string Im = ImageMagickConvert;

std::string Q(const fs::path& p) { return ShellQuote(p.string()); }

void Put16(Bytes& b, unsigned v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void Record(Bytes& file, uint8_t type, const Bytes& data) {
    file.push_back(type);
    if (data.size() < 0xFF) {
        file.push_back(uint8_t(data.size()));
    } else if (data.size() < 0x8000) {
        file.push_back(0xFF);
        Put16(file, unsigned(data.size()));
    } else {
        file.push_back(0xFF);
        Put16(file, unsigned(0x8000 | (data.size() >> 16)));
        Put16(file, unsigned(data.size() & 0xFFFF));
    }
    file.insert(file.end(), data.begin(), data.end());
}

struct Picture {
    int Width = 0, Height = 0, Depth = 8;
    std::vector<Bytes> Rows;  // packed rows, (Width × Depth + 7) / 8 bytes each
};

// Run-length rows: a repeat of the previous row where rows repeat, runs of 3 or more equal
// bytes (0xFF runs with their own code), literals otherwise.
Bytes Pack(const Picture& p) {
    Bytes out;
    for (size_t y = 0; y < p.Rows.size(); ++y) {
        if (y > 0 && p.Rows[y] == p.Rows[y - 1]) {
            out.insert(out.end(), {0x00, 0x01});
            continue;
        }
        const Bytes& r = p.Rows[y];
        size_t i = 0;
        while (i < r.size()) {
            size_t run = 1;
            while (i + run < r.size() && run < 127 && r[i + run] == r[i]) ++run;
            if (run >= 3) {
                if (r[i] == 0xFF) {
                    out.insert(out.end(), {0x80, uint8_t(run)});
                } else {
                    out.insert(out.end(), {uint8_t(0x80 | run), r[i]});
                }
                i += run;
                continue;
            }
            size_t n = std::min<size_t>(127, r.size() - i);
            for (size_t k = 0; k < n; ++k)
                if (k + 2 < n && r[i + k] == r[i + k + 1] && r[i + k] == r[i + k + 2]) {
                    n = std::max<size_t>(k, 1);
                    break;
                }
            out.push_back(uint8_t(n));
            out.insert(out.end(), r.begin() + long(i), r.begin() + long(i + n));
            i += n;
        }
    }
    return out;
}

Bytes Wpg(const Picture& p, const std::vector<std::array<uint8_t, 3>>& map, unsigned mapStart,
          bool type2) {
    Bytes file = {0xFF, 'W', 'P', 'C', 16, 0, 0, 0, 1, 0x16, 1, 0, 0, 0, 0, 0};
    Bytes start = {1, 0};
    Put16(start, unsigned(p.Width * 6));
    Put16(start, unsigned(p.Height * 6));
    Record(file, 0x0F, start);
    // The colour map in two records split at mapStart (one record when it is 0).
    for (auto [from, to] : {std::pair{0u, mapStart}, std::pair{mapStart, unsigned(map.size())}}) {
        if (from >= to) continue;
        Bytes m;
        Put16(m, from);
        Put16(m, to - from);
        for (unsigned i = from; i < to; ++i) m.insert(m.end(), map[i].begin(), map[i].end());
        Record(file, 0x0E, m);
    }
    Bytes bmp;
    if (type2)
        for (unsigned v : {0u, 0u, 0u, unsigned(p.Width), unsigned(p.Height)}) Put16(bmp, v);
    for (unsigned v : {unsigned(p.Width), unsigned(p.Height), unsigned(p.Depth), 75u, 75u})
        Put16(bmp, v);
    Bytes packed = Pack(p);
    bmp.insert(bmp.end(), packed.begin(), packed.end());
    Record(file, type2 ? 0x14 : 0x0B, bmp);
    Record(file, 0x10, {});
    return file;
}

Picture Pattern(int w, int h, int depth) {
    Picture p{w, h, depth, {}};
    const size_t rowBytes = (size_t(w) * size_t(depth) + 7) / 8;
    uint32_t state = uint32_t(w * 31 + depth);
    for (int y = 0; y < h; ++y) {
        Bytes row(rowBytes);
        if (y % 5 == 4) {
            row = p.Rows.back();  // a repeated row
        } else {
            for (size_t i = 0; i < rowBytes; ++i) {
                state = state * 1664525u + 1013904223u;
                // Flat stretches (runs, 0xFF runs) and noise (literals).
                row[i] = i < rowBytes / 3 ? uint8_t(y * 7) : i < rowBytes / 2 ? 0xFF
                                                                               : uint8_t(state >> 24);
            }
            if ((w * depth) % 8) row.back() &= uint8_t(0xFF << (8 - (w * depth) % 8));
        }
        p.Rows.push_back(row);
    }
    return p;
}

std::vector<std::array<uint8_t, 3>> Colours(int n) {
    std::vector<std::array<uint8_t, 3>> c;
    for (int i = 0; i < n; ++i)
        c.push_back({uint8_t(i * 53 % 256), uint8_t(255 - i * 3 % 256), uint8_t(i * 29 % 256)});
    return c;
}

TEST(WpgCodec, ReadsBitmapRecordsAsImageMagickDoes) {
    const struct {
        const char* Name;
        int Width, Height, Depth;
        int MapColours;
        unsigned MapStart;  // where a second colour map record starts (0: one record)
        bool Type2;
        int ExpectedBpp;
    } cases[] = {
        {"8-bit-full-map", 300, 20, 8, 256, 0, false, 8},
        {"8-bit-type-2", 61, 9, 8, 256, 0, true, 8},
        {"4-bit-map", 45, 12, 4, 16, 0, false, 4},
        {"4-bit-type-2", 33, 7, 4, 16, 0, true, 4},
        {"2-bit-map", 37, 6, 2, 4, 0, false, 4},
        {"1-bit-map", 70, 11, 1, 2, 0, false, 1},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const Bytes file = Wpg(Pattern(c.Width, c.Height, c.Depth), Colours(c.MapColours),
                               c.MapStart, c.Type2);
        const fs::path path = dir / (std::string(c.Name) + ".wpg");
        WriteFileBytes(path, file);
        BitmapHandle b;
        FileInfo info;
        ASSERT_EQ(L_LoadBitmap(path.string(), &b, 0, 1, nullptr, &info), SUCCESS);
        EXPECT_EQ(info.Format, FILE_WPG);
        EXPECT_EQ(b.BitsPerPixel, c.ExpectedBpp);
        EXPECT_EQ(ComparePixels(b, PeerDecode(Im + " WPG:" + Q(path) + " -depth 8 ppm:-")), "");
    }
}

TEST(WpgCodec, DamagedFilesFailCleanly) {
    const Bytes good = Wpg(Pattern(40, 10, 8), Colours(256), 0, false);
    auto patched = [&](size_t at, std::initializer_list<uint8_t> bytes) {
        Bytes b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + long(at));
        return b;
    };
    Bytes repeatFirst = Wpg(Picture{4, 2, 8, {Bytes(4, 1), Bytes(4, 1)}}, {}, 0, false);
    // The first row's code: after the header (16), the start record (8), the bitmap record's
    // type and length (2) and its fields (10).
    repeatFirst[16 + 8 + 2 + 10] = 0x00;
    const struct {
        const char* Name;
        Bytes File;
        int Status;
    } cases[] = {
        {"truncated-in-rows", Bytes(good.begin(), good.end() - 40), ERROR_FILE_CORRUPT},
        {"data-offset-past-end", patched(4, {0xFF, 0xFF, 0, 0}), ERROR_FILE_CORRUPT},
        {"wpg-2", patched(10, {2}), ERROR_FEATURE_NOT_SUPPORTED},
        // The colour map record at 24 has a 3-byte length: its start index is at 28.
        {"colour-map-past-256", patched(28, {0x10, 0}), ERROR_FILE_CORRUPT},
        {"repeat-before-first-row", repeatFirst, ERROR_FILE_CORRUPT},
        {"vector-only", [] {
             Bytes f = {0xFF, 'W', 'P', 'C', 16, 0, 0, 0, 1, 0x16, 1, 0, 0, 0, 0, 0};
             Record(f, 0x0F, {1, 0, 10, 0, 10, 0});
             Record(f, 0x10, {});
             return f;
         }(),
         ERROR_FEATURE_NOT_SUPPORTED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        BitmapHandle b;
        EXPECT_EQ(L_LoadBitmapMemory(c.File.data(), c.File.size(), &b), c.Status);
    }
    TempDir dir;
    WriteFileBytes(dir / "bad.wpg", cases[0].File);
    CommandResult r = RunCommand(std::string(KIVO_IMAGE_TOOL) + " info " + Q(dir / "bad.wpg") +
                                 " 2>&1");
    EXPECT_NE(r.ExitCode, 0);
    EXPECT_NE(std::string(r.Output.begin(), r.Output.end()).find("damaged or truncated"),
              std::string::npos);
}

}  // namespace
