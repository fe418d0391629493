#include <algorithm>
#include <vector>

#include "codecs/PackBits.h"
#include "codecs/PaletteIndex.h"
#include "codecs/pict/Pict.h"

namespace kivo {

namespace {

constexpr uint32_t Dpi72 = 0x00480000;  // 72.0 in 16.16 fixed point

void Rect(ByteWriter& out, int top, int left, int bottom, int right) {
    out.U16BE(uint16_t(top));
    out.U16BE(uint16_t(left));
    out.U16BE(uint16_t(bottom));
    out.U16BE(uint16_t(right));
}

void PixMapFields(ByteWriter& out, int rowBytes, int width, int height, int left, int packType,
                  int pixelType, int pixelSize, int cmpCount, int cmpSize) {
    out.U16BE(uint16_t(rowBytes | 0x8000));
    Rect(out, 0, left, height, left + width);
    out.U16BE(0);  // version
    out.U16BE(uint16_t(packType));
    out.U32BE(0);  // pack size
    out.U32BE(Dpi72);
    out.U32BE(Dpi72);
    out.U16BE(uint16_t(pixelType));
    out.U16BE(uint16_t(pixelSize));
    out.U16BE(uint16_t(cmpCount));
    out.U16BE(uint16_t(cmpSize));
    out.U32BE(0);  // plane bytes
    out.U32BE(0);  // colour table handle
    out.U32BE(0);  // reserved
}

// A row as QuickDraw stores it: raw below 8 bytes, else a byte count (a word above 250 bytes)
// and the PackBits data.
void PackedRow(ByteWriter& out, const uint8_t* row, size_t len, int rowBytes,
               std::vector<uint8_t>& scratch) {
    if (rowBytes < 8) {
        out.Write(row, len);
        return;
    }
    size_t n = PackBitsEncode(row, len, scratch.data());
    if (rowBytes > 250)
        out.U16BE(uint16_t(n));
    else
        out.U8(uint8_t(n));
    out.Write(scratch.data(), n);
}

}  // namespace

int WritePict(const BitmapHandle& bmp, const SaveRequest& /*request*/, ByteWriter& out,
              Progress& progress) {
    const int width = bmp.Width;
    const int height = bmp.Height;
    const int bpp = bmp.BitsPerPixel;
    if (width > 32767 || height > 32767) return ERROR_IMAGE_TOO_LARGE;

    out.Fill(0, 512);
    const size_t start = out.Position();
    out.U16BE(0);  // picture size, patched below
    Rect(out, 0, 0, height, width);
    out.U16BE(0x0011);
    out.U16BE(0x02FF);
    out.U16BE(0x0C00);
    out.U16BE(0xFFFE);  // extended version 2 header
    out.U16BE(0);
    out.U32BE(Dpi72);
    out.U32BE(Dpi72);
    Rect(out, 0, 0, height, width);
    out.U32BE(0);
    out.U16BE(0x001E);  // default highlight
    out.U16BE(0x0001);  // clip region: the whole frame
    out.U16BE(10);
    Rect(out, 0, 0, height, width);

    if (bpp <= 8) {
        const int rowBytes = ((width * bpp + 15) / 16) * 2;
        if (rowBytes > 0x3FFF) return ERROR_IMAGE_TOO_LARGE;
        ColorPalette palette = bmp.Palette;
        size_t used = size_t(MaxPaletteIndex(bmp)) + 1;
        if (palette.size() < used) palette.resize(used, RgbQuad{});
        palette.resize(std::min<size_t>(palette.size(), size_t(1) << bpp));
        out.U16BE(0x0098);
        PixMapFields(out, rowBytes, width, height, 0, 0, 0, bpp, 1, bpp);
        out.U32BE(0);  // seed
        out.U16BE(0);  // flags
        out.U16BE(uint16_t(palette.size() - 1));
        for (size_t i = 0; i < palette.size(); ++i) {
            out.U16BE(uint16_t(i));
            out.U16BE(uint16_t(palette[i].Red * 257));
            out.U16BE(uint16_t(palette[i].Green * 257));
            out.U16BE(uint16_t(palette[i].Blue * 257));
        }
        Rect(out, 0, 0, height, width);
        Rect(out, 0, 0, height, width);
        out.U16BE(0);  // srcCopy
        std::vector<uint8_t> row(size_t(rowBytes), 0);
        std::vector<uint8_t> scratch(PackBitsBound(row.size()));
        const size_t used8 = (size_t(width) * bpp + 7) / 8;
        for (int y = 0; y < height; ++y) {
            std::copy(bmp.Row(y), bmp.Row(y) + used8, row.begin());
            if ((width * bpp) & 7) row[used8 - 1] &= uint8_t(0xFF << (8 - ((width * bpp) & 7)));
            PackedRow(out, row.data(), row.size(), rowBytes, scratch);
            if (!progress.Report(int64_t(y + 1) * 100 / height)) return ERROR_USER_ABORT;
        }
    } else {
        // Bands of at most 4000 columns keep each row within the 14-bit row length.
        constexpr int BandWidth = 4000;
        for (int left = 0; left < width; left += BandWidth) {
            const int w = std::min(BandWidth, width - left);
            // Rows under 8 bytes would be stored unpacked, which some readers get wrong; a padded
            // row length keeps every row packed.
            const int rowBytes = std::max(w * 4, 8);
            if (out.Position() & 1) out.U8(0);
            out.U16BE(0x009A);
            out.U32BE(0x000000FF);  // base address, unused in files
            PixMapFields(out, rowBytes, w, height, left, 4, 16, 32, 3, 8);
            Rect(out, 0, left, height, left + w);
            Rect(out, 0, left, height, left + w);
            out.U16BE(0);
            std::vector<uint8_t> row(size_t(w) * 3);
            std::vector<uint8_t> scratch(PackBitsBound(row.size()));
            for (int y = 0; y < height; ++y) {
                const uint8_t* src = bmp.Row(y) + size_t(left) * 3;
                uint8_t* r = row.data();
                uint8_t* g = r + w;
                uint8_t* b = g + w;
                for (int x = 0; x < w; ++x) {
                    b[x] = src[x * 3];
                    g[x] = src[x * 3 + 1];
                    r[x] = src[x * 3 + 2];
                }
                PackedRow(out, row.data(), row.size(), rowBytes, scratch);
                if (!progress.Report((int64_t(left) * height + int64_t(y + 1) * w) * 100 /
                                     (int64_t(width) * height)))
                    return ERROR_USER_ABORT;
            }
        }
    }
    if (out.Position() & 1) out.U8(0);
    out.U16BE(0x00FF);
    const size_t end = out.Position();
    out.Seek(start);
    out.U16BE(uint16_t(end - start));  // only the low 16 bits fit; readers go by the end opcode
    out.Seek(end);
    return SUCCESS;
}

}  // namespace kivo
