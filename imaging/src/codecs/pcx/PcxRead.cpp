#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/pcx/Pcx.h"
#include "kivo/imaging/File.h"

namespace kivo {

namespace {

constexpr uint8_t DcxMagic[4] = {0xB1, 0x68, 0xDE, 0x3A};

bool PlausiblePcxHeader(const uint8_t* h, size_t size) {
    if (size < 128 || h[0] != 0x0A) return false;
    const uint8_t version = h[1], encoding = h[2], bpp = h[3], planes = h[65];
    if (version != 0 && version != 2 && version != 3 && version != 4 && version != 5) return false;
    if (encoding > 1) return false;
    if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8) return false;
    if (planes < 1 || planes > 4) return false;
    const int xmin = h[4] | (h[5] << 8), ymin = h[6] | (h[7] << 8);
    const int xmax = h[8] | (h[9] << 8), ymax = h[10] | (h[11] << 8);
    return xmax >= xmin && ymax >= ymin && (h[66] | (h[67] << 8)) != 0;
}

// Decodes PCX run-length data as one stream, row after row: some writers let a run continue
// into the next row, so the pending run is kept between calls.
class PcxRle {
public:
    PcxRle(const uint8_t* data, size_t size, bool packed) : Data(data), Size(size), Packed(packed) {}
    bool Row(uint8_t* dst, size_t n) {
        if (!Packed) {
            if (Size - Pos < n) return false;
            std::memcpy(dst, Data + Pos, n);
            Pos += n;
            return true;
        }
        size_t i = 0;
        while (i < n) {
            if (RunLeft) {
                size_t k = std::min(size_t(RunLeft), n - i);
                std::memset(dst + i, RunValue, k);
                i += k;
                RunLeft -= int(k);
                continue;
            }
            if (Pos >= Size) return false;
            uint8_t b = Data[Pos++];
            if ((b & 0xC0) == 0xC0) {
                if (Pos >= Size) return false;
                RunLeft = b & 0x3F;
                RunValue = Data[Pos++];
            } else {
                dst[i++] = b;
            }
        }
        return true;
    }

private:
    const uint8_t* Data;
    size_t Size;
    bool Packed;
    size_t Pos = 0;
    int RunLeft = 0;
    uint8_t RunValue = 0;
};

ColorPalette HeaderPalette(const uint8_t* h, int count) {
    ColorPalette pal(count);
    for (int i = 0; i < count; ++i) {
        pal[i].Red = h[16 + 3 * i];
        pal[i].Green = h[17 + 3 * i];
        pal[i].Blue = h[18 + 3 * i];
    }
    return pal;
}

int ReadPcxImage(const uint8_t* data, size_t size, BitmapHandle& out, Progress& progress) {
    if (!PlausiblePcxHeader(data, size)) return ERROR_FILE_CORRUPT;
    const uint8_t* h = data;
    const int bpp = h[3], planes = h[65];
    const int width = (h[8] | (h[9] << 8)) - (h[4] | (h[5] << 8)) + 1;
    const int height = (h[10] | (h[11] << 8)) - (h[6] | (h[7] << 8)) + 1;
    const size_t bytesPerLine = h[66] | (h[67] << 8);
    if (bytesPerLine * 8 < size_t(width) * bpp) return ERROR_FILE_CORRUPT;

    int outBpp;
    if (bpp == 1 && planes == 1)
        outBpp = 1;
    else if ((bpp == 1 && planes <= 4) || ((bpp == 2 || bpp == 4) && planes == 1))
        outBpp = 4;
    else if (bpp == 8 && planes == 1)
        outBpp = 8;
    else if (bpp == 8 && planes == 3)
        outBpp = 24;
    else if (bpp == 8 && planes == 4)
        outBpp = 32;
    else
        return ERROR_FEATURE_NOT_SUPPORTED;

    int rc = AllocateChecked(out, width, height, outBpp);
    if (rc != SUCCESS) return rc;

    if (outBpp == 1) {
        out.Palette = HeaderPalette(h, 2);
        if (out.Palette[0] == out.Palette[1])
            out.Palette = {RgbQuad{0, 0, 0, 0}, RgbQuad{255, 255, 255, 0}};
    } else if (outBpp == 4) {
        out.Palette = HeaderPalette(h, bpp == 1 ? 1 << planes : 1 << bpp);
    } else if (outBpp == 8) {
        out.Palette.resize(256);
        if (size >= 128 + 769 && data[size - 769] == 0x0C) {
            const uint8_t* p = data + size - 768;
            for (int i = 0; i < 256; ++i) out.Palette[i] = {p[3 * i + 2], p[3 * i + 1], p[3 * i], 0};
        } else {
            for (int i = 0; i < 256; ++i)
                out.Palette[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
        }
    }

    PcxRle rle(data + 128, size - 128, h[2] == 1);
    std::vector<uint8_t> scan(bytesPerLine * planes);
    for (int y = 0; y < height; ++y) {
        if (!rle.Row(scan.data(), scan.size())) return ERROR_FILE_CORRUPT;
        uint8_t* dst = out.Row(y);
        const uint8_t* s = scan.data();
        switch (outBpp) {
            case 1:
            case 8: std::memcpy(dst, s, (size_t(width) * outBpp + 7) / 8); break;
            case 4:
                std::memset(dst, 0, out.BytesPerLine);
                if (bpp == 4) {
                    std::memcpy(dst, s, (size_t(width) + 1) / 2);
                } else if (bpp == 2) {
                    for (int x = 0; x < width; ++x) {
                        int v = (s[x >> 2] >> (6 - 2 * (x & 3))) & 3;
                        dst[x >> 1] |= uint8_t(v << ((x & 1) ? 0 : 4));
                    }
                } else {
                    for (int x = 0; x < width; ++x) {
                        int v = 0;
                        for (int p = 0; p < planes; ++p)
                            v |= ((s[p * bytesPerLine + (x >> 3)] >> (7 - (x & 7))) & 1) << p;
                        dst[x >> 1] |= uint8_t(v << ((x & 1) ? 0 : 4));
                    }
                }
                break;
            case 24:
                for (int x = 0; x < width; ++x) {
                    dst[3 * x] = s[2 * bytesPerLine + x];
                    dst[3 * x + 1] = s[bytesPerLine + x];
                    dst[3 * x + 2] = s[x];
                }
                break;
            case 32:
                for (int x = 0; x < width; ++x) {
                    dst[4 * x] = s[2 * bytesPerLine + x];
                    dst[4 * x + 1] = s[bytesPerLine + x];
                    dst[4 * x + 2] = s[x];
                    dst[4 * x + 3] = s[3 * bytesPerLine + x];
                }
                break;
        }
        if (!progress.Report(y + 1)) return ERROR_USER_ABORT;
    }
    return SUCCESS;
}

bool SniffPcx(const uint8_t* head, size_t size) {
    if (size >= 8 && std::memcmp(head, DcxMagic, 4) == 0) return true;
    return PlausiblePcxHeader(head, size);
}

}  // namespace

int ReadPcx(ByteReader& in, BitmapHandle& out, Progress& progress) {
    const uint8_t* data = in.Data();
    const size_t size = in.Length();
    if (size >= 8 && std::memcmp(data, DcxMagic, 4) == 0) {
        // DCX: a table of page offsets; the first page is the picture.
        const auto u32 = [&](size_t at) {
            return uint32_t(data[at]) | (uint32_t(data[at + 1]) << 8) |
                   (uint32_t(data[at + 2]) << 16) | (uint32_t(data[at + 3]) << 24);
        };
        const size_t first = u32(4);
        if (first < 8 || first >= size) return ERROR_FILE_CORRUPT;
        size_t end = size;
        if (size >= 12) {
            size_t next = u32(8);
            if (next > first && next < size) end = next;
        }
        return ReadPcxImage(data + first, end - first, out, progress);
    }
    return ReadPcxImage(data, size, out, progress);
}

CodecEntry MakePcxCodec() {
    return CodecEntry{"PCX", FILE_PCX, {FILE_PCX}, {1, 4, 8, 16, 24, 32}, 30, SniffPcx, ReadPcx, WritePcx};
}

}  // namespace kivo
