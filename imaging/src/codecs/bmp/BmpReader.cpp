#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "codecs/bmp/Bmp.h"
#include "kivo/imaging/File.h"

namespace kivo {
namespace {

enum : uint32_t {
    BI_RGB = 0,
    BI_RLE8 = 1,
    BI_RLE4 = 2,
    BI_BITFIELDS = 3,
    BI_JPEG = 4,
    BI_PNG = 5,
    BI_ALPHABITFIELDS = 6,
};

constexpr size_t FileHeaderSize = 14;

// The info header fields we use, from whichever header variant the file has.
struct BmpInfo {
    uint32_t HeaderSize = 0;
    int64_t Width = 0;
    int64_t Height = 0;  // always positive here; TopDown says how rows are stored
    bool TopDown = false;
    int Bpp = 0;
    uint32_t Compression = BI_RGB;
    uint32_t ColoursUsed = 0;
    std::array<uint32_t, 4> Masks{};  // red, green, blue, alpha
    bool Core = false;                // OS/2 1.x: 3-byte palette entries
};

bool ValidHeaderSize(uint32_t size) {
    return size == 12 || (size >= 16 && size <= 64) || size == 108 || size == 124;
}

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

int ParseInfoHeader(ByteReader& in, BmpInfo& info) {
    info.HeaderSize = in.U32LE();
    if (in.Failed()) return ERROR_FILE_CORRUPT;
    if (!ValidHeaderSize(info.HeaderSize)) return ERROR_FILE_CORRUPT;
    if (info.HeaderSize == 12) {
        info.Core = true;
        info.Width = in.U16LE();
        info.Height = in.U16LE();
        in.U16LE();  // planes
        info.Bpp = in.U16LE();
        if (in.Failed()) return ERROR_FILE_CORRUPT;
    } else {
        // OS/2 2.x headers may stop after any field; the missing ones are zero.
        uint8_t h[124] = {};
        if (!in.Read(h, info.HeaderSize - 4)) return ERROR_FILE_CORRUPT;
        const int32_t width = int32_t(Le32(h));
        const int32_t height = int32_t(Le32(h + 4));
        info.Bpp = h[10] | (h[11] << 8);
        info.Compression = Le32(h + 12);
        info.ColoursUsed = Le32(h + 28);
        if (info.HeaderSize >= 52)
            for (int i = 0; i < 3; ++i) info.Masks[size_t(i)] = Le32(h + 36 + 4 * i);
        if (info.HeaderSize >= 56) info.Masks[3] = Le32(h + 48);
        info.Width = width;
        info.TopDown = height < 0;
        info.Height = info.TopDown ? -int64_t(height) : int64_t(height);
        // OS/2 2.x reuses codes 3 and 4 for its Huffman 1D and RLE24 compressions.
        const bool os2 = info.HeaderSize != 40 && info.HeaderSize < 52;
        if (os2 && ((info.Compression == 3 && info.Bpp == 1) || info.Compression == 4))
            return ERROR_FEATURE_NOT_SUPPORTED;
    }
    if (info.Width <= 0 || info.Height <= 0) return ERROR_FILE_CORRUPT;
    switch (info.Bpp) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            break;
        default:
            return ERROR_FILE_CORRUPT;
    }
    switch (info.Compression) {
        case BI_RGB:
            break;
        case BI_RLE8:
            if (info.Bpp != 8) return ERROR_FILE_CORRUPT;
            break;
        case BI_RLE4:
            if (info.Bpp != 4) return ERROR_FILE_CORRUPT;
            break;
        case BI_BITFIELDS:
        case BI_ALPHABITFIELDS:
            if (info.Bpp != 16 && info.Bpp != 32) return ERROR_FILE_CORRUPT;
            break;
        case BI_JPEG:
        case BI_PNG:
            return ERROR_FEATURE_NOT_SUPPORTED;
        default:
            return ERROR_FILE_CORRUPT;
    }
    return SUCCESS;
}

// One colour channel of a BITFIELDS pixel: extract with the mask, widen to 8 bits.
struct Channel {
    uint32_t Mask = 0;
    int Shift = 0;
    int Bits = 0;
    std::array<uint8_t, 256> Widen{};  // for Bits <= 8

