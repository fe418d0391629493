#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/gem/Gem.h"
#include "kivo/imaging/File.h"

namespace kivo {

namespace {

uint16_t Word(const uint8_t* d, int i) { return uint16_t((d[2 * i] << 8) | d[2 * i + 1]); }

bool Plausible(const uint8_t* d, size_t size) {
    if (size < 16) return false;
    const int version = Word(d, 0), headerWords = Word(d, 1), planes = Word(d, 2);
    const int patternLength = Word(d, 3);
    return (version == 1 || version == 2) && headerWords >= 8 && headerWords <= 2048 &&
           size_t(headerWords) * 2 <= size && planes >= 1 && planes <= 8 && patternLength >= 1 &&
           patternLength <= 8 && Word(d, 6) > 0 && Word(d, 7) > 0;
}

bool SniffGem(const uint8_t* head, size_t size) { return Plausible(head, size); }

// The sixteen standard VDI pen colours, as R, G, B.
constexpr uint8_t VdiColours[16][3] = {
    {255, 255, 255}, {0, 0, 0},   {255, 0, 0},     {0, 255, 0},     {0, 0, 255}, {0, 255, 255},
    {255, 255, 0},   {255, 0, 255}, {192, 192, 192}, {128, 128, 128}, {128, 0, 0}, {0, 128, 0},
    {0, 0, 128},     {0, 128, 128}, {128, 128, 0},   {128, 0, 128}};

int ReadGem(ByteReader& in, BitmapHandle& out, Progress& progress) {
    const uint8_t* d = in.Data();
    const size_t size = in.Length();
    if (!Plausible(d, size)) return ERROR_FILE_CORRUPT;
    const int headerWords = Word(d, 1), planes = Word(d, 2), patternLength = Word(d, 3);
    const int width = Word(d, 6), height = Word(d, 7);
    const int outBpp = planes == 1 ? 1 : planes <= 4 ? 4 : 8;
    int rc = AllocateChecked(out, width, height, outBpp);
    if (rc != SUCCESS) return rc;

    const int colours = 1 << planes;
    if (planes == 1) {
        out.Palette = {RgbQuad{255, 255, 255, 0}, RgbQuad{0, 0, 0, 0}};
    } else if (headerWords >= 11 + 3 * colours && std::memcmp(d + 16, "XIMG", 4) == 0 &&
               Word(d, 10) == 0) {
        out.Palette.resize(size_t(colours));
        for (int i = 0; i < colours; ++i) {
            auto level = [&](int k) {
                return uint8_t((std::min<int>(Word(d, 11 + 3 * i + k), 1000) * 255 + 500) / 1000);
            };
            out.Palette[size_t(i)] = {level(2), level(1), level(0), 0};
        }
    } else if (planes == 4) {
        for (const auto& c : VdiColours) out.Palette.push_back({c[2], c[1], c[0], 0});
    } else {
        for (int i = 0; i < colours; ++i) {
            const uint8_t v = uint8_t(255 - i * 255 / (colours - 1));
            out.Palette.push_back({v, v, v, 0});
        }
    }
    if (outBpp > 1) out.Palette.resize(size_t(1) << outBpp);

    const size_t planeBytes = (size_t(width) + 7) / 8;
    const size_t lineBytes = planeBytes * size_t(planes);
    std::vector<uint8_t> line(lineBytes);
    const uint8_t* p = d + size_t(headerWords) * 2;
    const uint8_t* end = d + size;
    int y = 0;
    while (y < height) {
        int repeat = 1;
        if (end - p >= 4 && p[0] == 0 && p[1] == 0 && p[2] == 0xFF) {
            repeat = std::max(1, int(p[3]));
            p += 4;
        }
        size_t i = 0;
        while (i < lineBytes) {
            if (p >= end) return ERROR_FILE_CORRUPT;
            const uint8_t op = *p++;
            if (op == 0) {
                if (p >= end) return ERROR_FILE_CORRUPT;
                const size_t count = *p++;
                if (size_t(end - p) < size_t(patternLength)) return ERROR_FILE_CORRUPT;
                for (size_t r = 0; r < count; ++r)
                    for (int k = 0; k < patternLength && i < lineBytes; ++k) line[i++] = p[k];
                p += patternLength;
            } else if (op == 0x80) {
                if (p >= end) return ERROR_FILE_CORRUPT;
                const size_t count = *p++;
                if (size_t(end - p) < count) return ERROR_FILE_CORRUPT;
                const size_t n = std::min(count, lineBytes - i);
                std::memcpy(line.data() + i, p, n);
                i += n;
                p += count;
            } else {
                const size_t n = std::min(size_t(op & 0x7F), lineBytes - i);
                std::memset(line.data() + i, (op & 0x80) ? 0xFF : 0x00, n);
                i += n;
            }
        }
        for (int r = 0; r < repeat && y < height; ++r, ++y) {
            uint8_t* dst = out.Row(y);
            if (planes == 1) {
                std::memcpy(dst, line.data(), planeBytes);
            } else {
                std::memset(dst, 0, size_t(out.BytesPerLine));
                for (int x = 0; x < width; ++x) {
                    int v = 0;
                    for (int pl = 0; pl < planes; ++pl)
                        v |= ((line[size_t(pl) * planeBytes + size_t(x >> 3)] >> (7 - (x & 7))) & 1)
                             << pl;
                    if (outBpp == 8)
                        dst[x] = uint8_t(v);
                    else
                        dst[x >> 1] |= uint8_t(v << ((x & 1) ? 0 : 4));
                }
            }
            if (!progress.Report(y + 1)) return ERROR_USER_ABORT;
        }
    }
    return SUCCESS;
}

}  // namespace

CodecEntry MakeGemCodec() {
    return CodecEntry{"GEM", FILE_IMG, {}, {}, 950, SniffGem, ReadGem, nullptr};
}

}  // namespace kivo
