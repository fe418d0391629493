#include <array>
#include <cstdio>
#include <vector>

#include "codecs/pnm/Pnm.h"
#include "core/HugePages.h"
#include "core/PixelRows.h"
#include "core/Swizzle.h"

namespace kivo {
namespace {

bool IsBlackOrWhite(const RgbQuad& c) {
    return (c.Red == 0 && c.Green == 0 && c.Blue == 0) ||
           (c.Red == 255 && c.Green == 255 && c.Blue == 255);
}

}  // namespace

int WritePnm(const BitmapHandle& bmp, const SaveRequest& /*request*/, ByteWriter& out,
             Progress& progress) {
    const int bpp = bmp.BitsPerPixel, width = bmp.Width, height = bmp.Height;
    const std::array<RgbQuad, 256> palette = PaddedPalette(bmp.Palette);
    const int entries = bpp <= 8 ? 1 << bpp : 0;
    bool grey = bpp <= 8, blackWhite = bpp == 1;
    for (int i = 0; i < entries; ++i) {
        const RgbQuad& c = palette[size_t(i)];
        grey = grey && c.Red == c.Green && c.Green == c.Blue;
        blackWhite = blackWhite && IsBlackOrWhite(c);
    }
    const int kind = blackWhite ? 4 : grey ? 5 : 6;
    const size_t rowBytes = kind == 4 ? size_t(width + 7) / 8
                                      : size_t(width) * (kind == 5 ? 1 : 3);
    char header[64];
    const int headerSize = std::snprintf(header, sizeof header, kind == 4 ? "P%d\n%d %d\n" : "P%d\n%d %d\n255\n", kind, width, height);
    out.SeekEnd();
    out.Buffer().reserve(out.Buffer().size() + size_t(headerSize) + rowBytes * size_t(height));
    AdviseHugePages(out.Buffer().data() + out.Buffer().size(),
                    out.Buffer().capacity() - out.Buffer().size());
    out.Write(header, size_t(headerSize));

    std::vector<uint8_t> line(rowBytes);
    std::vector<uint8_t> bgr(kind == 6 && bpp != 24 ? size_t(width) * 3 : 0);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bmp.Row(y);
        if (kind == 4) {
            // A set bit is black, whichever index holds black.
            const bool black0 = palette[0].Red == 0, black1 = palette[1].Red == 0;
            for (size_t i = 0; i < rowBytes; ++i)
                line[i] = black0 == black1 ? (black0 ? 0xFF : 0x00)
                                           : uint8_t(black1 ? row[i] : ~row[i]);
            if (width % 8) line[rowBytes - 1] &= uint8_t(0xFF << (8 - width % 8));
        } else if (kind == 5) {
            for (int x = 0; x < width; ++x) {
                int index = bpp == 8   ? row[x]
                            : bpp == 4 ? (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15
                                       : (row[x >> 3] >> (7 - (x & 7))) & 1;
                line[size_t(x)] = palette[size_t(index)].Red;
            }
        } else {
            const uint8_t* p = row;
            if (bpp != 24) {
                ExpandRow<3>(row, bpp, width, palette, bgr.data());
                p = bgr.data();
            }
            SwapRedBlue24(p, line.data(), size_t(width));
        }
        // Appending to the reserved buffer copies once; ByteWriter::Write would zero-fill first.
        std::vector<uint8_t>& buffer = out.Buffer();
        buffer.insert(buffer.end(), line.begin(), line.end());
        out.SeekEnd();
        if ((y & 63) == 63 && !progress.Report(int64_t(y + 1) * 100 / height))
            return ERROR_USER_ABORT;
    }
    return SUCCESS;
}

}  // namespace kivo
