#include "codecs/eps/Eps.h"
#include "kivo/imaging/File.h"

namespace kivo {

namespace {

bool SniffEps(const uint8_t* head, size_t size) {
    return size >= 4 && head[0] == 0xC5 && head[1] == 0xD0 && head[2] == 0xD3 && head[3] == 0xC6;
}

int ReadEps(ByteReader& in, BitmapHandle& out, Progress& progress) {
    if (!SniffEps(in.Data(), in.Length())) return ERROR_FILE_FORMAT;
    in.Skip(4);
    const uint32_t psOffset = in.U32LE(), psLength = in.U32LE();
    const uint32_t wmfOffset = in.U32LE(), wmfLength = in.U32LE();
    const uint32_t tiffOffset = in.U32LE(), tiffLength = in.U32LE();
    if (in.Failed()) return ERROR_FILE_CORRUPT;
    auto fits = [&](uint32_t offset, uint32_t length) {
        return offset >= 30 && offset <= in.Length() && length <= in.Length() - offset;
    };
    if (psLength && !fits(psOffset, psLength)) return ERROR_FILE_CORRUPT;
    struct Preview {
        const char* Codec;
        uint32_t Offset, Length;
    };
    for (Preview p : {Preview{"TIFF", tiffOffset, tiffLength}, Preview{"WMF", wmfOffset, wmfLength}}) {
        if (p.Length == 0) continue;
        if (!fits(p.Offset, p.Length)) return ERROR_FILE_CORRUPT;
        const CodecEntry* codec = CodecByName(p.Codec);
        if (!codec || !codec->Read) continue;
        ByteReader preview(in.Data() + p.Offset, p.Length);
        int status = codec->Read(preview, out, progress);
        // The preview is part of this file: damage or a foreign format in it is damage here.
        return status == ERROR_FILE_FORMAT ? ERROR_FILE_CORRUPT : status;
    }
    return ERROR_FEATURE_NOT_SUPPORTED;
}

}  // namespace

CodecEntry MakeEpsCodec() {
    return CodecEntry{"EPS", FILE_EPS, {}, {}, 10, SniffEps, ReadEps, nullptr};
}

}  // namespace kivo
