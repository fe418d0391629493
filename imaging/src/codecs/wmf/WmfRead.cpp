#include <cstring>
#include <vector>

#include "codecs/wmf/MetafileDib.h"
#include "codecs/wmf/Wmf.h"
#include "kivo/imaging/File.h"

namespace kivo {

namespace {

constexpr uint32_t PlaceableKey = 0x9AC6CDD7;

enum : uint16_t {
    META_EOF = 0x0000,
    META_DIBBITBLT = 0x0940,
    META_DIBSTRETCHBLT = 0x0B41,
    META_SETDIBTODEV = 0x0D33,
    META_STRETCHDIB = 0x0F43,
};

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
           (uint32_t(p[3]) << 24);
}

bool IsMetaHeader(const uint8_t* p) {
    const unsigned type = p[0] | (p[1] << 8), words = p[2] | (p[3] << 8);
    const unsigned version = p[4] | (p[5] << 8);
    return (type == 1 || type == 2) && words == 9 && (version == 0x0100 || version == 0x0300);
}

bool SniffWmf(const uint8_t* head, size_t size) {
    if (size >= 4 && Le32(head) == PlaceableKey) return true;
    return size >= 6 && IsMetaHeader(head);
}

int ReadWmf(ByteReader& in, BitmapHandle& out, Progress& progress) {
    if (in.Length() >= 4 && Le32(in.Data()) == PlaceableKey) in.Skip(22);
    const uint8_t* header = in.Take(18);
    if (!header) return ERROR_FILE_CORRUPT;
    if (!IsMetaHeader(header)) return ERROR_FILE_FORMAT;

    std::vector<DibPlacement> dibs;
    for (;;) {
        const size_t start = in.Position();
        const uint32_t words = in.U32LE();
        const uint16_t function = in.U16LE();
        if (in.Failed()) {
            // Some writers leave out the end record; what was read stands.
            if (!dibs.empty()) break;
            return ERROR_FILE_CORRUPT;
        }
        if (function == META_EOF) break;
        if (words < 3 || words > (in.Length() - start) / 2) return ERROR_FILE_CORRUPT;
        const size_t end = start + size_t(words) * 2;
        ByteReader rec(in.Data() + start + 6, end - start - 6);
        auto s16 = [&rec] { return int64_t(rec.S16LE()); };
        DibPlacement d;
        bool isDib = true;
        // Parameters are stored in reverse order of the call's arguments.
        switch (function) {
            case META_STRETCHDIB:
                rec.Skip(4 + 2);  // raster operation, colour usage
                d.SrcH = s16(); d.SrcW = s16(); d.SrcY = s16(); d.SrcX = s16();
                d.DstH = s16(); d.DstW = s16(); d.DstY = s16(); d.DstX = s16();
                break;
            case META_DIBSTRETCHBLT:
                rec.Skip(4);
                d.SrcH = s16(); d.SrcW = s16(); d.SrcY = s16(); d.SrcX = s16();
                d.DstH = s16(); d.DstW = s16(); d.DstY = s16(); d.DstX = s16();
                break;
            case META_DIBBITBLT:
                rec.Skip(4);
                d.SrcY = s16(); d.SrcX = s16();
                d.DstH = d.SrcH = s16(); d.DstW = d.SrcW = s16();
                d.DstY = s16(); d.DstX = s16();
                break;
            case META_SETDIBTODEV:
                rec.Skip(2 + 2 + 2);  // colour usage, scan count, start scan
                d.SrcY = s16(); d.SrcX = s16();
                d.DstH = d.SrcH = s16(); d.DstW = d.SrcW = s16();
                d.DstY = s16(); d.DstX = s16();
                break;
            default:
                isDib = false;
        }
        // The blit records also come in a form without a bitmap (a pattern fill): too short
        // for a DIB header, and skipped.
        if (isDib && !rec.Failed() && rec.Remaining() >= 12) {
            d.Info = rec.Data() + rec.Position();
            d.InfoSize = rec.Remaining();
            dibs.push_back(d);
        }
        in.Seek(end);
        if (!progress.Report(int64_t(end) * 50 / int64_t(in.Length()))) return ERROR_USER_ABORT;
    }
    return ComposeDibs(dibs, out, progress);
}

}  // namespace

int WriteWmf(const BitmapHandle& bmp, const SaveRequest& request, ByteWriter& out,
             Progress& progress);

CodecEntry MakeWmfCodec() {
    return CodecEntry{"WMF", FILE_WMF, {FILE_WMF}, {8, 24}, 50, SniffWmf, ReadWmf, WriteWmf};
}

}  // namespace kivo
