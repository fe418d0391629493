#include <algorithm>
#include <vector>

#include "codecs/PackBits.h"
#include "codecs/PaletteIndex.h"
#include "codecs/psd/Psd.h"

namespace kivo {

namespace {

bool IsBlackAndWhite(const ColorPalette& pal, bool* zeroIsBlack) {
    if (pal.size() < 2) return false;
    auto grey = [](const RgbQuad& q, uint8_t v) {
        return q.Red == v && q.Green == v && q.Blue == v;
    };
    if (grey(pal[0], 0) && grey(pal[1], 255)) {
        *zeroIsBlack = true;
        return true;
    }
    if (grey(pal[0], 255) && grey(pal[1], 0)) {
        *zeroIsBlack = false;
        return true;
    }
    return false;
}

bool IsAllGrey(const ColorPalette& pal) {
    return std::all_of(pal.begin(), pal.end(), [](const RgbQuad& q) {
        return q.Red == q.Green && q.Green == q.Blue;
    });
}

uint8_t IndexAt(const uint8_t* row, int bpp, int x) {
    switch (bpp) {
        case 8: return row[x];
        case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
        default: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
}

void Resource(ByteWriter& out, uint16_t id, const std::vector<uint8_t>& data) {
    out.Text("8BIM");
    out.U16BE(id);
    out.U16BE(0);  // empty Pascal name, padded to even
    out.U32BE(uint32_t(data.size()));
    out.Write(data.data(), data.size());
    if (data.size() & 1) out.U8(0);
}

}  // namespace

int WritePsd(const BitmapHandle& bmp, const SaveRequest& /*request*/, ByteWriter& out,
             Progress& progress) {
    const int width = bmp.Width;
    const int height = bmp.Height;
    if (width > 30000 || height > 30000) return ERROR_IMAGE_TOO_LARGE;
    const int bpp = bmp.BitsPerPixel;

    enum { Bitmap = 0, Grey = 1, Indexed = 2, Rgb = 3 } mode;
    bool zeroIsBlack = false;
    std::vector<RgbQuad> palette(bmp.Palette.begin(), bmp.Palette.end());
    if (bpp <= 8) {
        // Indices past a short palette read black, as everywhere in the library.
        size_t used = size_t(MaxPaletteIndex(bmp)) + 1;
        if (palette.size() < used) palette.resize(used, RgbQuad{});
    }
    if (bpp == 24)
        mode = Rgb;
    else if (bpp == 1 && IsBlackAndWhite(palette, &zeroIsBlack))
        mode = Bitmap;
    else if (IsAllGrey(palette))
        mode = Grey;
    else
        mode = Indexed;
    const int channels = mode == Rgb ? 3 : 1;
    const size_t rowBytes = mode == Bitmap ? (size_t(width) + 7) / 8 : size_t(width);

    out.Text("8BPS");
    out.U16BE(1);
    out.Fill(0, 6);
    out.U16BE(uint16_t(channels));
    out.U32BE(uint32_t(height));
    out.U32BE(uint32_t(width));
    out.U16BE(mode == Bitmap ? 1 : 8);
    out.U16BE(uint16_t(mode));
    if (mode == Indexed) {
        out.U32BE(768);
        uint8_t table[768] = {};
        for (size_t i = 0; i < palette.size() && i < 256; ++i) {
            table[i] = palette[i].Red;
            table[256 + i] = palette[i].Green;
            table[512 + i] = palette[i].Blue;
        }
        out.Write(table, sizeof table);
    } else {
        out.U32BE(0);
    }
    size_t resStart = out.Position();
    out.U32BE(0);
    if (mode == Indexed && palette.size() < 256) {
        uint16_t n = uint16_t(palette.size());
        Resource(out, 1046, {uint8_t(n >> 8), uint8_t(n)});
    }
    size_t resEnd = out.Position();
    out.Seek(resStart);
    out.U32BE(uint32_t(resEnd - resStart - 4));
    out.Seek(resEnd);
    out.U32BE(0);  // no layers: the composite is the document

    // Planar rows of one channel; grey mode stores the palette's grey, not the index.
    std::vector<uint8_t> plane(rowBytes);
    auto channelRow = [&](int c, int y) -> const uint8_t* {
        const uint8_t* src = bmp.Row(y);
        if (mode == Bitmap) {
            // Photoshop's bitmap mode has 1 = black.
            for (size_t i = 0; i < rowBytes; ++i) plane[i] = zeroIsBlack ? uint8_t(~src[i]) : src[i];
            if (width & 7) plane[rowBytes - 1] &= uint8_t(0xFF << (8 - (width & 7)));
        } else if (mode == Rgb) {
            const uint8_t* p = src + (2 - c);
            for (int x = 0; x < width; ++x) plane[size_t(x)] = p[size_t(x) * 3];
        } else if (mode == Grey) {
            for (int x = 0; x < width; ++x) plane[size_t(x)] = palette[IndexAt(src, bpp, x)].Red;
        } else if (bpp == 8) {
            return src;
        } else {
            for (int x = 0; x < width; ++x) plane[size_t(x)] = IndexAt(src, bpp, x);
        }
        return plane.data();
    };

    // PackBits only when it beats the raw planes. A sample of rows decides first, so that a
    // noisy photo is not packed in full only to be thrown away; packing stops (and the raw
    // planes are written) as soon as the packed form stops being smaller.
    const size_t rows = size_t(height) * size_t(channels);
    const size_t rawSize = rows * rowBytes;
    std::vector<uint8_t> scratch(PackBitsBound(rowBytes));
    // Rows pack to at most rowBytes + rowBytes / 128 + 1, and each count is 16 bits.
    bool usePackBits = PackBitsBound(rowBytes) <= 0xFFFF;
    if (usePackBits && height >= 64) {
        size_t sampled = 0, sampledPacked = 0;
        for (int c = 0; c < channels; ++c)
            for (int y = 0; y < height; y += 16) {
                sampledPacked += PackBitsEncode(channelRow(c, y), rowBytes, scratch.data()) + 2;
                sampled += rowBytes;
            }
        usePackBits = sampledPacked < sampled - sampled / 32;
    }
    const size_t start = out.Position();
    if (usePackBits) {
        out.U16BE(1);
        const size_t countsAt = out.Position();
        out.Fill(0, rows * 2);
        size_t total = rows * 2;
        for (int c = 0; c < channels && usePackBits; ++c)
            for (int y = 0; y < height; ++y) {
                const size_t n = PackBitsEncode(channelRow(c, y), rowBytes, scratch.data());
                total += n;
                if (total >= rawSize) {
                    usePackBits = false;
                    break;
                }
                out.Write(scratch.data(), n);
                const size_t at = out.Position();
                out.Seek(countsAt + (size_t(c) * height + y) * 2);
                out.U16BE(uint16_t(n));
                out.Seek(at);
                if (!progress.Report((int64_t(c) * height + y + 1) * 100 / int64_t(rows)))
                    return ERROR_USER_ABORT;
            }
        if (!usePackBits) {
            out.Buffer().resize(start);
            out.Seek(start);
        }
    }
    if (!usePackBits) {
        out.U16BE(0);
        for (int c = 0; c < channels; ++c)
            for (int y = 0; y < height; ++y) {
                out.Write(channelRow(c, y), rowBytes);
                if (!progress.Report((int64_t(c) * height + y + 1) * 100 / int64_t(rows)))
                    return ERROR_USER_ABORT;
            }
    }
    return progress.Finish() ? SUCCESS : ERROR_USER_ABORT;
}

}  // namespace kivo
