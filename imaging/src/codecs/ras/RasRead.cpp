#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/ras/Ras.h"
#include "kivo/imaging/File.h"

namespace kivo {

namespace {

constexpr uint32_t RasMagic = 0x59A66A95;

bool SniffRas(const uint8_t* head, size_t size) {
    return size >= 32 && head[0] == 0x59 && head[1] == 0xA6 && head[2] == 0x6A && head[3] == 0x95;
}

int ReadRas(ByteReader& in, BitmapHandle& out, Progress& progress) {
    if (in.U32BE() != RasMagic) return ERROR_FILE_FORMAT;
    const uint32_t width = in.U32BE(), height = in.U32BE(), depth = in.U32BE();
    const uint32_t length = in.U32BE(), type = in.U32BE(), mapType = in.U32BE();
    const uint32_t mapLength = in.U32BE();
    if (in.Failed()) return ERROR_FILE_CORRUPT;
    if (type > 3) return ERROR_FEATURE_NOT_SUPPORTED;
    if (depth != 1 && depth != 8 && depth != 24 && depth != 32) return ERROR_FEATURE_NOT_SUPPORTED;
    if (mapType > 2) return ERROR_FILE_CORRUPT;
    if (width == 0 || height == 0 || width > 0x7FFFFFF || height > 0x7FFFFFF)
        return ERROR_FILE_CORRUPT;
    const uint8_t* map = in.Take(mapLength);
    if (!map) return ERROR_FILE_CORRUPT;

    const int outBpp = depth == 1 ? 1 : depth == 8 ? 8 : int(depth);
    int rc = AllocateChecked(out, width, height, outBpp);
    if (rc != SUCCESS) return rc;
    if (depth <= 8) {
        const size_t entries = size_t(1) << depth;
        out.Palette.assign(entries, RgbQuad{});
        if (mapType == 1 && mapLength >= 3) {
            const size_t n = std::min<size_t>(mapLength / 3, entries);
            for (size_t i = 0; i < n; ++i)
                out.Palette[i] = {map[2 * (mapLength / 3) + i], map[mapLength / 3 + i], map[i], 0};
        } else if (depth == 1) {
            out.Palette = {RgbQuad{255, 255, 255, 0}, RgbQuad{0, 0, 0, 0}};
        } else {
            for (size_t i = 0; i < entries; ++i)
                out.Palette[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
        }
    }

    const size_t rowBytes = ((size_t(width) * depth + 15) / 16) * 2;
    const int pixelBytes = int(depth / 8);
    std::vector<uint8_t> row(rowBytes);
    const size_t dataSize = in.Remaining();
    const uint8_t* p = in.Take(dataSize);
    const uint8_t* end = p + dataSize;
    // RLE state: a run of `runLeft` copies of `runValue` may continue into the next row.
    size_t runLeft = 0;
    uint8_t runValue = 0;
    (void)length;  // often zero or wrong in old files; the data's own end is what counts
    bool anyAlpha = false;

    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* src;
        if (type != 2) {
            if (size_t(end - p) < rowBytes) return ERROR_FILE_CORRUPT;
            src = p;
            p += rowBytes;
        } else {
            size_t i = 0;
            while (i < rowBytes) {
                if (runLeft) {
                    const size_t k = std::min(runLeft, rowBytes - i);
                    std::memset(row.data() + i, runValue, k);
                    i += k;
                    runLeft -= k;
                    continue;
                }
                if (p >= end) return ERROR_FILE_CORRUPT;
                const uint8_t b = *p++;
                if (b != 0x80) {
                    row[i++] = b;
                    continue;
                }
                if (p >= end) return ERROR_FILE_CORRUPT;
                const uint8_t n = *p++;
                if (n == 0) {
                    row[i++] = 0x80;
                    continue;
                }
                if (p >= end) return ERROR_FILE_CORRUPT;
                runValue = *p++;
                runLeft = size_t(n) + 1;
            }
            src = row.data();
        }
        uint8_t* dst = out.Row(int(y));
        if (depth == 1 && mapType == 1 && mapLength >= 6) {
            // With a map, a set bit still means the first ("black") entry, as the format's
            // readers take it.
            for (size_t i = 0; i < (size_t(width) + 7) / 8; ++i) dst[i] = uint8_t(~src[i]);
        } else if (depth <= 8) {
            std::memcpy(dst, src, (size_t(width) * depth + 7) / 8);
        } else {
            // Types 0-2 store B,G,R (after the pad byte at 32 bits); type 3 stores R,G,B.
            const int off = depth == 32 ? 1 : 0;
            const bool rgb = type == 3;
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t* s = src + size_t(x) * pixelBytes;
                uint8_t* d = dst + size_t(x) * pixelBytes;
                d[0] = rgb ? s[off + 2] : s[off];
                d[1] = s[off + 1];
                d[2] = rgb ? s[off] : s[off + 2];
                if (depth == 32) {
                    d[3] = s[0];
                    anyAlpha |= s[0] != 0;
                }
            }
        }
        if (!progress.Report(y + 1)) return ERROR_USER_ABORT;
    }
    if (depth == 32 && !anyAlpha)
        for (int y = 0; y < out.Height; ++y) {
            uint8_t* d = out.Row(y);
            for (int x = 0; x < out.Width; ++x) d[4 * x + 3] = 255;
        }
    return SUCCESS;
}

bool IsBlackWhite(const ColorPalette& pal, bool* zeroIsWhite) {
    if (pal.size() < 2) return false;
    const RgbQuad black{0, 0, 0, 0}, white{255, 255, 255, 0};
    auto same = [](const RgbQuad& a, const RgbQuad& b) {
        return a.Red == b.Red && a.Green == b.Green && a.Blue == b.Blue;
    };
    if (same(pal[0], white) && same(pal[1], black)) return *zeroIsWhite = true;
    if (same(pal[0], black) && same(pal[1], white)) {
        *zeroIsWhite = false;
        return true;
    }
    return false;
}

int WriteRas(const BitmapHandle& bmp, const SaveRequest& /*request*/, ByteWriter& out,
             Progress& progress) {
    const int width = bmp.Width, height = bmp.Height, bpp = bmp.BitsPerPixel;
    const int depth = bpp == 4 ? 8 : bpp;
    ColorPalette pal = bmp.Palette;
    if (bpp <= 8) pal.resize(std::max<size_t>(pal.size(), size_t(1) << bpp), RgbQuad{});
    pal.resize(bpp <= 8 ? size_t(1) << bpp : 0);
    bool zeroIsWhite = false;
    // Black and white goes without a map in the format's own sense (1 = black); the bits are
    // inverted when our palette has 0 = black.
    const bool bw = bpp == 1 && IsBlackWhite(pal, &zeroIsWhite);
    // With a map, a set bit selects the first entry (as readers take it), so bits are inverted.
    const bool invert = bpp == 1 && (!bw || !zeroIsWhite);
    const size_t mapEntries = bpp <= 8 && !bw ? pal.size() : 0;
    const size_t rowBytes = ((size_t(width) * depth + 15) / 16) * 2;

    out.U32BE(RasMagic);
    out.U32BE(uint32_t(width));
    out.U32BE(uint32_t(height));
    out.U32BE(uint32_t(depth));
    out.U32BE(uint32_t(rowBytes * height));
    out.U32BE(1);
    out.U32BE(mapEntries ? 1 : 0);
    out.U32BE(uint32_t(mapEntries * 3));
    for (int c = 0; c < 3; ++c)
        for (size_t i = 0; i < mapEntries; ++i)
            out.U8(c == 0 ? pal[i].Red : c == 1 ? pal[i].Green : pal[i].Blue);

    std::vector<uint8_t> row(rowBytes, 0);
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = bmp.Row(y);
        switch (bpp) {
            case 1: {
                const size_t n = (size_t(width) + 7) / 8;
                for (size_t i = 0; i < n; ++i) row[i] = invert ? uint8_t(~src[i]) : src[i];
                if (width & 7) row[n - 1] &= uint8_t(0xFF << (8 - (width & 7)));
                break;
            }
            case 4:
                for (int x = 0; x < width; ++x) row[x] = (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
                break;
            case 8: std::memcpy(row.data(), src, size_t(width)); break;
            case 24: std::memcpy(row.data(), src, size_t(width) * 3); break;
            case 32:
                for (int x = 0; x < width; ++x) {
                    row[4 * x] = src[4 * x + 3];
                    row[4 * x + 1] = src[4 * x];
                    row[4 * x + 2] = src[4 * x + 1];
                    row[4 * x + 3] = src[4 * x + 2];
                }
                break;
        }
        out.Write(row.data(), rowBytes);
        if (!progress.Report(y + 1)) return ERROR_USER_ABORT;
    }
    return SUCCESS;
}

}  // namespace

CodecEntry MakeRasCodec() {
    return CodecEntry{"RAS", FILE_RAS, {FILE_RAS}, {1, 4, 8, 24, 32}, 10,
                      SniffRas, ReadRas, WriteRas};
}

}  // namespace kivo
