#include "FastBMP.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <vector>

namespace kivo::morefilters {

namespace {

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;
constexpr uint32_t BI_ALPHABITFIELDS = 6;

constexpr size_t FileHeaderSize = 14;

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
int32_t I32(const uint8_t* p) { return int32_t(U32(p)); }

void PutU16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v) {
    PutU16(p, v);
    PutU16(p + 2, v >> 16);
}

struct TColour {
    uint8_t B = 0, G = 0, R = 0;
};

// One channel of a 16- or 32-bit pixel described by a bit mask, widened to 8 bits by repeating
// its bits from the top (5 bits abcde become abcdeabc), so full scale stays 255 and zero stays 0.
struct TMaskChannel {
    uint32_t Mask = 0;
    int Shift = 0;
    int Bits = 0;

    explicit TMaskChannel(uint32_t mask) : Mask(mask) {
        if (mask == 0) return;
        Shift = std::countr_zero(mask);
        Bits = std::min(std::popcount(mask >> Shift), 32);
    }
    uint8_t Get(uint32_t pixel) const {
        if (Bits == 0) return 0;
        const uint32_t v = (pixel & Mask) >> Shift;
        if (Bits >= 8) return uint8_t(v >> (Bits - 8));
        uint32_t out = 0;
        for (int filled = 0; filled < 8; filled += Bits) out = (out << Bits) | v;
        const int total = ((8 + Bits - 1) / Bits) * Bits;
        return uint8_t(out >> (total - 8));
    }
};

struct THeader {
    int64_t Width = 0;
    int64_t Height = 0;  // negative: top-down rows
    uint32_t BitCount = 0;
    uint32_t Compression = BI_RGB;
    uint32_t ColoursUsed = 0;
    uint32_t Masks[3] = {0, 0, 0};  // red, green, blue
    bool HasMasks = false;
    size_t PaletteEntrySize = 4;
    size_t PaletteOffset = 0;  // file offset of the colour table
};

[[noreturn]] void Fail(const char* what) { throw EFastBMPError(what); }

THeader ReadHeader(const uint8_t* data, size_t size) {
    if (size < FileHeaderSize + 12 || data[0] != 'B' || data[1] != 'M') Fail("not a BMP file");
    THeader h;
    const uint8_t* ih = data + FileHeaderSize;
    const uint32_t headerSize = U32(ih);
    if (headerSize < 12 || FileHeaderSize + headerSize > size) Fail("truncated BMP header");
    if (headerSize == 12) {
        // OS/2 1.x / Windows 2 core header: 16-bit sizes, 3-byte palette entries.
        h.Width = U16(ih + 4);
        h.Height = U16(ih + 6);
        h.BitCount = U16(ih + 10);
        h.PaletteEntrySize = 3;
    } else {
        if (headerSize < 16) Fail("bad BMP header size");
        h.Width = I32(ih + 4);
        h.Height = I32(ih + 8);
        h.BitCount = U16(ih + 14);
        if (headerSize >= 20) h.Compression = U32(ih + 16);
        if (headerSize >= 36) h.ColoursUsed = U32(ih + 32);
        const bool os2v2 =
            headerSize == 16 || headerSize == 64 || (headerSize > 40 && headerSize < 52);
        if (os2v2 && h.Compression > BI_RLE4) Fail("unsupported OS/2 BMP compression");
        if (!os2v2 && headerSize >= 52) {
            h.Masks[0] = U32(ih + 40);
            h.Masks[1] = U32(ih + 44);
            h.Masks[2] = U32(ih + 48);
            h.HasMasks = h.Compression == BI_BITFIELDS || h.Compression == BI_ALPHABITFIELDS;
        } else if (headerSize == 40 &&
                   (h.Compression == BI_BITFIELDS || h.Compression == BI_ALPHABITFIELDS)) {
            // The masks follow a plain 40-byte header.
            const size_t maskBytes = h.Compression == BI_ALPHABITFIELDS ? 16 : 12;
            if (FileHeaderSize + 40 + maskBytes > size) Fail("truncated BMP bit fields");
            for (int i = 0; i < 3; ++i) h.Masks[i] = U32(ih + 40 + 4 * i);
            h.HasMasks = true;
            h.PaletteOffset = FileHeaderSize + 40 + maskBytes;
        }
    }
    if (h.PaletteOffset == 0) h.PaletteOffset = FileHeaderSize + headerSize;

    if (h.Width <= 0 || h.Height == 0 || h.Height == std::numeric_limits<int32_t>::min())
        Fail("bad BMP size");
    switch (h.BitCount) {
        case 1:
        case 4:
        case 8:
            if (!(h.Compression == BI_RGB || (h.Compression == BI_RLE8 && h.BitCount == 8) ||
                  (h.Compression == BI_RLE4 && h.BitCount == 4)))
                Fail("unsupported BMP compression");
            break;
        case 16:
        case 32:
            if (h.Compression != BI_RGB && !h.HasMasks) Fail("unsupported BMP compression");
            break;
        case 24:
            if (h.Compression != BI_RGB) Fail("unsupported BMP compression");
            break;
        default:
            Fail("unsupported BMP depth");
    }
    return h;
}

std::vector<TColour> ReadPalette(const THeader& h, const uint8_t* data, size_t pixelOffset) {
    std::vector<TColour> palette;
    if (h.BitCount > 8) return palette;
    const size_t maxEntries = size_t(1) << h.BitCount;
    size_t count = h.ColoursUsed == 0 ? maxEntries : std::min<size_t>(h.ColoursUsed, maxEntries);
    // A palette never reaches into the pixel data.
    if (pixelOffset < h.PaletteOffset) count = 0;
    count = std::min(count, (pixelOffset - h.PaletteOffset) / h.PaletteEntrySize);
    palette.resize(maxEntries);  // missing entries stay black
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* e = data + h.PaletteOffset + i * h.PaletteEntrySize;
        palette[i] = TColour{e[0], e[1], e[2]};
    }
    return palette;
}

