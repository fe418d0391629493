#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "codecs/gif/Gif.h"
#include "kivo/imaging/File.h"

namespace kivo {
namespace {

struct GifSource {
    const uint8_t* Data;
    size_t Size;
    size_t Pos;
};

int ReadData(GifFileType* gif, GifByteType* out, int n) {
    auto* src = static_cast<GifSource*>(gif->UserData);
    const size_t count = std::min(size_t(std::max(n, 0)), src->Size - src->Pos);
    std::memcpy(out, src->Data + src->Pos, count);
    src->Pos += count;
    return int(count);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

// Skips one extension and its sub-blocks; none of them changes the first frame's pixels here
// (transparency is not applied, see Gif.h).
int SkipExtension(GifFileType* gif) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return ERROR_FILE_CORRUPT;
    while (block) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return ERROR_FILE_CORRUPT;
    }
    return SUCCESS;
}

}  // namespace

bool SniffGif(const uint8_t* head, size_t size) {
    return size >= 6 &&
           (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0);
}

int ReadGif(ByteReader& in, BitmapHandle& out, Progress& progress) {
    GifSource source{in.Data(), in.Length(), in.Position()};
    int error = 0;
    GifHandle gif(DGifOpen(&source, ReadData, &error));
    if (!gif) return error == D_GIF_ERR_NOT_GIF_FILE ? ERROR_FILE_FORMAT : ERROR_FILE_CORRUPT;

    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) return ERROR_FILE_CORRUPT;
        if (type == TERMINATE_RECORD_TYPE) return ERROR_FILE_CORRUPT;  // no picture in it
        if (type == EXTENSION_RECORD_TYPE) {
            const int status = SkipExtension(gif.get());
            if (status != SUCCESS) return status;
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) return ERROR_FILE_CORRUPT;
        break;
    }
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return ERROR_FILE_CORRUPT;

    const GifImageDesc& frame = gif->Image;
    if (frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 || frame.Top < 0)
        return ERROR_FILE_CORRUPT;
    const int64_t width = std::max<int64_t>(gif->SWidth, int64_t(frame.Left) + frame.Width);
    const int64_t height = std::max<int64_t>(gif->SHeight, int64_t(frame.Top) + frame.Height);
    int status = AllocateChecked(out, width, height, 8);
    if (status != SUCCESS) return status;

    const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (map && map->ColorCount > 0 && map->Colors) {
        const int count = std::min(map->ColorCount, 256);
        out.Palette.resize(size_t(count));
        for (int i = 0; i < count; ++i) {
            const GifColorType& c = map->Colors[i];
            out.Palette[size_t(i)] = RgbQuad{c.Blue, c.Green, c.Red, 0};
        }
    } else {
        out.Palette.resize(256);
        for (int i = 0; i < 256; ++i)
            out.Palette[size_t(i)] = RgbQuad{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    }

    const bool covers =
        frame.Left == 0 && frame.Top == 0 && frame.Width == width && frame.Height == height;
    if (!covers)
        for (int y = 0; y < out.Height; ++y)
            std::memset(out.Row(y), gif->SBackGroundColor & 0xFF, size_t(out.Width));

    // Rows arrive in stream order; interlaced frames send every 8th row from 0, every 8th from
    // 4, every 4th from 2, then every 2nd from 1.
    static const int Start[4] = {0, 4, 2, 1};
    static const int Step[4] = {8, 8, 4, 2};
    const int passes = frame.Interlace ? 4 : 1;
    int done = 0;
    for (int pass = 0; pass < passes; ++pass) {
        const int first = frame.Interlace ? Start[pass] : 0;
        const int step = frame.Interlace ? Step[pass] : 1;
        for (int y = first; y < frame.Height; y += step) {
            GifPixelType* row = out.Row(frame.Top + y) + frame.Left;
            if (DGifGetLine(gif.get(), row, frame.Width) == GIF_ERROR) return ERROR_FILE_CORRUPT;
            ++done;
            if (!progress.Report(int64_t(done) * 100 / frame.Height)) return ERROR_USER_ABORT;
        }
    }
    return SUCCESS;
}

CodecEntry MakeGifCodec() {
    return CodecEntry{"GIF", FILE_GIF, {FILE_GIF}, {1, 4, 8}, 10, SniffGif, ReadGif, WriteGif};
}

}  // namespace kivo
