#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/tga/Tga.h"
#include "kivo/imaging/File.h"

namespace kivo {

namespace {

struct TgaHeader {
    int IdLength, MapType, Type, MapFirst, MapLength, MapBits, Width, Height, Depth, Descriptor;
};

TgaHeader Parse(const uint8_t* h) {
    auto u16 = [&](int at) { return h[at] | (h[at + 1] << 8); };
    return {h[0], h[1], h[2], u16(3), u16(5), h[7], u16(12), u16(14), h[16], h[17]};
}

// Checks the header alone; returns the offset of the pixel data, or 0 when implausible.
size_t Validate(const TgaHeader& t, size_t size) {
    const int base = t.Type & ~8;
    if (t.Type != base && t.Type != (base | 8)) return 0;
    if (base < 1 || base > 3) return 0;
    if (t.Width == 0 || t.Height == 0) return 0;
    if ((t.Descriptor & 0xC0) != 0 || (t.Descriptor & 15) > 8) return 0;
    if (t.MapType > 1) return 0;
    size_t mapBytes = 0;
    if (t.MapType == 1) {
        if (t.MapBits != 15 && t.MapBits != 16 && t.MapBits != 24 && t.MapBits != 32) return 0;
        mapBytes = size_t(t.MapLength) * ((t.MapBits + 7) / 8);
    } else if (t.MapLength != 0 || t.MapFirst != 0) {
        return 0;
    }
    if (base == 1 && (t.MapType != 1 || t.Depth != 8 || t.MapLength == 0)) return 0;
    if (base == 2 && t.Depth != 15 && t.Depth != 16 && t.Depth != 24 && t.Depth != 32) return 0;
    if (base == 3 && t.Depth != 8) return 0;
    const size_t offset = 18 + size_t(t.IdLength) + mapBytes;
    if (offset >= size) return 0;
    if (!(t.Type & 8)) {
        const size_t need = size_t(t.Width) * t.Height * ((t.Depth + 7) / 8);
        if (size - offset < need) return 0;
    }
    return offset;
}

bool SniffTga(const uint8_t* head, size_t size) {
    return size > 18 && Validate(Parse(head), size) != 0;
}

int ReadTga(ByteReader& in, BitmapHandle& out, Progress& progress) {
    const uint8_t* data = in.Data();
    const size_t size = in.Length();
    if (size <= 18) return ERROR_FILE_CORRUPT;
    const TgaHeader t = Parse(data);
    const size_t offset = Validate(t, size);
    if (!offset) return ERROR_FILE_CORRUPT;
    const int base = t.Type & ~8;
    const int pixelBytes = (t.Depth + 7) / 8;
    const int outBpp = base == 2 ? (t.Depth == 15 ? 16 : t.Depth) : 8;
    int rc = AllocateChecked(out, t.Width, t.Height, outBpp);
    if (rc != SUCCESS) return rc;

    if (base == 3) {
        out.Palette.resize(256);
        for (int i = 0; i < 256; ++i) out.Palette[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
    } else if (base == 1) {
        out.Palette.assign(256, RgbQuad{});  // indices outside the map read black
        const uint8_t* m = data + 18 + t.IdLength;
        const int entryBytes = (t.MapBits + 7) / 8;
        for (int i = 0; i < t.MapLength; ++i) {
            const int index = t.MapFirst + i;
            if (index > 255) break;
            const uint8_t* e = m + size_t(i) * entryBytes;
            RgbQuad& q = out.Palette[index];
            if (entryBytes == 2) {
                const int v = e[0] | (e[1] << 8);
                auto expand = [](int c) { return uint8_t((c << 3) | (c >> 2)); };
                q.Blue = expand(v & 31);
                q.Green = expand((v >> 5) & 31);
                q.Red = expand((v >> 10) & 31);
            } else {
                q.Blue = e[0];
                q.Green = e[1];
                q.Red = e[2];
            }
        }
    }

    const bool rightToLeft = t.Descriptor & 0x10;
    const bool topDown = t.Descriptor & 0x20;
    const bool opaque32 = t.Depth == 32 && (t.Descriptor & 15) == 0;
    const size_t rowBytes = size_t(t.Width) * pixelBytes;
    std::vector<uint8_t> row(rowBytes);
    const uint8_t* p = data + offset;
    const uint8_t* end = data + size;
    int runLeft = 0;    // pixels left in the current RLE packet
    bool runRepeat = false;
    uint8_t runPixel[4] = {};

    for (int y = 0; y < t.Height; ++y) {
        const uint8_t* src;
        if (!(t.Type & 8)) {
            src = p;
            p += rowBytes;
        } else {
            for (int x = 0; x < t.Width;) {
                if (runLeft == 0) {
                    if (p >= end) return ERROR_FILE_CORRUPT;
                    const uint8_t header = *p++;
                    runLeft = (header & 0x7F) + 1;
                    runRepeat = header & 0x80;
                    if (runRepeat) {
                        if (end - p < pixelBytes) return ERROR_FILE_CORRUPT;
                        std::memcpy(runPixel, p, pixelBytes);
                        p += pixelBytes;
                    }
                }
                const int n = std::min(runLeft, t.Width - x);
                uint8_t* d = row.data() + size_t(x) * pixelBytes;
                if (runRepeat) {
                    for (int i = 0; i < n; ++i) std::memcpy(d + i * pixelBytes, runPixel, pixelBytes);
                } else {
                    if (end - p < ptrdiff_t(n) * pixelBytes) return ERROR_FILE_CORRUPT;
                    std::memcpy(d, p, size_t(n) * pixelBytes);
                    p += size_t(n) * pixelBytes;
                }
                x += n;
                runLeft -= n;
            }
            src = row.data();
        }
        uint8_t* dst = out.Row(topDown ? y : t.Height - 1 - y);
        if (!rightToLeft) {
            std::memcpy(dst, src, rowBytes);
        } else {
            for (int x = 0; x < t.Width; ++x)
                std::memcpy(dst + size_t(t.Width - 1 - x) * pixelBytes, src + size_t(x) * pixelBytes,
                            pixelBytes);
        }
        if (outBpp == 16) {
            for (int x = 0; x < t.Width; ++x) dst[2 * x + 1] &= 0x7F;
        } else if (opaque32) {
            for (int x = 0; x < t.Width; ++x) dst[4 * x + 3] = 255;
        }
        if (!progress.Report(y + 1)) return ERROR_USER_ABORT;
    }
    return SUCCESS;
}

int WriteTga(const BitmapHandle& bmp, const SaveRequest& /*request*/, ByteWriter& out,
             Progress& progress) {
    const int width = bmp.Width, height = bmp.Height, bpp = bmp.BitsPerPixel;
    if (width > 65535 || height > 65535) return ERROR_IMAGE_TOO_LARGE;
    const bool grey = bpp == 8 && bmp.Palette.size() == 256 && IsGreyRampPalette(bmp.Palette);
    const bool mapped = bpp == 8 && !grey;
    ColorPalette pal = bmp.Palette;
    if (mapped) pal.resize(256, RgbQuad{});

    uint8_t h[18] = {};
    h[1] = mapped ? 1 : 0;
    h[2] = mapped ? 1 : grey ? 3 : 2;
    if (mapped) {
        h[5] = 0;  // 256 entries
        h[6] = 1;
        h[7] = 24;
    }
    h[12] = uint8_t(width);
    h[13] = uint8_t(width >> 8);
    h[14] = uint8_t(height);
    h[15] = uint8_t(height >> 8);
    h[16] = uint8_t(bpp);
    h[17] = uint8_t(0x20 | (bpp == 32 ? 8 : 0));
    out.Write(h, sizeof h);
    if (mapped)
        for (const RgbQuad& q : pal) {
            const uint8_t e[3] = {q.Blue, q.Green, q.Red};
            out.Write(e, 3);
        }
    const size_t rowBytes = size_t(width) * (bpp / 8);
    std::vector<uint8_t> row(rowBytes);
    for (int y = 0; y < height; ++y) {
        if (bpp == 16) {
            std::memcpy(row.data(), bmp.Row(y), rowBytes);
            for (int x = 0; x < width; ++x) row[2 * x + 1] &= 0x7F;
            out.Write(row.data(), rowBytes);
        } else {
            out.Write(bmp.Row(y), rowBytes);
        }
        if (!progress.Report(y + 1)) return ERROR_USER_ABORT;
    }
    return SUCCESS;
}

}  // namespace

CodecEntry MakeTgaCodec() {
    return CodecEntry{"TGA", FILE_TGA, {FILE_TGA}, {8, 16, 24, 32}, 1000,
                      SniffTga, ReadTga, WriteTga};
}

}  // namespace kivo
