#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "codecs/png/Png.h"
#include "kivo/imaging/File.h"

// libpng reports errors by longjmp. Every function below that calls into libpng after setjmp
// holds only plain values and pointers, so a longjmp never skips a destructor; the C++ work
// (allocation, palettes) happens between those calls.

namespace kivo {
namespace {

struct PngSource {
    const uint8_t* Data;
    size_t Size;
    size_t Pos;
};

void ReadData(png_structp png, png_bytep out, size_t n) {
    auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (n > src->Size - src->Pos) png_error(png, "truncated");
    std::memcpy(out, src->Data + src->Pos, n);
    src->Pos += n;
}

[[noreturn]] void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

struct PngHeader {
    png_uint_32 Width;
    png_uint_32 Height;
    int BitDepth;
    int ColourType;
    int Interlace;
    bool Transparency;  // a tRNS chunk
};

// What the bitmap becomes, decided from the header.
struct PngPlan {
    int OutBpp;
    bool PackedTwoBit;  // 2-bit rows read as stored, then widened to 4 bits
};

int ReadHeader(png_structp png, png_infop info, PngHeader* header) {
    if (setjmp(png_jmpbuf(png))) return ERROR_FILE_CORRUPT;
    png_read_info(png, info);
    png_get_IHDR(png, info, &header->Width, &header->Height, &header->BitDepth, &header->ColourType,
                 &header->Interlace, nullptr, nullptr);
    header->Transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    return SUCCESS;
}

void SetTransforms(png_structp png, const PngHeader& h, const PngPlan& plan) {
    if (plan.OutBpp <= 8) {
        // Palette and grey stay indices; only 16-bit grey needs reducing.
        if (h.BitDepth == 16) png_set_scale_16(png);
        return;
    }
    png_set_expand(png);  // palette → RGB, grey below 8 bits → 8, tRNS → alpha
    if (h.ColourType == PNG_COLOR_TYPE_GRAY || h.ColourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    if (h.BitDepth == 16) png_set_scale_16(png);
    png_set_bgr(png);
}

void WidenTwoBitRow(const uint8_t* src, uint8_t* dst, png_uint_32 width) {
    // Each 2-bit index becomes a 4-bit one: byte aabbccdd → 0aa00bb, 0cc00dd.
    for (png_uint_32 i = 0; i < (width + 1) / 2; ++i) {
        const uint8_t b = src[i / 2];
        const int shift = (i & 1) ? 0 : 4;
        const unsigned pair = (b >> shift) & 0x0F;
        dst[i] = uint8_t(((pair >> 2) << 4) | (pair & 3));
    }
}

// Decodes every row into the bitmap (or, for 2-bit pictures, into `scratch`: one row, or the
// whole picture when interlaced). Returns SUCCESS, ERROR_FILE_CORRUPT or ERROR_USER_ABORT.
int ReadRows(png_structp png, png_infop info, const PngHeader* h, const PngPlan* plan,
             BitmapHandle* out, uint8_t* scratch, size_t scratchStride, Progress* progress) {
    if (setjmp(png_jmpbuf(png))) return ERROR_FILE_CORRUPT;
    SetTransforms(png, *h, *plan);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    if (rowBytes > (plan->PackedTwoBit ? scratchStride : size_t(out->BytesPerLine)))
        return ERROR_INTERNAL;
    const int height = int(h->Height);
    const int64_t steps = int64_t(passes) * height;
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < height; ++y) {
            uint8_t* row = plan->PackedTwoBit
                               ? scratch + (passes > 1 ? size_t(y) * scratchStride : 0)
                               : out->Row(y);
            png_read_row(png, row, nullptr);
            if (plan->PackedTwoBit && passes == 1) WidenTwoBitRow(row, out->Row(y), h->Width);
            if (!progress->Report((int64_t(pass) * height + y + 1) * 100 / steps))
                return ERROR_USER_ABORT;
        }
    }
    if (plan->PackedTwoBit && passes > 1)
        for (int y = 0; y < height; ++y)
            WidenTwoBitRow(scratch + size_t(y) * scratchStride, out->Row(y), h->Width);
    return SUCCESS;
}

int ReadPalette(png_structp png, png_infop info, png_colorp* colours, int* count) {
    if (setjmp(png_jmpbuf(png))) return ERROR_FILE_CORRUPT;
    *count = 0;
    if (!png_get_PLTE(png, info, colours, count)) *count = 0;
    return SUCCESS;
}

// Owns the libpng read structures.
class PngReadHandles {
public:
    PngReadHandles() {
        Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
        if (Png) Info = png_create_info_struct(Png);
    }
    ~PngReadHandles() {
        if (Png) png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr);
    }
    PngReadHandles(const PngReadHandles&) = delete;
    PngReadHandles& operator=(const PngReadHandles&) = delete;

