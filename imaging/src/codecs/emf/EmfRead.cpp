#include <vector>

#include "codecs/emf/Emf.h"
#include "codecs/wmf/MetafileDib.h"
#include "kivo/imaging/File.h"

namespace kivo {

namespace {

enum : uint32_t {
    EMR_HEADER = 1,
    EMR_EOF = 14,
    EMR_BITBLT = 76,
    EMR_STRETCHBLT = 77,
    EMR_SETDIBITSTODEVICE = 80,
    EMR_STRETCHDIBITS = 81,
};
constexpr uint32_t EmfSignature = 0x464D4520;  // " EMF"

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
           (uint32_t(p[3]) << 24);
}

bool SniffEmf(const uint8_t* head, size_t size) {
    return size >= 44 && Le32(head) == EMR_HEADER && Le32(head + 40) == EmfSignature;
}

int ReadEmf(ByteReader& in, BitmapHandle& out, Progress& progress) {
    if (in.Length() < 88) return ERROR_FILE_CORRUPT;
    if (!SniffEmf(in.Data(), in.Length())) return ERROR_FILE_FORMAT;
    std::vector<DibPlacement> dibs;
    size_t pos = 0;
    for (;;) {
        if (in.Length() - pos < 8) {
            if (!dibs.empty()) break;  // a missing end record
            return ERROR_FILE_CORRUPT;
        }
        ByteReader head(in.Data() + pos, 8);
        const uint32_t type = head.U32LE();
        const uint32_t size = head.U32LE();
        if (size < 8 || (size & 3) || size > in.Length() - pos) return ERROR_FILE_CORRUPT;
        const uint8_t* record = in.Data() + pos;
        ByteReader rec(record, size);
        rec.Skip(8 + 16);  // type, size, bounds
        auto s32 = [&rec] { return int64_t(rec.S32LE()); };
        DibPlacement d;
        uint32_t offBmi = 0, cbBmi = 0, offBits = 0, cbBits = 0;
        bool isDib = true;
        switch (type) {
            case EMR_STRETCHDIBITS:
            case EMR_SETDIBITSTODEVICE:
                d.DstX = s32(); d.DstY = s32();
                d.SrcX = s32(); d.SrcY = s32(); d.SrcW = s32(); d.SrcH = s32();
                offBmi = rec.U32LE(); cbBmi = rec.U32LE();
                offBits = rec.U32LE(); cbBits = rec.U32LE();
                if (type == EMR_STRETCHDIBITS) {
                    rec.Skip(8);  // colour usage, raster operation
                    d.DstW = s32(); d.DstH = s32();
                } else {
                    d.DstW = d.SrcW;
                    d.DstH = d.SrcH;
                }
                break;
            case EMR_BITBLT:
            case EMR_STRETCHBLT:
                d.DstX = s32(); d.DstY = s32(); d.DstW = s32(); d.DstH = s32();
                rec.Skip(4);  // raster operation
                d.SrcX = s32(); d.SrcY = s32();
                rec.Skip(24 + 4 + 4);  // transform, background colour, colour usage
                offBmi = rec.U32LE(); cbBmi = rec.U32LE();
                offBits = rec.U32LE(); cbBits = rec.U32LE();
                if (type == EMR_STRETCHBLT) {
                    d.SrcW = s32(); d.SrcH = s32();
                } else {
                    d.SrcW = d.DstW;
                    d.SrcH = d.DstH;
                }
                break;
            default:
                isDib = false;
        }
        // A blit without a source bitmap (a pattern fill) has no BITMAPINFO and is skipped; a
        // bitmap outside its record is damage.
        if (isDib && (rec.Failed() || (cbBmi != 0 && (cbBmi < 12 || offBmi > size ||
                                                       cbBmi > size - offBmi || offBits > size ||
                                                       cbBits > size - offBits))))
            return ERROR_FILE_CORRUPT;
        if (isDib && cbBmi != 0) {
            d.Info = record + offBmi;
            d.InfoSize = cbBmi;
            d.Bits = record + offBits;
            d.BitsSize = cbBits;
            dibs.push_back(d);
        }
        pos += size;
        if (type == EMR_EOF) break;
        if (!progress.Report(int64_t(pos) * 50 / int64_t(in.Length()))) return ERROR_USER_ABORT;
    }
    return ComposeDibs(dibs, out, progress);
}

}  // namespace

int WriteEmf(const BitmapHandle& bmp, const SaveRequest& request, ByteWriter& out,
             Progress& progress);

CodecEntry MakeEmfCodec() {
    return CodecEntry{"EMF", FILE_EMF, {FILE_EMF}, {8, 24}, 20, SniffEmf, ReadEmf, WriteEmf};
}

}  // namespace kivo