// Decodes an RLE8 or RLE4 stream. Rows arrive bottom-first for a bottom-up file.
void DecodeRle(const THeader& h, const uint8_t* p, const uint8_t* end,
               const std::vector<TColour>& palette, TFastBMP& bmp) {
    const bool rle4 = h.Compression == BI_RLE4;
    const bool bottomUp = h.Height > 0;
    int64_t x = 0;
    int64_t line = 0;  // lines in file order
    auto put = [&](uint32_t index) {
        if (x < bmp.Width && line < bmp.Height) {
            const int y = bottomUp ? int(bmp.Height - 1 - line) : int(line);
            const TColour& c = palette[index];
            uint8_t* px = bmp.Pixel(int(x), y);
            px[0] = c.B;
            px[1] = c.G;
            px[2] = c.R;
        }
        ++x;
    };
    while (p + 2 <= end && line < bmp.Height) {
        const uint8_t count = p[0];
        const uint8_t value = p[1];
        p += 2;
        if (count > 0) {
            for (unsigned i = 0; i < count; ++i)
                put(rle4 ? ((i & 1) ? value & 0x0F : value >> 4) : value);
        } else if (value == 0) {
            x = 0;
            ++line;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            if (p + 2 > end) break;
            x += p[0];
            line += p[1];
            p += 2;
        } else {
            const size_t bytes = rle4 ? (size_t(value) + 1) / 2 : value;
            if (size_t(end - p) < bytes) break;
            for (unsigned i = 0; i < value; ++i)
                put(rle4 ? ((i & 1) ? p[i / 2] & 0x0F : p[i / 2] >> 4) : p[i]);
            p += bytes + (bytes & 1);  // absolute runs are padded to 16 bits
        }
    }
}

void DecodeRows(const THeader& h, const uint8_t* pixels, const std::vector<TColour>& palette,
                TFastBMP& bmp) {
    const uint64_t srcStride = ((uint64_t(bmp.Width) * h.BitCount + 31) / 32) * 4;
    const bool bottomUp = h.Height > 0;
    uint32_t masks[3] = {h.Masks[0], h.Masks[1], h.Masks[2]};
    if (!h.HasMasks) {
        if (h.BitCount == 16) {
            masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
        } else {
            masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
        }
    }
    const TMaskChannel red(masks[0]), green(masks[1]), blue(masks[2]);
    for (int line = 0; line < bmp.Height; ++line) {
        const uint8_t* src = pixels + srcStride * uint64_t(line);
        uint8_t* dst = bmp.RowTable[size_t(bottomUp ? bmp.Height - 1 - line : line)];
        switch (h.BitCount) {
            case 1:
            case 4:
            case 8: {
                const unsigned bits = h.BitCount;
                const unsigned perByte = 8 / bits;
                const unsigned mask = (1u << bits) - 1;
                for (int x = 0; x < bmp.Width; ++x) {
                    const unsigned shift = 8 - bits * (1 + unsigned(x) % perByte);
                    const TColour& c = palette[(src[x / perByte] >> shift) & mask];
                    dst[3 * x] = c.B;
                    dst[3 * x + 1] = c.G;
                    dst[3 * x + 2] = c.R;
                }
                break;
            }
            case 16:
            case 32:
                for (int x = 0; x < bmp.Width; ++x) {
                    const uint32_t v = h.BitCount == 16 ? U16(src + 2 * x) : U32(src + 4 * x);
                    dst[3 * x] = blue.Get(v);
                    dst[3 * x + 1] = green.Get(v);
                    dst[3 * x + 2] = red.Get(v);
                }
                break;
            case 24:
                std::memcpy(dst, src, 3 * size_t(bmp.Width));
                break;
        }
    }
}

}  // namespace

