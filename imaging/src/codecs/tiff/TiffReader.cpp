#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "codecs/tiff/Tiff.h"
#include "codecs/tiff/TiffIo.h"
#include "kivo/imaging/File.h"
#include "kivo/imaging/Geometry.h"

namespace kivo {
namespace {

// Upper bound of one decoded strip or band of tiles; a picture within the pixel limit never
// needs more, a damaged tile size might ask for it.
constexpr uint64_t MaxBandBytes = uint64_t(1) << 31;
constexpr tmsize_t MaxLibtiffAlloc = tmsize_t(512) << 20;

struct MemoryFile {
    const uint8_t* Data;
    uint64_t Size;
    uint64_t Pos;
};

tmsize_t MemRead(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<MemoryFile*>(h);
    if (n <= 0 || f->Pos >= f->Size) return 0;
    const uint64_t count = std::min<uint64_t>(uint64_t(n), f->Size - f->Pos);
    std::memcpy(buf, f->Data + f->Pos, size_t(count));
    f->Pos += count;
    return tmsize_t(count);
}

tmsize_t MemWrite(thandle_t, void*, tmsize_t) { return -1; }

toff_t MemSeek(thandle_t h, toff_t offset, int whence) {
    auto* f = static_cast<MemoryFile*>(h);
    const uint64_t base = whence == SEEK_CUR ? f->Pos : whence == SEEK_END ? f->Size : 0;
    // Relative offsets arrive as unsigned two's complement; the sum wraps as intended.
    const uint64_t target = base + offset;
    if (target > uint64_t(std::numeric_limits<int64_t>::max())) return toff_t(-1);
    f->Pos = target;
    return target;
}

int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return static_cast<MemoryFile*>(h)->Size; }

// Reading through the "map" lets libtiff decode strips straight from the buffer, no copy.
int MemMap(thandle_t h, void** base, toff_t* size) {
    auto* f = static_cast<MemoryFile*>(h);
    *base = const_cast<uint8_t*>(f->Data);
    *size = f->Size;
    return 1;
}
void MemUnmap(thandle_t, void*, toff_t) {}

enum class SampleKind { Grey, Palette, Rgb, Cmyk };

struct Layout {
    uint32_t Width = 0;
    uint32_t Height = 0;
    int Bps = 0;
    int Spp = 0;
    bool Separate = false;
    SampleKind Kind = SampleKind::Grey;
    bool MinIsWhite = false;
    int Colours = 1;          // colour samples before the alpha sample
    bool Alpha = false;
    bool Associated = false;  // premultiplied alpha
    int OutBpp = 0;
};

template <typename T>
inline unsigned Load(const uint8_t* p, size_t index) {
    if constexpr (sizeof(T) == 1) {
        return p[index];
    } else {
        uint16_t v;
        std::memcpy(&v, p + 2 * index, 2);  // libtiff hands samples over in host order
        return v;
    }
}

template <typename T>
inline unsigned To8(unsigned v) {
    if constexpr (sizeof(T) == 1)
        return v;
    else
        return (v + 128) / 257;
}

inline void Unpremultiply(uint8_t* bgra) {
    const unsigned a = bgra[3];
    if (a == 255) return;
    for (int c = 0; c < 3; ++c)
        bgra[c] = a == 0 ? 0 : uint8_t(std::min(255u, (bgra[c] * 255u + a / 2) / a));
}

// Colour pictures (grey with alpha, RGB, CMYK; optional alpha) into 24 or 32 bits. Channel s
// of pixel x is base[s][x * step].
template <typename T>
void ColourRow(const Layout& l, const uint8_t* const* planes, uint8_t* dst) {
    const uint8_t* base[5];
    const size_t step = l.Separate ? 1 : size_t(l.Spp);
    const int used = l.Colours + (l.Alpha ? 1 : 0);
    for (int s = 0; s < used; ++s)
        base[s] = l.Separate ? planes[s] : planes[0] + s * sizeof(T);
    auto sample = [&](int s, uint32_t x) {
        return To8<T>(Load<T>(base[s], size_t(x) * step));
    };
    const int outStep = l.OutBpp / 8;
    for (uint32_t x = 0; x < l.Width; ++x, dst += outStep) {
        if (l.Kind == SampleKind::Grey) {
            unsigned v = sample(0, x);
            if (l.MinIsWhite) v = 255 - v;
            dst[0] = dst[1] = dst[2] = uint8_t(v);
        } else if (l.Kind == SampleKind::Rgb) {
            dst[0] = uint8_t(sample(2, x));
            dst[1] = uint8_t(sample(1, x));
            dst[2] = uint8_t(sample(0, x));
        } else {
            // At the samples' own precision, so 16-bit files are rounded once.
            constexpr unsigned max = sizeof(T) == 1 ? 255 : 65535;
            auto raw = [&](int s) { return Load<T>(base[s], size_t(x) * step); };
            const unsigned k = max - raw(3);
            for (int c = 0; c < 3; ++c)
                dst[2 - c] = uint8_t(To8<T>(((max - raw(c)) * k + max / 2) / max));
        }
        if (l.Alpha) {
            dst[3] = uint8_t(sample(l.Colours, x));
            if (l.Associated) Unpremultiply(dst);
        }
    }
}

// One-sample grey or palette indices into a 1-, 4- or 8-bit bitmap row.
void IndexRow(const Layout& l, const uint8_t* src, uint8_t* dst) {
    const uint32_t w = l.Width;
    const bool invert = l.MinIsWhite;
    switch (l.Bps) {
    case 1:
    case 4:
    case 8: {
        const size_t n = (size_t(w) * l.Bps + 7) / 8;
        if (invert)
            for (size_t i = 0; i < n; ++i) dst[i] = uint8_t(~src[i]);
        else
            std::memcpy(dst, src, n);
        break;
    }
    case 2:
        std::memset(dst, 0, (size_t(w) + 1) / 2);
        for (uint32_t x = 0; x < w; ++x) {
            unsigned v = (src[x / 4] >> (6 - 2 * (x % 4))) & 3;
            if (invert) v = 3 - v;
            dst[x / 2] |= uint8_t(x % 2 ? v : v << 4);
        }
        break;
    case 16:
        for (uint32_t x = 0; x < w; ++x) {
            unsigned v = Load<uint16_t>(src, x);
            if (invert) v = 65535 - v;
            dst[x] = uint8_t(To8<uint16_t>(v));
        }
        break;
    }
}

// Clears the bytes past the last pixel of a row, so padding never holds stale memory.
void ClearPadding(BitmapHandle& out, int y) {
    const size_t used = (size_t(out.Width) * out.BitsPerPixel + 7) / 8;
    std::memset(out.Row(y) + used, 0, size_t(out.BytesPerLine) - used);
}

// Classifies the first directory; false when only TIFFReadRGBAImage can decode it.
bool Classify(TIFF* t, Layout& l) {
    uint16_t bps = 1, spp = 1, planar = PLANARCONFIG_CONTIG, photometric = 0, compression = 1,
             format = SAMPLEFORMAT_UINT, extraCount = 0;
    uint16_t* extraTypes = nullptr;
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
    if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric))
        photometric = spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    if (compression == COMPRESSION_JPEG && photometric == PHOTOMETRIC_YCBCR) {
        // libjpeg does the colour conversion and the chroma upsampling.
        if (!TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB)) return false;
        photometric = PHOTOMETRIC_RGB;
    }
    l.Bps = bps;
    l.Spp = spp;
    l.Separate = planar == PLANARCONFIG_SEPARATE && spp > 1;
    if (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_VOID) return false;
    const bool wide = bps == 8 || bps == 16;
    switch (photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
        l.Kind = SampleKind::Grey;
        l.MinIsWhite = photometric == PHOTOMETRIC_MINISWHITE;
        l.Colours = 1;
        if (spp == 1 && (bps == 1 || bps == 2 || bps == 4 || wide)) break;
        if (spp >= 2 && wide) break;
        return false;
    case PHOTOMETRIC_PALETTE:
        l.Kind = SampleKind::Palette;
        l.Colours = 1;
        if (spp == 1 && (bps == 1 || bps == 2 || bps == 4 || bps == 8)) break;
        return false;
    case PHOTOMETRIC_RGB:
        l.Kind = SampleKind::Rgb;
        l.Colours = 3;
        if (spp >= 3 && wide) break;
        return false;
    case PHOTOMETRIC_SEPARATED: {
        uint16_t inkSet = INKSET_CMYK;
        TIFFGetFieldDefaulted(t, TIFFTAG_INKSET, &inkSet);
        l.Kind = SampleKind::Cmyk;
        l.Colours = 4;
        if (inkSet == INKSET_CMYK && spp >= 4 && wide) break;
        return false;
    }
    default:
        return false;
    }
    l.Alpha = spp > l.Colours;
    l.Associated = l.Alpha && extraCount > 0 && extraTypes && extraTypes[0] == EXTRASAMPLE_ASSOCALPHA;
    if (l.Alpha)
        l.OutBpp = 32;
    else if (l.Kind == SampleKind::Rgb || l.Kind == SampleKind::Cmyk)
        l.OutBpp = 24;
    else
        l.OutBpp = bps == 1 ? 1 : bps <= 4 ? 4 : 8;
    return true;
}

