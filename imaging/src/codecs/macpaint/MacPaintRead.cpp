#include <cstring>

#include "codecs/PackBits.h"
#include "codecs/macpaint/MacPaint.h"
#include "kivo/imaging/File.h"

namespace kivo {

namespace {

constexpr int Width = 576, Height = 720, RowBytes = 72;

bool IsMacBinary(const uint8_t* d, size_t size) {
    return size >= 128 && d[0] == 0 && d[1] >= 1 && d[1] <= 63 && std::memcmp(d + 65, "PNTG", 4) == 0;
}

// Decodes the rows into `out` (or only checks them when out is null); returns the status.
int DecodeRows(const uint8_t* data, size_t size, BitmapHandle* out, Progress* progress) {
    const size_t start = IsMacBinary(data, size) ? 128 : 0;
    if (size < start + 512) return ERROR_FILE_CORRUPT;
    const uint8_t* p = data + start + 512;
    size_t left = size - start - 512;
    uint8_t scratch[RowBytes];
    for (int y = 0; y < Height; ++y) {
        uint8_t* dst = out ? out->Row(y) : scratch;
        const size_t used = PackBitsDecode(p, left, dst, RowBytes);
        if (!used) return ERROR_FILE_CORRUPT;
        p += used;
        left -= used;
        if (progress && !progress->Report(y + 1)) return ERROR_USER_ABORT;
    }
    return SUCCESS;
}

bool SniffMacPaint(const uint8_t* head, size_t size) {
    if (IsMacBinary(head, size)) return true;
    if (size < 512 + 2 * Height) return false;
    const uint32_t version = (uint32_t(head[0]) << 24) | (head[1] << 16) | (head[2] << 8) | head[3];
    if (version != 0 && version != 2 && version != 3) return false;
    return DecodeRows(head, size, nullptr, nullptr) == SUCCESS;
}

int ReadMacPaint(ByteReader& in, BitmapHandle& out, Progress& progress) {
    int rc = AllocateChecked(out, Width, Height, 1);
    if (rc != SUCCESS) return rc;
    out.Palette = {RgbQuad{255, 255, 255, 0}, RgbQuad{0, 0, 0, 0}};
    return DecodeRows(in.Data(), in.Length(), &out, &progress);
}

}  // namespace

CodecEntry MakeMacPaintCodec() {
    return CodecEntry{"MACPAINT", FILE_MAC, {}, {}, 900, SniffMacPaint, ReadMacPaint, nullptr};
}

}  // namespace kivo
