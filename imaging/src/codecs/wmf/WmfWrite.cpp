#include <vector>

#include "codecs/wmf/MetafileDib.h"
#include "codecs/wmf/Wmf.h"

namespace kivo {

int WriteWmf(const BitmapHandle& bmp, const SaveRequest& /*request*/, ByteWriter& out,
             Progress& progress) {
    const int width = bmp.Width, height = bmp.Height;
    if (width > 32767 || height > 32767) return ERROR_IMAGE_TOO_LARGE;
    std::vector<uint8_t> dib;
    int status = EncodeDib(bmp, &dib, progress);
    if (status != SUCCESS) return status;
    // Sizes are counted in 16-bit words; the DIB is always an even number of bytes.
    const uint64_t dibRecordWords = 3 + 11 + dib.size() / 2;
    const uint64_t totalWords = 9 + 5 + 5 + dibRecordWords + 3;
    if (totalWords > 0xFFFFFFFFu) return ERROR_IMAGE_TOO_LARGE;

    // Placeable header: bounding box in units of 1/96 inch, one unit per pixel.
    uint16_t words[10] = {0xCDD7, 0x9AC6, 0, 0, 0, uint16_t(width), uint16_t(height), 96, 0, 0};
    uint16_t checksum = 0;
    for (uint16_t w : words) checksum ^= w;
    for (uint16_t w : words) out.U16LE(w);
    out.U16LE(checksum);

    out.U16LE(1);       // metafile type 1, as disk metafiles are written too
    out.U16LE(9);       // header words
    out.U16LE(0x0300);  // Windows 3 metafile
    out.U32LE(uint32_t(totalWords));
    out.U16LE(0);  // objects
    out.U32LE(uint32_t(dibRecordWords));
    out.U16LE(0);

    out.U32LE(5);  // SetWindowOrg(0, 0)
    out.U16LE(0x020B);
    out.U16LE(0);
    out.U16LE(0);
    out.U32LE(5);  // SetWindowExt(width, height)
    out.U16LE(0x020C);
    out.U16LE(uint16_t(height));
    out.U16LE(uint16_t(width));

    out.U32LE(uint32_t(dibRecordWords));
    out.U16LE(0x0F43);       // StretchDIBits
    out.U32LE(0x00CC0020);   // SRCCOPY
    out.U16LE(0);            // DIB_RGB_COLORS
    out.U16LE(uint16_t(height));  // source height, width, y, x
    out.U16LE(uint16_t(width));
    out.U16LE(0);
    out.U16LE(0);
    out.U16LE(uint16_t(height));  // destination height, width, y, x
    out.U16LE(uint16_t(width));
    out.U16LE(0);
    out.U16LE(0);
    out.Write(dib.data(), dib.size());

    out.U32LE(3);  // end of file
    out.U16LE(0);
    return SUCCESS;
}

}  // namespace kivo
