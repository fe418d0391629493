#include <vector>

#include "codecs/emf/Emf.h"
#include "codecs/wmf/MetafileDib.h"

namespace kivo {

namespace {

// A DIB's BITMAPINFO is the header plus its colours; the rest is the bits.
size_t InfoSize(const std::vector<uint8_t>& dib) {
    const uint32_t colours = uint32_t(dib[32]) | (uint32_t(dib[33]) << 8) |
                             (uint32_t(dib[34]) << 16) | (uint32_t(dib[35]) << 24);
    return 40 + size_t(colours) * 4;
}

}  // namespace

int WriteEmf(const BitmapHandle& bmp, const SaveRequest& /*request*/, ByteWriter& out,
             Progress& progress) {
    const int width = bmp.Width, height = bmp.Height;
    std::vector<uint8_t> dib;
    int status = EncodeDib(bmp, &dib, progress);
    if (status != SUCCESS) return status;
    const size_t info = InfoSize(dib);
    constexpr uint32_t HeaderSize = 108, StretchSize = 80, EofSize = 20;
    const uint64_t recordSize = StretchSize + dib.size();  // header and colours are 4-aligned
    const uint64_t total = HeaderSize + recordSize + EofSize;
    if (total > 0xFFFFFFFFu) return ERROR_IMAGE_TOO_LARGE;

    // The device is a 96 dpi screen: 1024 × 768 pixels on 271 × 203 mm.
    constexpr int32_t DevW = 1024, DevH = 768, MmW = 271, MmH = 203;
    out.U32LE(1);  // EMR_HEADER
    out.U32LE(HeaderSize);
    out.U32LE(0);  // bounds in device pixels (inclusive)
    out.U32LE(0);
    out.U32LE(uint32_t(width - 1));
    out.U32LE(uint32_t(height - 1));
    out.U32LE(0);  // frame in 0.01 mm (inclusive)
    out.U32LE(0);
    out.U32LE(uint32_t(int64_t(width) * MmW * 100 / DevW - 1));
    out.U32LE(uint32_t(int64_t(height) * MmH * 100 / DevH - 1));
    out.U32LE(0x464D4520);  // " EMF"
    out.U32LE(0x00010000);
    out.U32LE(uint32_t(total));
    out.U32LE(3);  // records
    out.U16LE(1);  // handles (the entry 0 is reserved)
    out.U16LE(0);
    out.U32LE(0);  // no description
    out.U32LE(0);
    out.U32LE(0);  // no palette
    out.U32LE(DevW);
    out.U32LE(DevH);
    out.U32LE(MmW);
    out.U32LE(MmH);
    out.U32LE(0);  // no pixel format, no OpenGL
    out.U32LE(0);
    out.U32LE(0);
    out.U32LE(MmW * 1000);  // device size in micrometres
    out.U32LE(MmH * 1000);

    out.U32LE(81);  // EMR_STRETCHDIBITS
    out.U32LE(uint32_t(recordSize));
    out.U32LE(0);
    out.U32LE(0);
    out.U32LE(uint32_t(width - 1));
    out.U32LE(uint32_t(height - 1));
    out.U32LE(0);  // destination x, y
    out.U32LE(0);
    out.U32LE(0);  // source x, y, width, height
    out.U32LE(0);
    out.U32LE(uint32_t(width));
    out.U32LE(uint32_t(height));
    out.U32LE(StretchSize);
    out.U32LE(uint32_t(info));
    out.U32LE(uint32_t(StretchSize + info));
    out.U32LE(uint32_t(dib.size() - info));
    out.U32LE(0);           // DIB_RGB_COLORS
    out.U32LE(0x00CC0020);  // SRCCOPY
    out.U32LE(uint32_t(width));
    out.U32LE(uint32_t(height));
    out.Write(dib.data(), dib.size());

    out.U32LE(14);  // EMR_EOF
    out.U32LE(EofSize);
    out.U32LE(0);
    out.U32LE(16);
    out.U32LE(EofSize);
    return SUCCESS;
}

}  // namespace kivo