int SetPalette(TIFF* t, const Layout& l, BitmapHandle& out) {
    const size_t entries = size_t(1) << std::min(l.Bps, 8);
    out.Palette.assign(entries, RgbQuad{});
    if (l.Kind == SampleKind::Grey) {
        for (size_t i = 0; i < entries; ++i) {
            const uint8_t v = uint8_t(i * 255 / (entries - 1));
            out.Palette[i] = RgbQuad{v, v, v, 0};
        }
        return SUCCESS;
    }
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!TIFFGetField(t, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
        return ERROR_FILE_CORRUPT;
    // Old writers stored 8-bit values in the 16-bit colormap; no entry above 255 gives them
    // away.
    bool eightBit = true;
    for (size_t i = 0; i < entries; ++i)
        if (red[i] > 255 || green[i] > 255 || blue[i] > 255) eightBit = false;
    auto scale = [&](uint16_t v) { return uint8_t(eightBit ? v : (unsigned(v) + 128) / 257); };
    for (size_t i = 0; i < entries; ++i)
        out.Palette[i] = RgbQuad{scale(blue[i]), scale(green[i]), scale(red[i]), 0};
    return SUCCESS;
}

// Decodes band after band (a strip, or a row of tiles) into contiguous per-plane rows and
// converts them.
int ReadBands(TIFF* t, const Layout& l, BitmapHandle& out, Progress& progress) {
    const int planes = l.Separate ? l.Spp : 1;
    const uint64_t pixelBits = uint64_t(l.Bps) * (l.Separate ? 1 : l.Spp);
    const uint64_t rowBytes = (uint64_t(l.Width) * pixelBits + 7) / 8;
    const bool tiled = TIFFIsTiled(t);
    uint32_t bandRows = 0, tileWidth = 0;
    uint64_t tileRowBytes = 0, tileBytes = 0;
    if (tiled) {
        uint32_t tileLength = 0;
        if (!TIFFGetField(t, TIFFTAG_TILEWIDTH, &tileWidth) ||
            !TIFFGetField(t, TIFFTAG_TILELENGTH, &tileLength) || tileWidth == 0 || tileLength == 0)
            return ERROR_FILE_CORRUPT;
        if (uint64_t(tileWidth) * tileLength > L_GetMaxPixels()) return ERROR_IMAGE_TOO_LARGE;
        // Tiles must start on byte boundaries to be copied into rows.
        if ((uint64_t(tileWidth) * pixelBits) % 8 != 0) return ERROR_FILE_CORRUPT;
        tileRowBytes = uint64_t(tileWidth) * pixelBits / 8;
        tileBytes = tileRowBytes * tileLength;
        if (TIFFTileSize64(t) != tileBytes || tileBytes > MaxBandBytes) return ERROR_FILE_CORRUPT;
        bandRows = std::min(tileLength, l.Height);
    } else {
        uint32_t rowsPerStrip = l.Height;
        TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        bandRows = std::clamp<uint32_t>(rowsPerStrip, 1, l.Height);
    }
    const uint64_t bandBytes = rowBytes * bandRows;
    if (bandBytes * planes > MaxBandBytes) return ERROR_IMAGE_TOO_LARGE;
    std::vector<uint8_t> band(static_cast<size_t>(bandBytes) * planes);
    std::vector<uint8_t> tile(static_cast<size_t>(tileBytes));

    for (uint32_t y = 0; y < l.Height; y += bandRows) {
        const uint32_t rows = std::min(bandRows, l.Height - y);
        for (int p = 0; p < planes; ++p) {
            uint8_t* dst = band.data() + bandBytes * p;
            if (!tiled) {
                const tmsize_t want = tmsize_t(rowBytes * rows);
                const tstrip_t strip = TIFFComputeStrip(t, y, uint16_t(p));
                if (strip >= TIFFNumberOfStrips(t) ||
                    TIFFReadEncodedStrip(t, strip, dst, want) < want)
                    return ERROR_FILE_CORRUPT;
                continue;
            }
            for (uint32_t x = 0; x < l.Width; x += tileWidth) {
                const ttile_t index = TIFFComputeTile(t, x, y, 0, uint16_t(p));
                if (index >= TIFFNumberOfTiles(t) ||
                    TIFFReadEncodedTile(t, index, tile.data(), tmsize_t(tileBytes)) <
                        tmsize_t(tileBytes))
                    return ERROR_FILE_CORRUPT;
                const uint32_t cols = std::min(tileWidth, l.Width - x);
                const size_t offset = size_t(uint64_t(x) * pixelBits / 8);
                const size_t bytes = size_t((uint64_t(cols) * pixelBits + 7) / 8);
                for (uint32_t r = 0; r < rows; ++r)
                    std::memcpy(dst + rowBytes * r + offset, tile.data() + tileRowBytes * r, bytes);
            }
        }
        for (uint32_t r = 0; r < rows; ++r) {
            const uint8_t* planeRows[5] = {};
            for (int p = 0; p < planes && p < 5; ++p)
                planeRows[p] = band.data() + bandBytes * p + rowBytes * r;
            uint8_t* dst = out.Row(int(y + r));
            if (l.OutBpp <= 8)
                IndexRow(l, planeRows[0], dst);
            else if (l.Bps == 8)
                ColourRow<uint8_t>(l, planeRows, dst);
            else
                ColourRow<uint16_t>(l, planeRows, dst);
            ClearPadding(out, int(y + r));
            if (!progress.Report(int64_t(y + r + 1) * 100 / l.Height)) return ERROR_USER_ABORT;
        }
    }
    return SUCCESS;
}

// Rows are stored in the order the Orientation tag names; the bitmap is turned so that its
// first row is the picture's top and its first column the left side. Quarter turns are exact,
// and a mirror after a quarter turn gives the transposed orientations.
int TurnUpright(BitmapHandle& out, uint16_t orientation) {
    switch (orientation) {
        case ORIENTATION_TOPRIGHT: return L_ReverseBitmap(&out);
        case ORIENTATION_BOTRIGHT: return L_RotateBitmap(&out, 18000, ROTATE_RESIZE);
        case ORIENTATION_BOTLEFT: return L_FlipBitmap(&out);
        case ORIENTATION_LEFTTOP: {
            const int status = L_RotateBitmap(&out, 9000, ROTATE_RESIZE);
            return status == SUCCESS ? L_ReverseBitmap(&out) : status;
        }
        case ORIENTATION_RIGHTTOP: return L_RotateBitmap(&out, 9000, ROTATE_RESIZE);
        case ORIENTATION_RIGHTBOT: {
            const int status = L_RotateBitmap(&out, 9000, ROTATE_RESIZE);
            return status == SUCCESS ? L_FlipBitmap(&out) : status;
        }
        case ORIENTATION_LEFTBOT: return L_RotateBitmap(&out, -9000, ROTATE_RESIZE);
        default: return SUCCESS;  // top-left, or a value no writer uses
    }
}

// The last resort for layouts we do not convert ourselves; libtiff gives premultiplied RGBA.
int ReadThroughRgba(TIFF* t, const Layout& l, BitmapHandle& out, Progress& progress) {
    char message[1024];
    if (!TIFFRGBAImageOK(t, message)) return ERROR_FEATURE_NOT_SUPPORTED;
    uint16_t extraCount = 0;
    uint16_t* extraTypes = nullptr;
    TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
    const bool alpha = extraCount > 0;
    int status = AllocateChecked(out, l.Width, l.Height, alpha ? 32 : 24);
    if (status != SUCCESS) return status;
    std::vector<uint32_t> raster(size_t(l.Width) * l.Height);
    if (!TIFFReadRGBAImageOriented(t, l.Width, l.Height, raster.data(), ORIENTATION_TOPLEFT, 1))
        return ERROR_FILE_CORRUPT;
    for (uint32_t y = 0; y < l.Height; ++y) {
        const uint32_t* src = raster.data() + size_t(y) * l.Width;
        uint8_t* dst = out.Row(int(y));
        for (uint32_t x = 0; x < l.Width; ++x) {
            const uint32_t p = src[x];
            uint8_t* d = dst + x * (alpha ? 4 : 3);
            d[0] = uint8_t(TIFFGetB(p));
            d[1] = uint8_t(TIFFGetG(p));
            d[2] = uint8_t(TIFFGetR(p));
            if (alpha) {
                d[3] = uint8_t(TIFFGetA(p));
                Unpremultiply(d);
            }
        }
        ClearPadding(out, int(y));
    }
    return progress.Report(100) ? SUCCESS : ERROR_USER_ABORT;
}

bool SniffTiff(const uint8_t* head, size_t size) {
    if (size < 4) return false;
    // Classic TIFF is version 42, BigTIFF 43, in either byte order.
    const bool little = head[0] == 'I' && head[1] == 'I' && head[3] == 0 &&
                        (head[2] == 42 || head[2] == 43);
    const bool big = head[0] == 'M' && head[1] == 'M' && head[2] == 0 &&
                     (head[3] == 42 || head[3] == 43);
    return little || big;
}

}  // namespace

