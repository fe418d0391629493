#include <png.h>

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "codecs/PaletteIndex.h"
#include "codecs/png/Png.h"
#include "codecs/png/PngStream.h"

// As in the reader, the functions that run libpng after setjmp hold only plain values.

namespace kivo {

static_assert(PngFilterNone == PNG_FILTER_NONE && PngFilterSub == PNG_FILTER_SUB &&
              PngFilterUp == PNG_FILTER_UP && PngFilterAvg == PNG_FILTER_AVG &&
              PngFilterPaeth == PNG_FILTER_PAETH && PngFilterAll == PNG_ALL_FILTERS);

namespace {

std::atomic<int> ZlibLevel{PngWriteSettings{}.ZlibLevel};
std::atomic<int> RowFilters{PngWriteSettings{}.Filters};

void WriteData(png_structp png, png_bytep data, size_t n) {
    auto* out = static_cast<ByteWriter*>(png_get_io_ptr(png));
    bool failed = false;
    try {
        out->Write(data, n);
    } catch (...) {
        failed = true;  // no exception may cross libpng's C frames
    }
    if (failed) png_error(png, "out of memory");
}

void FlushData(png_structp) {}

[[noreturn]] void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

struct PngLayout {
    int ColourType;
    int BitDepth;
    const png_color* Palette;  // for PNG_COLOR_TYPE_PALETTE
    int PaletteSize;
    int ZlibLevel;
    int Filters;
};

// `staging` is one row for 1/4-bit pictures whose rows end in a partial byte, else null.
int EncodeRows(png_structp png, png_infop info, const PngLayout* layout, const BitmapHandle* bmp,
               uint8_t* staging, Progress* progress) {
    if (setjmp(png_jmpbuf(png))) return ERROR_FILE_WRITE;
    png_set_IHDR(png, info, png_uint_32(bmp->Width), png_uint_32(bmp->Height), layout->BitDepth,
                 layout->ColourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (layout->ColourType == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, layout->Palette, layout->PaletteSize);
    png_set_compression_level(png, layout->ZlibLevel);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, layout->Filters);
    // Bigger deflate buffers mean fewer, larger IDAT chunks and fewer write calls.
    png_set_compression_buffer_size(png, 1u << 17);
    png_write_info(png, info);
    if (bmp->BitsPerPixel >= 24) png_set_bgr(png);
    const int height = bmp->Height;
    const size_t usedBytes = (size_t(bmp->Width) * size_t(bmp->BitsPerPixel) + 7) / 8;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bmp->Row(y);
        if (staging) {
            std::memcpy(staging, row, usedBytes);
            ClearTrailingBits(staging, bmp->Width, bmp->BitsPerPixel);
            row = staging;
        }
        png_write_row(png, row);
        if (!progress->Report(int64_t(y + 1) * 100 / height)) return ERROR_USER_ABORT;
    }
    png_write_end(png, nullptr);
    return SUCCESS;
}

class PngWriteHandles {
public:
    PngWriteHandles() {
        Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
        if (Png) Info = png_create_info_struct(Png);
    }
    ~PngWriteHandles() {
        if (Png) png_destroy_write_struct(&Png, Info ? &Info : nullptr);
    }
    PngWriteHandles(const PngWriteHandles&) = delete;
    PngWriteHandles& operator=(const PngWriteHandles&) = delete;

    png_structp Png = nullptr;
    png_infop Info = nullptr;
};

}  // namespace

void SetPngWriteSettings(const PngWriteSettings& settings) {
    ZlibLevel = std::clamp(settings.ZlibLevel, 0, 9);
    const int filters = settings.Filters & PngFilterAll;
    RowFilters = filters ? filters : PngWriteSettings{}.Filters;
}

PngWriteSettings GetPngWriteSettings() { return PngWriteSettings{ZlibLevel, RowFilters}; }

int WritePng(const BitmapHandle& bmp, const SaveRequest& /*request*/, ByteWriter& out,
             Progress& progress) {
    const int bpp = bmp.BitsPerPixel;
    PngLayout layout{};
    layout.ZlibLevel = ZlibLevel;
    layout.Filters = RowFilters;
    std::vector<png_color> palette;
    if (bpp <= 8) {
        layout.BitDepth = bpp;
        const size_t full = size_t(1) << bpp;
        if (bmp.Palette.size() == full && IsGreyRampPalette(bmp.Palette)) {
            layout.ColourType = PNG_COLOR_TYPE_GRAY;
        } else {
            layout.ColourType = PNG_COLOR_TYPE_PALETTE;
            const size_t count =
                std::max(std::min(bmp.Palette.size(), full), size_t(MaxPaletteIndex(bmp)) + 1);
            palette.resize(count, png_color{0, 0, 0});
            for (size_t i = 0; i < count && i < bmp.Palette.size(); ++i)
                palette[i] =
                    png_color{bmp.Palette[i].Red, bmp.Palette[i].Green, bmp.Palette[i].Blue};
            layout.Palette = palette.data();
            layout.PaletteSize = int(count);
        }
        if (layout.ColourType == PNG_COLOR_TYPE_PALETTE || bpp < 8) layout.Filters = PngFilterNone;
    } else {
        layout.BitDepth = 8;
        layout.ColourType = bpp == 32 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    }
    std::vector<uint8_t> staging;
    if (bpp < 8 && (int64_t(bmp.Width) * bpp) % 8 != 0)
        staging.resize(size_t(BytesPerLineFor(bmp.Width, bpp)));

    if (layout.Filters == PngFilterNone || layout.Filters == PngFilterSub) {
        std::vector<uint8_t> rgb;
        for (const png_color& c : palette) rgb.insert(rgb.end(), {c.red, c.green, c.blue});
        const PngStreamLayout own{layout.ColourType, layout.BitDepth, rgb.data(),
                                  int(palette.size()), layout.ZlibLevel,
                                  layout.Filters == PngFilterSub};
        return WritePngStream(bmp, own, out, progress);
    }
    PngWriteHandles handles;
    if (!handles.Info) return ERROR_NO_MEMORY;
    png_set_write_fn(handles.Png, &out, WriteData, FlushData);
    return EncodeRows(handles.Png, handles.Info, &layout, &bmp,
                      staging.empty() ? nullptr : staging.data(), &progress);
}

}  // namespace kivo
