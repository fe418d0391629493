#include "codecs/png/PngStream.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/PaletteIndex.h"
#include "core/ParallelRows.h"
#include "core/Swizzle.h"

namespace kivo {
namespace {

constexpr size_t Window = 32768;           // deflate's dictionary size
constexpr size_t BandBytes = size_t(1) << 20;      // filtered bytes per band, at most
constexpr size_t MinBandBytes = size_t(1) << 16;   // and at least, unless a row is longer

void Chunk(ByteWriter& out, const char type[4], const uint8_t* data, size_t size) {
    out.U32BE(uint32_t(size));
    out.Write(type, 4);
    if (size) out.Write(data, size);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    if (size) crc = crc32_z(crc, data, size);
    out.U32BE(uint32_t(crc));
}

// One row as the PNG stream holds it: the filter byte, then the samples in PNG order.
void FilterRow(const BitmapHandle& bmp, int y, const PngStreamLayout& layout, size_t rowBytes,
               uint8_t* __restrict raw, uint8_t* __restrict dst) {
    const uint8_t* src = bmp.Row(y);
    const int bpp = bmp.BitsPerPixel;
    const size_t width = size_t(bmp.Width);
    uint8_t* samples = layout.SubFilter ? raw : dst + 1;
    if (bpp == 24) {
        SwapRedBlue24(src, samples, width);
    } else if (bpp == 32) {
        for (size_t x = 0; x < width; ++x) {
            uint32_t v;
            std::memcpy(&v, src + 4 * x, 4);
            v = (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16);
            std::memcpy(samples + 4 * x, &v, 4);
        }
    } else {
        std::memcpy(samples, src, rowBytes);
        ClearTrailingBits(samples, bmp.Width, bpp);
    }
    if (!layout.SubFilter) {
        dst[0] = 0;
        return;
    }
    dst[0] = 1;
    const size_t step = size_t(std::max(1, bpp / 8));
    for (size_t i = 0; i < step && i < rowBytes; ++i) dst[1 + i] = raw[i];
    for (size_t i = step; i < rowBytes; ++i) dst[1 + i] = uint8_t(raw[i] - raw[i - step]);
}

struct Band {
    int FirstRow = 0, EndRow = 0;
    std::vector<uint8_t> Filtered;  // the band's part of the uncompressed stream
    std::vector<uint8_t> Packed;    // its raw deflate output
    uLong Adler = 1;
    bool Failed = false;
};

// Raw deflate of one band, primed with the data before it; the last band finishes the stream.
void Deflate(Band& band, const uint8_t* dictionary, size_t dictionarySize, int level, int strategy,
             bool last) {
    z_stream z{};
    // The largest hash table (memory level 9) finds matches with fewer collisions: about a
    // seventh less time on photos, and a file no larger.
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy) != Z_OK) {
        band.Failed = true;
        return;
    }
    if (dictionarySize) deflateSetDictionary(&z, dictionary, uInt(dictionarySize));
    band.Packed.resize(deflateBound(&z, uLong(band.Filtered.size())) + 16);
    z.next_in = band.Filtered.data();
    z.avail_in = uInt(band.Filtered.size());
    z.next_out = band.Packed.data();
    z.avail_out = uInt(band.Packed.size());
    const int result = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    band.Failed = last ? result != Z_STREAM_END : result != Z_OK || z.avail_in != 0;
    band.Packed.resize(z.total_out);
    band.Adler = adler32_z(1, band.Filtered.data(), band.Filtered.size());
    deflateEnd(&z);
}

}  // namespace

