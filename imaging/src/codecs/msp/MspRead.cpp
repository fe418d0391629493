#include <cstring>
#include <vector>

#include "codecs/msp/Msp.h"
#include "kivo/imaging/File.h"

namespace kivo {

namespace {

bool SniffMsp(const uint8_t* head, size_t size) {
    return size >= 32 && (std::memcmp(head, "DanM", 4) == 0 || std::memcmp(head, "LinS", 4) == 0);
}

int ReadMsp(ByteReader& in, BitmapHandle& out, Progress& progress) {
    uint16_t words[16];
    for (uint16_t& w : words) w = in.U16LE();
    if (in.Failed()) return ERROR_FILE_CORRUPT;
    uint16_t check = 0;
    for (int i = 0; i < 13; ++i) check ^= words[i];
    if (check != 0) return ERROR_FILE_CORRUPT;
    const bool v2 = std::memcmp(in.Data(), "LinS", 4) == 0;
    const int width = words[2], height = words[3];
    int rc = AllocateChecked(out, width, height, 1);
    if (rc != SUCCESS) return rc;
    out.Palette = {RgbQuad{0, 0, 0, 0}, RgbQuad{255, 255, 255, 0}};
    const size_t rowBytes = (size_t(width) + 7) / 8;

    std::vector<uint16_t> sizes;
    if (v2) {
        sizes.resize(size_t(height));
        for (uint16_t& s : sizes) s = in.U16LE();
        if (in.Failed()) return ERROR_FILE_CORRUPT;
    }
    for (int y = 0; y < height; ++y) {
        uint8_t* dst = out.Row(y);
        if (!v2) {
            if (!in.Read(dst, rowBytes)) return ERROR_FILE_CORRUPT;
        } else if (sizes[size_t(y)] == 0) {
            std::memset(dst, 0xFF, rowBytes);
        } else {
            const uint8_t* p = in.Take(sizes[size_t(y)]);
            if (!p) return ERROR_FILE_CORRUPT;
            const uint8_t* end = p + sizes[size_t(y)];
            size_t i = 0;
            while (i < rowBytes && p < end) {
                const uint8_t type = *p++;
                if (type == 0) {
                    if (end - p < 2) return ERROR_FILE_CORRUPT;
                    const size_t n = p[0];
                    if (n > rowBytes - i) return ERROR_FILE_CORRUPT;
                    std::memset(dst + i, p[1], n);
                    i += n;
                    p += 2;
                } else {
                    if (size_t(end - p) < type || type > rowBytes - i) return ERROR_FILE_CORRUPT;
                    std::memcpy(dst + i, p, type);
                    i += type;
                    p += type;
                }
            }
            if (i < rowBytes) return ERROR_FILE_CORRUPT;
        }
        if (!progress.Report(y + 1)) return ERROR_USER_ABORT;
    }
    return SUCCESS;
}

}  // namespace

CodecEntry MakeMspCodec() {
    return CodecEntry{"MSP", FILE_MSP, {}, {}, 30, SniffMsp, ReadMsp, nullptr};
}

}  // namespace kivo
