#include <gif_lib.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "codecs/PaletteIndex.h"
#include "codecs/gif/Gif.h"

namespace kivo {
namespace {

int WriteData(GifFileType* gif, const GifByteType* data, int n) {
    auto* out = static_cast<ByteWriter*>(gif->UserData);
    try {
        out->Write(data, size_t(std::max(n, 0)));
    } catch (...) {
        return 0;  // giflib sees a short write and fails; no exception crosses its C frames
    }
    return n;
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};

struct MapFree {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

}  // namespace

int WriteGif(const BitmapHandle& bmp, const SaveRequest& /*request*/, ByteWriter& out,
             Progress& progress) {
    const int bpp = bmp.BitsPerPixel;
    const int width = bmp.Width, height = bmp.Height;
    if (width > 0xFFFF || height > 0xFFFF) return ERROR_IMAGE_TOO_LARGE;

    // The colour table: the palette, padded so that every index used has an entry, rounded up
    // to a power of two (at least 2, as GIF needs).
    const int used = std::max<int>(int(std::min<size_t>(bmp.Palette.size(), size_t(1) << bpp)),
                                   MaxPaletteIndex(bmp) + 1);
    int bits = 1;
    while ((1 << bits) < used) ++bits;
    std::vector<GifColorType> colours(size_t(1) << bits, GifColorType{0, 0, 0});
    for (size_t i = 0; i < colours.size() && i < bmp.Palette.size(); ++i)
        colours[i] = GifColorType{bmp.Palette[i].Red, bmp.Palette[i].Green, bmp.Palette[i].Blue};
    std::unique_ptr<ColorMapObject, MapFree> map(GifMakeMapObject(1 << bits, colours.data()));
    if (!map) return ERROR_NO_MEMORY;

    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(EGifOpen(&out, WriteData, &error));
    if (!gif) return ERROR_NO_MEMORY;
    if (EGifPutScreenDesc(gif.get(), width, height, bits, 0, map.get()) == GIF_ERROR ||
        EGifPutImageDesc(gif.get(), 0, 0, width, height, false, nullptr) == GIF_ERROR)
        return ERROR_FILE_WRITE;

    std::vector<GifPixelType> line(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bmp.Row(y);
        if (bpp == 8) {
            std::copy(row, row + width, line.begin());
        } else if (bpp == 4) {
            for (int x = 0; x < width; ++x)
                line[size_t(x)] = (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
        } else {
            for (int x = 0; x < width; ++x) line[size_t(x)] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        }
        if (EGifPutLine(gif.get(), line.data(), width) == GIF_ERROR) return ERROR_FILE_WRITE;
        if (!progress.Report(int64_t(y + 1) * 100 / height)) return ERROR_USER_ABORT;
    }
    GifFileType* raw = gif.release();
    return EGifCloseFile(raw, &error) == GIF_ERROR ? ERROR_FILE_WRITE : SUCCESS;
}

}  // namespace kivo