int WritePngStream(const BitmapHandle& bmp, const PngStreamLayout& layout, ByteWriter& out,
                   Progress& progress) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out.Write(signature, sizeof signature);
    uint8_t ihdr[13];
    const uint32_t w = uint32_t(bmp.Width), h = uint32_t(bmp.Height);
    for (int i = 0; i < 4; ++i) {
        ihdr[i] = uint8_t(w >> (24 - 8 * i));
        ihdr[4 + i] = uint8_t(h >> (24 - 8 * i));
    }
    ihdr[8] = uint8_t(layout.BitDepth);
    ihdr[9] = uint8_t(layout.ColourType);
    ihdr[10] = ihdr[11] = ihdr[12] = 0;
    Chunk(out, "IHDR", ihdr, sizeof ihdr);
    if (layout.ColourType == 3)
        Chunk(out, "PLTE", layout.PaletteRgb, size_t(layout.PaletteSize) * 3);

    const int channels = layout.ColourType == 2 ? 3 : layout.ColourType == 6 ? 4 : 1;
    const size_t rowBytes = (size_t(bmp.Width) * size_t(channels * layout.BitDepth) + 7) / 8;
    const int threads = ParallelThreadCount();
    // Bands of a megabyte at most, smaller where that leaves fewer than a hundred rounds, so
    // that progress moves by the percent on big pictures; never below 64 KB, since each band
    // starts a new deflate block (about a hundred bytes of code tables).
    const size_t perRound =
        (size_t(bmp.Height) + size_t(threads) * 100 - 1) / (size_t(threads) * 100);
    const size_t rows = std::max(std::min(BandBytes, perRound * (rowBytes + 1)), MinBandBytes) /
                        (rowBytes + 1);
    const int rowsPerBand = int(std::clamp<size_t>(rows, 1, 1u << 20));
    // As libpng does: filtered rows favour the filtered strategy.
    const int strategy = layout.SubFilter ? Z_FILTERED : Z_DEFAULT_STRATEGY;

    // zlib header for a 32 KB window; the level bits only tell readers how hard we tried.
    const int levelBits = layout.ZlibLevel < 2 ? 0 : layout.ZlibLevel < 6 ? 1
                          : layout.ZlibLevel == 6 ? 2 : 3;
    uint8_t header[2] = {0x78, uint8_t(levelBits << 6)};
    header[1] = uint8_t(header[1] + (31 - (header[0] * 256 + header[1]) % 31));
    Chunk(out, "IDAT", header, 2);

    std::vector<Band> bands(static_cast<size_t>(threads));
    std::vector<uint8_t> tail;  // the last Window bytes of the data so far
    uLong adler = 1;
    std::vector<uint8_t> scratch(size_t(threads) * (rowBytes + 16));
    for (int first = 0; first < bmp.Height;) {
        int count = 0;
        for (; count < threads && first < bmp.Height; ++count) {
            Band& band = bands[size_t(count)];
            band.FirstRow = first;
            band.EndRow = std::min(bmp.Height, first + rowsPerBand);
            first = band.EndRow;
        }
        const bool lastRound = first >= bmp.Height;
        ParallelRows(count, [&](int b0, int b1) {
            for (int b = b0; b < b1; ++b) {
                Band& band = bands[size_t(b)];
                band.Filtered.resize(size_t(band.EndRow - band.FirstRow) * (rowBytes + 1));
                uint8_t* raw = scratch.data() + size_t(b) * (rowBytes + 16);
                for (int y = band.FirstRow; y < band.EndRow; ++y)
                    FilterRow(bmp, y, layout, rowBytes, raw,
                              band.Filtered.data() + size_t(y - band.FirstRow) * (rowBytes + 1));
            }
        }, 1);
        ParallelRows(count, [&](int b0, int b1) {
            for (int b = b0; b < b1; ++b) {
                const std::vector<uint8_t>* before =
                    b == 0 ? &tail : &bands[size_t(b - 1)].Filtered;
                const size_t n = std::min(before->size(), Window);
                Deflate(bands[size_t(b)], before->data() + before->size() - n, n,
                        layout.ZlibLevel, strategy, lastRound && b == count - 1);
            }
        }, 1);
        for (int b = 0; b < count; ++b) {
            const Band& band = bands[size_t(b)];
            if (band.Failed) return ERROR_NO_MEMORY;
            if (!band.Packed.empty()) Chunk(out, "IDAT", band.Packed.data(), band.Packed.size());
            adler = adler32_combine(adler, band.Adler, z_off_t(band.Filtered.size()));
        }
        // The next round's first band is primed with the end of this round's last (a band
        // shorter than the window is a suffix of the data, which is just as valid).
        const std::vector<uint8_t>& last = bands[size_t(count - 1)].Filtered;
        const size_t keep = std::min(last.size(), Window);
        tail.assign(last.end() - long(keep), last.end());
        if (!progress.Report(int64_t(first) * 100 / bmp.Height)) return ERROR_USER_ABORT;
    }
    const uint8_t trailer[4] = {uint8_t(adler >> 24), uint8_t(adler >> 16), uint8_t(adler >> 8),
                                uint8_t(adler)};
    Chunk(out, "IDAT", trailer, 4);
    Chunk(out, "IEND", nullptr, 0);
    return SUCCESS;
}

}  // namespace kivo