    png_structp Png = nullptr;
    png_infop Info = nullptr;
};

}  // namespace

bool SniffPng(const uint8_t* head, size_t size) {
    return size >= 8 && png_sig_cmp(head, 0, 8) == 0;
}

int ReadPng(ByteReader& in, BitmapHandle& out, Progress& progress) {
    PngReadHandles handles;
    if (!handles.Info) return ERROR_NO_MEMORY;
    png_structp png = handles.Png;
    PngSource source{in.Data(), in.Length(), in.Position()};
    png_set_read_fn(png, &source, ReadData);
    // libpng's own dimension limit (a million) would refuse pictures the library accepts.
    png_set_user_limits(png, 1u << 24, 1u << 24);

    PngHeader h{};
    int status = ReadHeader(png, handles.Info, &h);
    if (status != SUCCESS) return status;
    if (uint64_t(h.Width) * h.Height > L_GetMaxPixels()) return ERROR_IMAGE_TOO_LARGE;

    const bool indexed =
        (h.ColourType == PNG_COLOR_TYPE_PALETTE || h.ColourType == PNG_COLOR_TYPE_GRAY) &&
        !h.Transparency;
    PngPlan plan{};
    if (indexed) {
        const int depth = h.ColourType == PNG_COLOR_TYPE_GRAY && h.BitDepth == 16 ? 8 : h.BitDepth;
        plan.OutBpp = depth == 2 ? 4 : depth;
        plan.PackedTwoBit = depth == 2;
    } else {
        const bool alpha = h.Transparency || (h.ColourType & PNG_COLOR_MASK_ALPHA);
        plan.OutBpp = alpha ? 32 : 24;
    }

    status = AllocateChecked(out, h.Width, h.Height, plan.OutBpp);
    if (status != SUCCESS) return status;

    if (h.ColourType == PNG_COLOR_TYPE_PALETTE && indexed) {
        png_colorp colours = nullptr;
        int count = 0;
        status = ReadPalette(png, handles.Info, &colours, &count);
        if (status != SUCCESS) return status;
        if (count <= 0) return ERROR_FILE_CORRUPT;
        count = std::min(count, 1 << h.BitDepth);
        out.Palette.resize(size_t(count));
        for (int i = 0; i < count; ++i)
            out.Palette[size_t(i)] = RgbQuad{colours[i].blue, colours[i].green, colours[i].red, 0};
    } else if (indexed) {
        const int depth = h.BitDepth == 16 ? 8 : h.BitDepth;
        const int n = 1 << depth;
        out.Palette.resize(size_t(n));
        for (int i = 0; i < n; ++i) {
            const uint8_t v = uint8_t(i * 255 / (n - 1));
            out.Palette[size_t(i)] = RgbQuad{v, v, v, 0};
        }
    }

    std::vector<uint8_t> scratch;
    size_t scratchStride = 0;
    if (plan.PackedTwoBit) {
        scratchStride = (size_t(h.Width) * 2 + 7) / 8;
        const bool interlaced = h.Interlace != PNG_INTERLACE_NONE;
        scratch.assign(scratchStride * (interlaced ? h.Height : 1), 0);
    }
    return ReadRows(png, handles.Info, &h, &plan, &out, scratch.data(), scratchStride, &progress);
}

CodecEntry MakePngCodec() {
    return CodecEntry{"PNG", FILE_PNG, {FILE_PNG}, {1, 4, 8, 24, 32},
                      10,    SniffPng, ReadPng,    WritePng};
}

}  // namespace kivo
