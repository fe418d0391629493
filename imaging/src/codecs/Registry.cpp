// The list of codecs. Formats with strong signatures are probed first; formats whose files carry
// no signature (TGA) come last.

#include <algorithm>
#include <string_view>

#include "codecs/Codec.h"
#include "codecs/bmp/Bmp.h"
#include "codecs/gif/Gif.h"
#include "codecs/jpeg/Jpeg.h"
#include "codecs/tiff/Tiff.h"
#include "codecs/png/Png.h"
#include "codecs/pnm/Pnm.h"
#include "codecs/psd/Psd.h"
#include "codecs/pict/Pict.h"
#include "codecs/wmf/Wmf.h"
#include "codecs/emf/Emf.h"
#include "codecs/pcx/Pcx.h"
#include "codecs/tga/Tga.h"
#include "codecs/ras/Ras.h"
#include "codecs/xpm/Xpm.h"
#include "codecs/iff/Iff.h"
#include "codecs/macpaint/MacPaint.h"
#include "codecs/msp/Msp.h"
#include "codecs/gem/Gem.h"
#include "codecs/cals/Cals.h"
#include "codecs/pcd/Pcd.h"
#include "codecs/eps/Eps.h"
#include "codecs/wpg/Wpg.h"

namespace kivo {

const std::vector<CodecEntry>& Codecs() {
    static const std::vector<CodecEntry> codecs = [] {
        std::vector<CodecEntry> list = {
            MakePnmCodec(),
            MakeBmpCodec(),
            MakeJpegCodec(),
            MakeTiffCodec(),
            MakePsdCodec(),
            MakePictCodec(),
            MakeWmfCodec(),
            MakeEmfCodec(),
            MakeCalsCodec(),
            MakePcdCodec(),
            MakeEpsCodec(),
            MakeWpgCodec(),
            MakePcxCodec(),
            MakeTgaCodec(),
            MakeRasCodec(),
            MakeXpmCodec(),
            MakeIffCodec(),
            MakeMacPaintCodec(),
            MakeMspCodec(),
            MakeGemCodec(),
            MakePngCodec(),
            MakeGifCodec(),
        };
        std::stable_sort(list.begin(), list.end(),
                         [](const CodecEntry& a, const CodecEntry& b) {
                             return a.Priority < b.Priority;
                         });
        return list;
    }();
    return codecs;
}

const CodecEntry* CodecForSaveFormat(int format) {
    for (const CodecEntry& c : Codecs())
        if (std::find(c.SaveFormats.begin(), c.SaveFormats.end(), format) != c.SaveFormats.end())
            return &c;
    return nullptr;
}

const CodecEntry* CodecForData(const uint8_t* data, size_t size) {
    if (!data || size == 0) return nullptr;
    for (const CodecEntry& c : Codecs())
        if (c.Sniff && c.Sniff(data, size)) return &c;
    return nullptr;
}

const CodecEntry* CodecByName(const char* name) {
    for (const CodecEntry& c : Codecs())
        if (std::string_view(c.Name) == name) return &c;
    return nullptr;
}

}  // namespace kivo
