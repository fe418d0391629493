#include <algorithm>
#include <cstring>

#include "codecs/pnm/Pnm.h"
#include "core/ParallelRows.h"
#include "core/Swizzle.h"
#include "kivo/imaging/File.h"

namespace kivo {
namespace {

bool IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Skips white space and '#' comments (which run to the end of the line), then reads a decimal
// number. False when there is no number or it exceeds `limit`.
bool ReadNumber(ByteReader& in, int64_t limit, int64_t* value) {
    for (;;) {
        if (in.Eof()) return false;
        const uint8_t c = *in.Peek(1);
        if (IsSpace(c)) {
            in.Skip(1);
        } else if (c == '#') {
            while (!in.Eof() && *in.Peek(1) != '\n' && *in.Peek(1) != '\r') in.Skip(1);
        } else {
            break;
        }
    }
    int64_t v = 0;
    int digits = 0;
    while (!in.Eof()) {
        const uint8_t c = *in.Peek(1);
        if (c < '0' || c > '9') break;
        v = v * 10 + (c - '0');
        if (v > limit) return false;
        in.Skip(1);
        ++digits;
    }
    *value = v;
    return digits > 0;
}

}  // namespace

bool SniffPnm(const uint8_t* head, size_t size) {
    return size >= 3 && head[0] == 'P' && (head[1] == '4' || head[1] == '5' || head[1] == '6') &&
           IsSpace(head[2]);
}

int ReadPnmHeader(ByteReader& in, PnmHeader* header) {
    const uint8_t* magic = in.Take(2);
    if (!magic || magic[0] != 'P') return ERROR_FILE_FORMAT;
    const int kind = magic[1] - '0';
    if (kind < 4 || kind > 6) return ERROR_FILE_FORMAT;
    int64_t width = 0, height = 0, maxval = 1;
    if (!ReadNumber(in, int64_t(1) << 30, &width) || !ReadNumber(in, int64_t(1) << 30, &height))
        return ERROR_FILE_CORRUPT;
    if (kind != 4 && (!ReadNumber(in, 65535, &maxval) || maxval < 1)) return ERROR_FILE_CORRUPT;
    // Exactly one white-space byte separates the header from the samples.
    if (in.Eof() || !IsSpace(*in.Peek(1))) return ERROR_FILE_CORRUPT;
    in.Skip(1);
    *header = PnmHeader{kind, width, height, maxval};
    return SUCCESS;
}

bool PnmRowLayout(const uint8_t* head, size_t headSize, uint64_t fileSize, PnmRows* rows) {
    ByteReader in(head, headSize);
    PnmHeader h;
    if (ReadPnmHeader(in, &h) != SUCCESS || h.Kind == 4 || h.Maxval != 255 || h.Width <= 0 ||
        h.Height <= 0 || uint64_t(h.Width) * uint64_t(h.Height) > L_GetMaxPixels())
        return false;
    const int channels = h.Kind == 6 ? 3 : 1;
    const uint64_t stride = uint64_t(h.Width) * uint64_t(channels);
    if (in.Position() + stride * uint64_t(h.Height) > fileSize) return false;
    *rows = PnmRows{in.Position(), size_t(stride), int(h.Width), int(h.Height), channels};
    return true;
}

int ReadPnm(ByteReader& in, BitmapHandle& out, Progress& progress) {
    PnmHeader header;
    if (int status = ReadPnmHeader(in, &header); status != SUCCESS) return status;
    const int kind = header.Kind;
    const int64_t width = header.Width, height = header.Height, maxval = header.Maxval;

    const int bpp = kind == 4 ? 1 : kind == 5 ? 8 : 24;
    int status = AllocateChecked(out, width, height, bpp);
    if (status != SUCCESS) return status;
    const int channels = kind == 6 ? 3 : 1;
    const size_t sampleBytes = maxval > 255 ? 2 : 1;
    const size_t rowBytes = kind == 4 ? size_t(width + 7) / 8
                                      : size_t(width) * size_t(channels) * sampleBytes;
    if (rowBytes * size_t(height) > in.Remaining()) return ERROR_FILE_CORRUPT;

    if (kind == 4) {
        out.Palette = {RgbQuad{255, 255, 255, 0}, RgbQuad{0, 0, 0, 0}};
    } else if (kind == 5) {
        out.Palette.resize(256);
        for (int i = 0; i < 256; ++i) out.Palette[size_t(i)] = RgbQuad{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    }
    // Samples of another range are scaled through a table (one entry per possible value).
    std::vector<uint8_t> scale;
    if (kind != 4 && maxval != 255) {
        scale.resize(size_t(maxval) + 1);
        for (int64_t v = 0; v <= maxval; ++v) scale[size_t(v)] = uint8_t((v * 255 + maxval / 2) / maxval);
    }
    auto sample = [&](const uint8_t* p, size_t i) -> uint8_t {
        if (sampleBytes == 2) {
            const unsigned v = (unsigned(p[2 * i]) << 8) | p[2 * i + 1];
            return v <= unsigned(maxval) ? scale[v] : 255;
        }
        if (scale.empty()) return p[i];
        return p[i] <= maxval ? scale[p[i]] : 255;
    };

    const int w = int(width), h = int(height);
    const uint8_t* samples = in.Take(rowBytes * size_t(height));
    const size_t used = (size_t(w) * size_t(bpp) + 7) / 8;
    auto convertRow = [&](int y) {
        const uint8_t* src = samples + rowBytes * size_t(y);
        uint8_t* row = out.Row(y);
        if (kind == 4) {
            std::memcpy(row, src, rowBytes);
            if (w % 8) row[rowBytes - 1] &= uint8_t(0xFF << (8 - w % 8));
        } else if (kind == 5) {
            if (scale.empty() && sampleBytes == 1) {
                std::memcpy(row, src, size_t(w));
            } else {
                for (int x = 0; x < w; ++x) row[x] = sample(src, size_t(x));
            }
        } else if (scale.empty() && sampleBytes == 1) {
            SwapRedBlue24(src, row, size_t(w));
        } else {
            for (int x = 0; x < w; ++x) {
                row[3 * x] = sample(src, size_t(3 * x + 2));
                row[3 * x + 1] = sample(src, size_t(3 * x + 1));
                row[3 * x + 2] = sample(src, size_t(3 * x));
            }
        }
        std::memset(row + used, 0, size_t(out.BytesPerLine) - used);
    };
    // The rows are independent: bands of them are converted on every core (most of the time is
    // spent waiting for memory, fresh pages of the bitmap and the file's pages), with progress
    // reported between bands.
    constexpr int Band = 256;
    for (int y0 = 0; y0 < h; y0 += Band) {
        const int y1 = std::min(h, y0 + Band);
        ParallelRows(y1 - y0, [&](int first, int end) {
            for (int y = y0 + first; y < y0 + end; ++y) convertRow(y);
        });
        if (!progress.Report(int64_t(y1) * 100 / h)) return ERROR_USER_ABORT;
    }
    return SUCCESS;
}

CodecEntry MakePnmCodec() {
    return CodecEntry{"PNM", FILE_PNM, {FILE_PNM}, {1, 4, 8, 16, 24, 32}, 20,
                      SniffPnm,  ReadPnm,  WritePnm};
}

}  // namespace kivo