TFastBMP::TFastBMP(int width, int height) {
    if (width < 1 || height < 1) throw EFastBMPError("picture size must be at least 1 x 1");
    const int64_t stride = 3 * int64_t(width) + width % 4;
    if (stride * height > std::numeric_limits<int32_t>::max())
        throw EFastBMPError("picture too large");
    Width = width;
    Height = height;
    Storage = std::make_unique<uint8_t[]>(size_t(stride * height));  // zero-filled
    PixelData = Storage.get();
    BuildRows();
}

TFastBMP::~TFastBMP() = default;

void TFastBMP::BuildRows() {
    RowPadding = Width % 4;
    RowStride = RowPadding + 3 * Width;
    DataSize = RowStride * Height;
    RowTable.resize(size_t(Height));
    for (int y = 0; y < Height; ++y) RowTable[size_t(y)] = PixelData + size_t(y) * RowStride;
}

std::unique_ptr<TFastBMP> TFastBMP::CreateCopy(const TFastBMP& other) {
    auto copy = std::make_unique<TFastBMP>(other.Width, other.Height);
    std::memcpy(copy->PixelData, other.PixelData, size_t(other.DataSize));
    return copy;
}

std::unique_ptr<TFastBMP> TFastBMP::CreateFromMemory(const uint8_t* data, size_t size) {
    const THeader h = ReadHeader(data, size);
    const int64_t height = h.Height < 0 ? -h.Height : h.Height;
    if (h.Width > std::numeric_limits<int32_t>::max() ||
        height > std::numeric_limits<int32_t>::max())
        Fail("bad BMP size");
    size_t pixelOffset = U32(data + 10);
    if (pixelOffset == 0) {
        // Some writers leave the offset empty; the pixels then follow a full colour table.
        pixelOffset = h.PaletteOffset;
        if (h.BitCount <= 8) pixelOffset += (size_t(1) << h.BitCount) * h.PaletteEntrySize;
    }
    if (pixelOffset > size) Fail("BMP pixel offset beyond the file");
    const std::vector<TColour> palette = ReadPalette(h, data, pixelOffset);

    if (h.Compression != BI_RLE8 && h.Compression != BI_RLE4) {
        // Checked before allocating, so a short file cannot ask for a large block.
        const uint64_t srcStride = ((uint64_t(h.Width) * h.BitCount + 31) / 32) * 4;
        if (srcStride * uint64_t(height) > size - pixelOffset) Fail("truncated BMP pixel data");
    }
    auto bmp = std::make_unique<TFastBMP>(int(h.Width), int(height));
    if (h.Compression == BI_RLE8 || h.Compression == BI_RLE4)
        DecodeRle(h, data + pixelOffset, data + size, palette, *bmp);
    else
        DecodeRows(h, data + pixelOffset, palette, *bmp);
    return bmp;
}

std::unique_ptr<TFastBMP> TFastBMP::CreateFromFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw EFastBMPError("cannot open " + path);
    const std::streamoff size = in.tellg();
    if (size < 0) throw EFastBMPError("cannot read " + path);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size))
        throw EFastBMPError("cannot read " + path);
    return CreateFromMemory(bytes.data(), bytes.size());
}

bool TFastBMP::SaveToFile(const std::string& path) const {
    constexpr uint32_t headersSize = FileHeaderSize + 40;
    uint8_t header[headersSize] = {};
    header[0] = 'B';
    header[1] = 'M';
    PutU32(header + 2, headersSize + uint32_t(DataSize));
    PutU32(header + 10, headersSize);
    PutU32(header + 14, 40);
    PutU32(header + 18, uint32_t(Width));
    PutU32(header + 22, uint32_t(Height));  // positive: bottom-up rows, the usual form
    PutU16(header + 26, 1);
    PutU16(header + 28, 24);
    PutU32(header + 34, uint32_t(DataSize));

    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    FILE* out = fdopen(fd, "wb");
    if (!out) {
        close(fd);
        unlink(temp.c_str());
        return false;
    }
    bool ok = std::fwrite(header, 1, headersSize, out) == headersSize;
    std::vector<uint8_t> row(size_t(RowStride), 0);  // padding bytes are written as zeros
    for (int y = Height - 1; ok && y >= 0; --y) {
        std::memcpy(row.data(), RowTable[size_t(y)], 3 * size_t(Width));
        ok = std::fwrite(row.data(), 1, row.size(), out) == row.size();
    }
    ok = std::fclose(out) == 0 && ok;
    // mkstemp creates the file private; give the result the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    ok = ok && chmod(temp.c_str(), 0666 & ~mask) == 0;
    ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok;
}

}  // namespace kivo::morefilters
