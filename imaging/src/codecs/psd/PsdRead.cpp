#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/PackBits.h"
#include "codecs/psd/Psd.h"
#include "kivo/imaging/File.h"

namespace kivo {

namespace {

enum PsdMode : int { Bitmap = 0, Grey = 1, Indexed = 2, Rgb = 3, Cmyk = 4, Duotone = 8 };

uint8_t Sample8(const uint8_t* p, int depth) {
    if (depth == 8) return p[0];
    if (depth == 16) {
        unsigned v = (unsigned(p[0]) << 8) | p[1];
        return uint8_t((v * 255 + 32767) / 65535);
    }
    uint32_t bits = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    float f;
    std::memcpy(&f, &bits, 4);
    if (!(f > 0.0f)) return 0;  // also NaN
    if (f >= 1.0f) return 255;
    return uint8_t(f * 255.0f + 0.5f);
}

// A sample widened or narrowed to 16 bits.
uint32_t Sample16(const uint8_t* p, int depth) {
    if (depth == 8) return p[0] * 257u;
    if (depth == 16) return (uint32_t(p[0]) << 8) | p[1];
    uint32_t bits = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    float f;
    std::memcpy(&f, &bits, 4);
    if (!(f > 0.0f)) return 0;
    if (f >= 1.0f) return 65535;
    return uint32_t(f * 65535.0f + 0.5f);
}

// The indexed colour count resource (1046) shortens the 256-entry colour table.
int IndexedColourCount(const uint8_t* res, size_t size) {
    ByteReader r(res, size);
    while (r.Remaining() >= 12) {
        if (r.U32BE() != 0x3842494D) break;  // "8BIM"
        uint16_t id = r.U16BE();
        uint8_t nameLen = r.U8();
        r.Skip(size_t(nameLen) + ((nameLen + 1) & 1));  // the Pascal name is padded to even
        uint32_t len = r.U32BE();
        if (r.Failed() || len > r.Remaining()) break;
        if (id == 1046 && len >= 2) {
            const uint8_t* p = r.Peek(2);
            return (p[0] << 8) | p[1];
        }
        r.Skip(len + (len & 1));
    }
    return 256;
}

bool SniffPsd(const uint8_t* head, size_t size) {
    return size >= 6 && std::memcmp(head, "8BPS", 4) == 0 && head[4] == 0 &&
           (head[5] == 1 || head[5] == 2);  // 2: large documents, refused by the reader
}

int ReadPsd(ByteReader& in, BitmapHandle& out, Progress& progress) {
    if (in.U32BE() != 0x38425053) return ERROR_FILE_FORMAT;
    uint16_t version = in.U16BE();
    if (version == 2) return ERROR_FEATURE_NOT_SUPPORTED;
    if (version != 1) return ERROR_FILE_FORMAT;
    in.Skip(6);
    const int channels = in.U16BE();
    const uint32_t height = in.U32BE();
    const uint32_t width = in.U32BE();
    const int depth = in.U16BE();
    const int mode = in.U16BE();
    if (in.Failed()) return ERROR_FILE_CORRUPT;
    if (channels < 1 || channels > 56 || width == 0 || height == 0 || width > 300000 ||
        height > 300000)
        return ERROR_FILE_CORRUPT;
    if (depth != 1 && depth != 8 && depth != 16 && depth != 32) return ERROR_FILE_CORRUPT;
    if ((mode == Bitmap) != (depth == 1)) return ERROR_FILE_CORRUPT;

    int needed = 0;  // channels that make the composite
    int outBpp = 0;
    switch (mode) {
        case Bitmap: needed = 1; outBpp = 1; break;
        case Grey:
        case Duotone: needed = 1; outBpp = 8; break;
        case Indexed:
            if (depth != 8) return ERROR_FILE_CORRUPT;
            needed = 1; outBpp = 8;
            break;
        case Rgb:
            needed = channels >= 4 ? 4 : 3;
            outBpp = channels >= 4 ? 32 : 24;
            break;
        case Cmyk: needed = 4; outBpp = 24; break;
        default: return ERROR_FEATURE_NOT_SUPPORTED;
    }
    if (channels < needed) return ERROR_FILE_CORRUPT;

    uint32_t colourLen = in.U32BE();
    const uint8_t* colourData = in.Take(colourLen);
    if (!colourData) return ERROR_FILE_CORRUPT;
    if (mode == Indexed && colourLen < 768) return ERROR_FILE_CORRUPT;
    uint32_t resLen = in.U32BE();
    const uint8_t* res = in.Take(resLen);
    uint32_t layerLen = in.U32BE();
    if (!res || !in.Skip(layerLen)) return ERROR_FILE_CORRUPT;
    const int compression = in.U16BE();
    if (in.Failed()) return ERROR_FILE_CORRUPT;
    if (compression == 2 || compression == 3) return ERROR_FEATURE_NOT_SUPPORTED;
    if (compression != 0 && compression != 1) return ERROR_FILE_CORRUPT;

    const size_t rowBytes = depth == 1 ? (size_t(width) + 7) / 8 : size_t(width) * (depth / 8);
    const size_t rows = size_t(height) * size_t(channels);
    // Every row must be backed by data before anything is allocated: at least its raw size, or
    // its 2-byte count for PackBits.
    if (compression == 0 && in.Remaining() / rowBytes < size_t(height) * size_t(needed))
        return ERROR_FILE_CORRUPT;
    if (compression == 1 && in.Remaining() / 2 < rows) return ERROR_FILE_CORRUPT;

    int status = AllocateChecked(out, width, height, outBpp);
    if (status != SUCCESS) return status;
    if (mode == Bitmap) {
        out.Palette = {RgbQuad{255, 255, 255, 0}, RgbQuad{0, 0, 0, 0}};
    } else if (mode == Indexed) {
        int count = std::clamp(IndexedColourCount(res, resLen), 1, 256);
        out.Palette.resize(size_t(count));
        for (int i = 0; i < count; ++i)
            out.Palette[size_t(i)] = RgbQuad{colourData[512 + i], colourData[256 + i],
                                             colourData[i], 0};
    } else if (outBpp == 8) {
        out.Palette.resize(256);
        for (int i = 0; i < 256; ++i)
            out.Palette[size_t(i)] = RgbQuad{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    }

    // Where each channel row starts, so rows can be taken in any order (CMYK needs all four
    // channels of a row at once). Packed rows need a table; raw rows are at fixed places.
    const size_t dataStart = in.Position() + (compression == 1 ? rows * 2 : 0);
    std::vector<uint64_t> packedStart;
    if (compression == 1) {
        const uint8_t* counts = in.Data() + in.Position();
        packedStart.resize(rows + 1);
        packedStart[0] = dataStart;
        for (size_t i = 0; i < rows; ++i)
            packedStart[i + 1] = packedStart[i] + ((size_t(counts[2 * i]) << 8) | counts[2 * i + 1]);
    }
    auto channelRow = [&](int c, uint32_t y, uint8_t* buffer) -> const uint8_t* {
        const size_t i = size_t(c) * height + y;
        if (compression == 0) return in.Data() + dataStart + i * rowBytes;
        if (packedStart[i + 1] > in.Length()) return nullptr;
        const size_t length = size_t(packedStart[i + 1] - packedStart[i]);
        if (!PackBitsDecode(in.Data() + packedStart[i], length, buffer, rowBytes)) return nullptr;
        return buffer;
    };
    const int step = depth == 1 ? 1 : depth / 8;

    if (mode == Cmyk) {
        std::vector<uint8_t> buffers(rowBytes * 4);
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* planes[4];
            for (int c = 0; c < 4; ++c) {
                planes[c] = channelRow(c, y, buffers.data() + size_t(c) * rowBytes);
                if (!planes[c]) return ERROR_FILE_CORRUPT;
            }
            uint8_t* dst = out.Row(int(y));
            for (uint32_t x = 0; x < width; ++x) {
                // Ink values are stored inverted (255 = no ink): r = c·k, computed at 16 bits.
                const uint32_t k = Sample16(planes[3] + x * step, depth);
                for (int c = 0; c < 3; ++c) {
                    uint32_t v = (Sample16(planes[c] + x * step, depth) * k + 32767) / 65535;
                    dst[size_t(x) * 3 + size_t(2 - c)] = uint8_t((v * 255 + 32767) / 65535);
                }
            }
            if (!progress.Report(int64_t(y + 1) * 100 / height)) return ERROR_USER_ABORT;
        }
        return SUCCESS;
    }

    std::vector<uint8_t> row(rowBytes);
    const int64_t totalRows = int64_t(height) * needed;
    for (int c = 0; c < needed; ++c) {
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* src = channelRow(c, y, row.data());
            if (!src) return ERROR_FILE_CORRUPT;
            uint8_t* dst = out.Row(int(y));
            if (outBpp == 1) {
                std::memcpy(dst, src, rowBytes);
            } else if (outBpp == 8) {
                if (depth == 8)
                    std::memcpy(dst, src, width);
                else
                    for (uint32_t x = 0; x < width; ++x) dst[x] = Sample8(src + x * step, depth);
            } else {
                // Channel 0 is red, stored at offset 2 of B, G, R; alpha at 3.
                const int px = outBpp / 8;
                const int offset = c < 3 ? 2 - c : 3;
                uint8_t* p = dst + offset;
                if (depth == 8)
                    for (uint32_t x = 0; x < width; ++x) p[size_t(x) * px] = src[x];
                else
                    for (uint32_t x = 0; x < width; ++x)
                        p[size_t(x) * px] = Sample8(src + x * step, depth);
            }
            if (!progress.Report((int64_t(c) * height + y + 1) * 100 / totalRows))
                return ERROR_USER_ABORT;
        }
    }
    return SUCCESS;
}

}  // namespace

int WritePsd(const BitmapHandle& bmp, const SaveRequest& request, ByteWriter& out,
             Progress& progress);

CodecEntry MakePsdCodec() {
    return CodecEntry{"PSD", FILE_PSD, {FILE_PSD}, {1, 4, 8, 24}, 10,
                      SniffPsd,  ReadPsd,  WritePsd};
}

}  // namespace kivo