    explicit Channel(uint32_t mask) : Mask(mask) {
        if (!mask) return;
        Shift = std::countr_zero(mask);
        Bits = 32 - std::countl_zero(mask >> Shift);
        if (Bits > 8) return;
        // Bit replication: the value's bits repeated downwards until 8 are filled.
        for (uint32_t v = 0; v < (1u << Bits); ++v) {
            uint32_t r = 0;
            for (int pos = 8 - Bits; pos > -Bits; pos -= Bits) r |= pos >= 0 ? v << pos : v >> -pos;
            Widen[v] = uint8_t(r);
        }
    }
    uint8_t Get(uint32_t pixel) const {
        const uint32_t v = (pixel & Mask) >> Shift;
        return Bits <= 8 ? Widen[v] : uint8_t(v >> (Bits - 8));
    }
};

// How stored pixels become bitmap pixels.
enum class Layout {
    Copy,      // 1/4/8/24 bits and 32-bit BGRA: rows are copied
    Rgb555,    // 16 bits that are x1555 already (the top bit is cleared)
    Fields16,  // 16-bit BITFIELDS widened to 24 or 32 bits
    Fields32,  // 32-bit BITFIELDS in another order
    Bgrx32,    // 32-bit BITFIELDS B, G, R with no alpha: alpha becomes 255
};

void FillAlphaWhereAllZero(BitmapHandle& out) {
    for (int y = 0; y < out.Height; ++y) {
        const uint8_t* row = out.Row(y);
        for (int x = 0; x < out.Width; ++x)
            if (row[4 * x + 3]) return;
    }
    for (int y = 0; y < out.Height; ++y) {
        uint8_t* row = out.Row(y);
        for (int x = 0; x < out.Width; ++x) row[4 * x + 3] = 255;
    }
}

int DecodeRle(ByteReader& in, const BmpInfo& info, BitmapHandle& out, Progress& progress) {
    const bool rle8 = info.Compression == BI_RLE8;
    const int64_t width = info.Width;
    const int64_t height = info.Height;
    std::memset(out.Data(), 0, out.DataSize());
    int64_t x = 0, y = 0;
    auto rowFor = [&](int64_t fileRow) {
        return out.Row(int(info.TopDown ? fileRow : height - 1 - fileRow));
    };
    uint8_t* row = rowFor(0);
    auto put = [&](int64_t px, unsigned index) {
        if (rle8) {
            row[px] = uint8_t(index);
        } else {
            uint8_t& b = row[px >> 1];
            b = (px & 1) ? uint8_t((b & 0xF0) | index) : uint8_t((b & 0x0F) | (index << 4));
        }
    };
    auto nextRows = [&](int64_t count) {
        y += count;
        if (y < height) row = rowFor(y);
        return progress.Report(std::min<int64_t>(y, height) * 100 / height);
    };
    while (y < height) {
        const uint8_t* pair = in.Take(2);
        if (!pair) return ERROR_FILE_CORRUPT;
        const unsigned count = pair[0], value = pair[1];
        if (count > 0) {
            const int64_t n = std::min<int64_t>(count, std::max<int64_t>(width - x, 0));
            if (rle8) {
                if (n > 0) std::memset(row + x, int(value), size_t(n));
            } else {
                for (int64_t i = 0; i < n; ++i) put(x + i, (i & 1) ? value & 15 : value >> 4);
            }
            x += count;
        } else if (value == 0) {
            x = 0;
            if (!nextRows(1)) return ERROR_USER_ABORT;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            const uint8_t* delta = in.Take(2);
            if (!delta) return ERROR_FILE_CORRUPT;
            x += delta[0];
            if (delta[1] && !nextRows(delta[1])) return ERROR_USER_ABORT;
        } else {
            // Absolute block of `value` pixels, padded to an even number of bytes.
            const size_t bytes = rle8 ? value : (value + 1) / 2;
            const uint8_t* data = in.Take(bytes + (bytes & 1));
            if (!data) return ERROR_FILE_CORRUPT;
            const int64_t n = std::min<int64_t>(value, std::max<int64_t>(width - x, 0));
            for (int64_t i = 0; i < n; ++i)
                put(x + i, rle8 ? data[i] : (i & 1) ? data[i >> 1] & 15 : data[i >> 1] >> 4);
            x += value;
        }
    }
    return progress.Report(100) ? SUCCESS : ERROR_USER_ABORT;
}

}  // namespace

