#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/PaletteIndex.h"
#include "codecs/bmp/Bmp.h"
#include "core/HugePages.h"

namespace kivo {

int WriteBmp(const BitmapHandle& bmp, const SaveRequest& /*request*/, ByteWriter& out,
             Progress& progress) {
    const int bpp = bmp.BitsPerPixel;
    const int width = bmp.Width, height = bmp.Height;
    const uint32_t stride = uint32_t(BytesPerLineFor(width, bpp));

    ColorPalette palette;
    if (bpp <= 8) {
        palette = bmp.Palette;
        const size_t needed = size_t(MaxPaletteIndex(bmp)) + 1;
        if (palette.size() > (1u << bpp)) palette.resize(1u << bpp);
        if (palette.size() < needed) palette.resize(needed, RgbQuad{0, 0, 0, 0});
    }
    const uint64_t imageSize = uint64_t(stride) * uint64_t(height);
    const uint32_t pixelOffset = uint32_t(14 + 40 + 4 * palette.size());
    if (pixelOffset + imageSize > 0xFFFFFFFFu) return ERROR_IMAGE_TOO_LARGE;

    out.Buffer().reserve(out.Position() + pixelOffset + size_t(imageSize));
    AdviseHugePages(out.Buffer().data() + out.Buffer().size(),
                    out.Buffer().capacity() - out.Buffer().size());
    out.Text("BM");
    out.U32LE(uint32_t(pixelOffset + imageSize));
    out.U32LE(0);
    out.U32LE(pixelOffset);
    out.U32LE(40);
    out.U32LE(uint32_t(width));
    out.U32LE(uint32_t(height));  // positive: rows stored bottom-up
    out.U16LE(1);
    out.U16LE(uint16_t(bpp));
    out.U32LE(0);  // BI_RGB
    out.U32LE(uint32_t(imageSize));
    out.U32LE(2835);  // 72 dpi in pixels per metre
    out.U32LE(2835);
    out.U32LE(uint32_t(palette.size()));
    out.U32LE(0);
    for (const RgbQuad& c : palette) {
        const uint8_t entry[4] = {c.Blue, c.Green, c.Red, 0};
        out.Write(entry, 4);
    }

    // Rows are staged so that padding and bits past the width are zero, not leftover memory.
    const size_t usedBytes = (size_t(width) * size_t(bpp) + 7) / 8;
    std::vector<uint8_t> row(stride, 0);
    for (int i = 0; i < height; ++i) {
        const uint8_t* src = bmp.Row(height - 1 - i);
        std::memcpy(row.data(), src, usedBytes);
        if (bpp < 8) ClearTrailingBits(row.data(), width, bpp);
        if (bpp == 16)
            for (int x = 0; x < width; ++x) row[2 * size_t(x) + 1] &= 0x7F;
        out.Write(row.data(), stride);
        if (!progress.Report(int64_t(i + 1) * 100 / height)) return ERROR_USER_ABORT;
    }
    return SUCCESS;
}

}  // namespace kivo
