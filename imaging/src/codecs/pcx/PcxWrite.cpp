#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "codecs/PaletteIndex.h"
#include "codecs/pcx/Pcx.h"
#include "core/PixelRows.h"

namespace kivo {

namespace {

// Appends one plane row in PCX run-length form; a byte with both top bits set always goes out
// as a run, since alone it would read as a run header.
uint8_t* EncodeRow(const uint8_t* row, size_t n, uint8_t* dst) {
    size_t i = 0;
    while (i < n) {
        const uint8_t v = row[i];
        size_t run = 1;
        while (i + run < n && run < 63 && row[i + run] == v) ++run;
        if (run > 1 || v >= 0xC0) *dst++ = uint8_t(0xC0 | run);
        *dst++ = v;
        i += run;
    }
    return dst;
}

}  // namespace

int WritePcx(const BitmapHandle& bmp, const SaveRequest& /*request*/, ByteWriter& out,
             Progress& progress) {
    const int width = bmp.Width, height = bmp.Height, bpp = bmp.BitsPerPixel;
    if (width > 65535 || height > 65535) return ERROR_IMAGE_TOO_LARGE;
    // 16 and 32 bits go out as 24-bit colour planes (a 16-bit pixel widened, alpha dropped):
    // few readers know a fourth plane.
    const bool colourPlanes = bpp >= 16;
    const int planeBits = colourPlanes ? 8 : bpp == 4 ? 1 : bpp;
    const int planes = colourPlanes ? 3 : bpp == 4 ? 4 : 1;
    const size_t bytesPerLine = ((size_t(width) * planeBits + 15) / 16) * 2;

    ColorPalette pal = bmp.Palette;
    if (bpp <= 8) pal.resize(std::max<size_t>(pal.size(), size_t(1) << bpp), RgbQuad{});

    uint8_t header[128] = {};
    header[0] = 0x0A;
    header[1] = 5;
    header[2] = 1;
    header[3] = uint8_t(planeBits);
    header[8] = uint8_t(width - 1);
    header[9] = uint8_t((width - 1) >> 8);
    header[10] = uint8_t(height - 1);
    header[11] = uint8_t((height - 1) >> 8);
    header[12] = header[14] = 72;
    if (bpp == 1 || bpp == 4) {
        for (int i = 0; i < (1 << bpp); ++i) {
            header[16 + 3 * i] = pal[i].Red;
            header[17 + 3 * i] = pal[i].Green;
            header[18 + 3 * i] = pal[i].Blue;
        }
    }
    header[65] = uint8_t(planes);
    header[66] = uint8_t(bytesPerLine);
    header[67] = uint8_t(bytesPerLine >> 8);
    header[68] = 1;
    out.Write(header, sizeof header);

    std::vector<uint8_t> plane(bytesPerLine * planes);
    std::vector<uint8_t> packed(plane.size() * 2 + 16);
    std::vector<uint8_t> widened(bpp == 16 ? size_t(width) * 3 : 0);
    const std::array<RgbQuad, 256> noPalette{};
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = bmp.Row(y);
        std::fill(plane.begin(), plane.end(), 0);
        if (colourPlanes) {
            if (bpp == 16) {
                ExpandRow<3>(src, 16, width, noPalette, widened.data());
                src = widened.data();
            }
            const int step = bpp == 32 ? 4 : 3;
            uint8_t* r = plane.data();
            uint8_t* g = r + bytesPerLine;
            uint8_t* b = g + bytesPerLine;
            for (int x = 0; x < width; ++x) {
                b[x] = src[step * x];
                g[x] = src[step * x + 1];
                r[x] = src[step * x + 2];
            }
        } else if (bpp == 4) {
            for (int x = 0; x < width; ++x) {
                const int v = (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
                const uint8_t bit = uint8_t(0x80 >> (x & 7));
                for (int p = 0; p < 4; ++p)
                    if (v & (1 << p)) plane[p * bytesPerLine + (x >> 3)] |= bit;
            }
        } else {
            std::memcpy(plane.data(), src, (size_t(width) * bpp + 7) / 8);
            ClearTrailingBits(plane.data(), width, bpp);
        }
        uint8_t* end = packed.data();
        for (int p = 0; p < planes; ++p)
            end = EncodeRow(plane.data() + p * bytesPerLine, bytesPerLine, end);
        out.Write(packed.data(), size_t(end - packed.data()));
        if (!progress.Report(y + 1)) return ERROR_USER_ABORT;
    }

    if (bpp == 8) {
        uint8_t table[769] = {0x0C};
        for (int i = 0; i < 256; ++i) {
            table[1 + 3 * i] = pal[i].Red;
            table[2 + 3 * i] = pal[i].Green;
            table[3 + 3 * i] = pal[i].Blue;
        }
        out.Write(table, sizeof table);
    }
    return SUCCESS;
}

}  // namespace kivo