bool SniffBmp(const uint8_t* head, size_t size) {
    if (size < 2 || head[0] != 'B' || head[1] != 'M') return false;
    if (size < FileHeaderSize + 4) return true;  // too short to check more; the reader says why
    return ValidHeaderSize(Le32(head + FileHeaderSize));
}

int ReadBmp(ByteReader& in, BitmapHandle& out, Progress& progress) {
    const uint8_t* fileHeader = in.Take(FileHeaderSize);
    if (!fileHeader) return ERROR_FILE_CORRUPT;
    if (fileHeader[0] != 'B' || fileHeader[1] != 'M') return ERROR_FILE_FORMAT;
    const uint32_t pixelOffsetField = Le32(fileHeader + 10);

    BmpInfo info;
    int status = ParseInfoHeader(in, info);
    if (status != SUCCESS) return status;

    const bool fields = info.Compression == BI_BITFIELDS || info.Compression == BI_ALPHABITFIELDS;
    if (fields && info.HeaderSize < 52) {
        // Windows 3 headers keep the masks in 12 (or 16) bytes after the header.
        const int n = info.Compression == BI_ALPHABITFIELDS ? 4 : 3;
        for (int i = 0; i < n; ++i) info.Masks[size_t(i)] = in.U32LE();
        if (in.Failed()) return ERROR_FILE_CORRUPT;
    }

    // The palette lies between the headers and the pixels. Its entry count is the header's, or
    // 2^bpp, but never more than fits before the pixel offset.
    const size_t paletteStart = in.Position();
    ColorPalette palette;
    if (info.Bpp <= 8) {
        const size_t entrySize = info.Core ? 3 : 4;
        size_t count = 1u << info.Bpp;
        if (info.ColoursUsed > 0 && info.ColoursUsed < count) count = info.ColoursUsed;
        if (pixelOffsetField > paletteStart)
            count = std::min(count, (pixelOffsetField - paletteStart) / entrySize);
        if (count == 0) return ERROR_FILE_CORRUPT;
        const uint8_t* p = in.Take(count * entrySize);
        if (!p) return ERROR_FILE_CORRUPT;
        palette.resize(count);
        for (size_t i = 0; i < count; ++i, p += entrySize)
            palette[i] = RgbQuad{p[0], p[1], p[2], 0};
    }
    // A pixel offset that points into the headers is a writer's mistake; the pixels then follow
    // the palette.
    size_t pixelOffset = in.Position();
    if (pixelOffsetField >= FileHeaderSize + info.HeaderSize) {
        if (pixelOffsetField > in.Length()) return ERROR_FILE_CORRUPT;
        pixelOffset = pixelOffsetField;
    }

    // Decide the bitmap's depth and how rows are converted.
    int outBpp = info.Bpp;
    Layout layout = Layout::Copy;
    const uint32_t redMask = info.Masks[0], greenMask = info.Masks[1], blueMask = info.Masks[2];
    const uint32_t alphaMask = info.Masks[3];
    if (info.Bpp == 16) {
        if (!fields || (redMask == 0x7C00 && greenMask == 0x03E0 && blueMask == 0x001F &&
                        (alphaMask == 0 || alphaMask == 0x8000))) {
            layout = Layout::Rgb555;
        } else {
            layout = Layout::Fields16;
            outBpp = alphaMask ? 32 : 24;
        }
    } else if (info.Bpp == 32 && fields) {
        const bool bgr = redMask == 0xFF0000 && greenMask == 0xFF00 && blueMask == 0xFF;
        if (bgr && alphaMask == 0xFF000000u)
            layout = Layout::Copy;
        else if (bgr && alphaMask == 0)
            layout = Layout::Bgrx32;
        else
            layout = Layout::Fields32;
    }

    const bool rle = info.Compression == BI_RLE8 || info.Compression == BI_RLE4;
    const uint64_t stride = ((uint64_t(info.Width) * uint64_t(info.Bpp) + 31) / 32) * 4;
    const uint64_t lastRowBytes = (uint64_t(info.Width) * uint64_t(info.Bpp) + 7) / 8;
    if (!in.Seek(pixelOffset)) return ERROR_FILE_CORRUPT;
    // The pixel limit first, then a file too short for its rows is refused before allocating.
    if (info.Width > (int64_t(1) << 24) || info.Height > (int64_t(1) << 24) ||
        uint64_t(info.Width) * uint64_t(info.Height) > L_GetMaxPixels())
        return ERROR_IMAGE_TOO_LARGE;
    if (!rle && stride * uint64_t(info.Height - 1) + lastRowBytes > in.Remaining())
        return ERROR_FILE_CORRUPT;

    status = AllocateChecked(out, info.Width, info.Height, outBpp);
    if (status != SUCCESS) return status;
    out.Palette = std::move(palette);
    const int width = out.Width, height = out.Height;

    if (rle) return DecodeRle(in, info, out, progress);

    const Channel red(redMask), green(greenMask), blue(blueMask), alpha(alphaMask);
    const uint8_t* pixels = in.Data() + pixelOffset;
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = pixels + stride * uint64_t(y);
        uint8_t* dst = out.Row(info.TopDown ? y : height - 1 - y);
        switch (layout) {
            case Layout::Copy:
                std::memcpy(dst, src, size_t(lastRowBytes));
                break;
            case Layout::Rgb555:
                for (int x = 0; x < width; ++x) {
                    dst[2 * x] = src[2 * x];
                    dst[2 * x + 1] = src[2 * x + 1] & 0x7F;
                }
                break;
            case Layout::Fields16: {
                const int channels = outBpp / 8;
                for (int x = 0; x < width; ++x) {
                    const uint32_t p = uint32_t(src[2 * x]) | (uint32_t(src[2 * x + 1]) << 8);
                    uint8_t* d = dst + size_t(x) * size_t(channels);
                    d[0] = blue.Get(p);
                    d[1] = green.Get(p);
                    d[2] = red.Get(p);
                    if (channels == 4) d[3] = alpha.Get(p);
                }
                break;
            }
            case Layout::Bgrx32:
                std::memcpy(dst, src, size_t(lastRowBytes));
                for (int x = 0; x < width; ++x) dst[4 * x + 3] = 255;
                break;
            case Layout::Fields32:
                for (int x = 0; x < width; ++x) {
                    const uint32_t p = Le32(src + 4 * x);
                    uint8_t* d = dst + 4 * size_t(x);
                    d[0] = blue.Get(p);
                    d[1] = green.Get(p);
                    d[2] = red.Get(p);
                    d[3] = alphaMask ? alpha.Get(p) : 255;
                }
                break;
        }
        if (!progress.Report(int64_t(y + 1) * 100 / height)) return ERROR_USER_ABORT;
    }
    if (outBpp == 32 && (layout == Layout::Copy || alphaMask != 0)) FillAlphaWhereAllZero(out);
    return SUCCESS;
}

CodecEntry MakeBmpCodec() {
    return CodecEntry{"BMP", FILE_BMP, {FILE_BMP}, {1, 4, 8, 16, 24, 32},
                      10,    SniffBmp, ReadBmp,    WriteBmp};
}

}  // namespace kivo