int ReadTiff(ByteReader& in, BitmapHandle& out, Progress& progress) {
    MemoryFile file{in.Data(), in.Length(), 0};
    tiff::OptionsPtr options = tiff::QuietOptions(MaxLibtiffAlloc);
    if (!options) return ERROR_NO_MEMORY;
    tiff::TiffPtr tif(TIFFClientOpenExt("memory", "r", &file, MemRead, MemWrite, MemSeek, MemClose,
                                        MemSize, MemMap, MemUnmap, options.get()));
    if (!tif) return ERROR_FILE_CORRUPT;
    TIFF* t = tif.get();
    Layout l;
    if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &l.Width) ||
        !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &l.Height) || l.Width == 0 || l.Height == 0)
        return ERROR_FILE_CORRUPT;
    if (uint64_t(l.Width) * l.Height > L_GetMaxPixels()) return ERROR_IMAGE_TOO_LARGE;
    if (!Classify(t, l)) return ReadThroughRgba(t, l, out, progress);
    int status = AllocateChecked(out, l.Width, l.Height, l.OutBpp);
    if (status != SUCCESS) return status;
    if (l.OutBpp <= 8 && (status = SetPalette(t, l, out)) != SUCCESS) return status;
    if ((status = ReadBands(t, l, out, progress)) != SUCCESS) return status;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &orientation);
    return TurnUpright(out, orientation);
}

CodecEntry MakeTiffCodec() {
    return CodecEntry{"TIFF",          FILE_TIF, {FILE_TIF}, {1, 4, 8, 16, 24, 32},
                      10,              SniffTiff, ReadTiff,  WriteTiff};
}

}  // namespace kivo
