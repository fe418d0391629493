#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/wpg/Wpg.h"
#include "kivo/imaging/File.h"

namespace kivo {

namespace {

enum : uint8_t { ColourMap = 0x0E, Bitmap1 = 0x0B, Bitmap2 = 0x14, EndOfFile = 0x10 };

bool SniffWpg(const uint8_t* head, size_t size) {
    return size >= 16 && head[0] == 0xFF && head[1] == 'W' && head[2] == 'P' && head[3] == 'C' &&
           head[9] == 0x16;
}

// A record's length: one byte, or 0xFF and a word, whose top bit announces a second word
// (the high half of a 31-bit length).
bool RecordLength(ByteReader& in, size_t* length) {
    uint32_t n = in.U8();
    if (n == 0xFF) {
        n = in.U16LE();
        if (n & 0x8000) n = ((n & 0x7FFF) << 16) | in.U16LE();
    }
    *length = n;
    return !in.Failed();
}

ColorPalette DefaultPalette(int depth) {
    if (depth == 1) return {RgbQuad{0, 0, 0, 0}, RgbQuad{255, 255, 255, 0}};
    static const uint8_t ega[16][3] = {
        {0, 0, 0},     {0, 0, 170},    {0, 170, 0},    {0, 170, 170},
        {170, 0, 0},   {170, 0, 170},  {170, 85, 0},   {170, 170, 170},
        {85, 85, 85},  {85, 85, 255},  {85, 255, 85},  {85, 255, 255},
        {255, 85, 85}, {255, 85, 255}, {255, 255, 85}, {255, 255, 255}};
    ColorPalette p(size_t(1) << depth);
    for (size_t i = 0; i < p.size(); ++i) {
        if (i < 16) {
            p[i] = RgbQuad{ega[i][2], ega[i][1], ega[i][0], 0};
        } else {
            uint8_t g = uint8_t(i);
            p[i] = RgbQuad{g, g, g, 0};
        }
    }
    return p;
}

// Unpacks the run-length rows of a bitmap record into `rows` (height rows of rowBytes).
//  n | 0x80, n > 0: the next byte n times;   0x80, c: 0xFF c times;
//  n > 0: n literal bytes;                   0x00, c: the previous row c more times.
int Unpack(ByteReader& in, size_t rowBytes, int height, std::vector<uint8_t>& rows,
           Progress& progress) {
    rows.assign(rowBytes * size_t(height), 0);
    size_t x = 0;
    int y = 0;
    auto put = [&](uint8_t v) {
        rows[size_t(y) * rowBytes + x] = v;
        if (++x == rowBytes) {
            x = 0;
            ++y;
        }
    };
    while (y < height) {
        const uint8_t op = in.U8();
        if (in.Failed()) return ERROR_FILE_CORRUPT;
        size_t count = op & 0x7F;
        if (op & 0x80) {
            uint8_t value = 0xFF;
            if (count)
                value = in.U8();
            else
                count = in.U8();
            if (in.Failed()) return ERROR_FILE_CORRUPT;
            for (size_t i = 0; i < count && y < height; ++i) put(value);
        } else if (count) {
            const uint8_t* p = in.Take(count);
            if (!p) return ERROR_FILE_CORRUPT;
            for (size_t i = 0; i < count && y < height; ++i) put(p[i]);
        } else {
            count = in.U8();
            // Repeating a row is only meaningful at a row start, after a first row.
            if (in.Failed() || x != 0 || y == 0) return ERROR_FILE_CORRUPT;
            for (size_t i = 0; i < count && y < height; ++i, ++y)
                std::memcpy(&rows[size_t(y) * rowBytes], &rows[size_t(y - 1) * rowBytes],
                            rowBytes);
        }
        if (!progress.Report(int64_t(y) * 100 / height)) return ERROR_USER_ABORT;
    }
    return SUCCESS;
}

int ReadWpg(ByteReader& in, BitmapHandle& out, Progress& progress) {
    if (!SniffWpg(in.Data(), in.Length())) return ERROR_FILE_FORMAT;
    in.Skip(4);
    const uint32_t dataOffset = in.U32LE();
    in.Skip(2);  // product and file type
    const uint8_t major = in.U8();
    if (major == 2) return ERROR_FEATURE_NOT_SUPPORTED;
    if (major != 1) return ERROR_FILE_CORRUPT;
    if (dataOffset < 16 || !in.Seek(dataOffset)) return ERROR_FILE_CORRUPT;

    std::vector<RgbQuad> map(256);
    std::vector<bool> set(256, false);
    while (!in.Eof()) {
        const uint8_t type = in.U8();
        size_t length;
        if (!RecordLength(in, &length) || length > in.Remaining()) return ERROR_FILE_CORRUPT;
        ByteReader rec(in.Data() + in.Position(), length);
        in.Skip(length);
        if (type == EndOfFile) break;
        if (type == ColourMap) {
            const unsigned start = rec.U16LE(), count = rec.U16LE();
            if (rec.Failed() || start + count > 256) return ERROR_FILE_CORRUPT;
            for (unsigned i = 0; i < count; ++i) {
                const uint8_t* c = rec.Take(3);
                if (!c) return ERROR_FILE_CORRUPT;
                map[start + i] = RgbQuad{c[2], c[1], c[0], 0};
                set[start + i] = true;
            }
            continue;
        }
        if (type != Bitmap1 && type != Bitmap2) continue;
        if (type == Bitmap2) rec.Skip(10);  // rotation, lower-left and upper-right corners
        const int width = rec.U16LE(), height = rec.U16LE(), depth = rec.U16LE();
        rec.Skip(4);  // resolutions
        if (rec.Failed() || width == 0 || height == 0) return ERROR_FILE_CORRUPT;
        if (depth != 1 && depth != 2 && depth != 4 && depth != 8) return ERROR_FILE_CORRUPT;
        if (uint64_t(width) * uint64_t(height) > L_GetMaxPixels()) return ERROR_IMAGE_TOO_LARGE;
        const size_t rowBytes = (size_t(width) * size_t(depth) + 7) / 8;
        std::vector<uint8_t> rows;
        int status = Unpack(rec, rowBytes, height, rows, progress);
        if (status != SUCCESS) return status;

        const int bpp = depth == 2 ? 4 : depth;
        status = AllocateChecked(out, width, height, bpp);
        if (status != SUCCESS) return status;
        ColorPalette palette = DefaultPalette(depth);
        for (size_t i = 0; i < palette.size(); ++i)
            if (set[i]) palette[i] = map[i];
        if (depth == 2) palette.resize(16, RgbQuad{});
        out.Palette = palette;
        for (int y = 0; y < height; ++y) {
            const uint8_t* src = &rows[size_t(y) * rowBytes];
            uint8_t* dst = out.Row(y);
            if (depth != 2) {
                std::memcpy(dst, src, rowBytes);
                continue;
            }
            std::memset(dst, 0, size_t(out.BytesPerLine));
            for (int x = 0; x < width; ++x) {
                const int v = (src[x >> 2] >> (6 - 2 * (x & 3))) & 3;
                dst[x >> 1] |= uint8_t(v << ((x & 1) ? 0 : 4));
            }
        }
        return SUCCESS;
    }
    return ERROR_FEATURE_NOT_SUPPORTED;  // vector graphics only
}

}  // namespace

CodecEntry MakeWpgCodec() {
    return CodecEntry{"WPG", FILE_WPG, {}, {}, 10, SniffWpg, ReadWpg, nullptr};
}

}  // namespace kivo
