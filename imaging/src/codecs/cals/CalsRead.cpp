#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "codecs/cals/Cals.h"
#include "kivo/imaging/File.h"

namespace kivo {

namespace {

constexpr size_t RecordSize = 128;
constexpr size_t HeaderSize = 2048;

// The value of a "name:" record among the header records, or "" when absent.
std::string Field(const uint8_t* data, size_t size, const char* name) {
    const size_t n = std::strlen(name);
    for (size_t at = 0; at + RecordSize <= std::min(size, HeaderSize); at += RecordSize) {
        if (std::memcmp(data + at, name, n) != 0) continue;
        const char* p = reinterpret_cast<const char*>(data + at + n);
        std::string value(p, RecordSize - n);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\0')) value.pop_back();
        size_t start = value.find_first_not_of(' ');
        return start == std::string::npos ? "" : value.substr(start);
    }
    return "";
}

bool SniffCals(const uint8_t* head, size_t size) {
    return !Field(head, size, "rtype:").empty() && !Field(head, size, "rpelcnt:").empty();
}

// Memory I/O for libtiff over a read-only buffer.
struct MemoryFile {
    const uint8_t* Data;
    size_t Size;
    size_t Pos = 0;
};

tsize_t MemRead(thandle_t h, tdata_t buf, tsize_t n) {
    auto* f = static_cast<MemoryFile*>(h);
    size_t k = std::min(size_t(n), f->Size - std::min(f->Pos, f->Size));
    std::memcpy(buf, f->Data + f->Pos, k);
    f->Pos += k;
    return tsize_t(k);
}
tsize_t MemWrite(thandle_t, tdata_t, tsize_t) { return 0; }
toff_t MemSeek(thandle_t h, toff_t off, int whence) {
    auto* f = static_cast<MemoryFile*>(h);
    int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? int64_t(f->Pos) : int64_t(f->Size);
    int64_t pos = base + int64_t(off);
    if (pos < 0) return toff_t(-1);
    f->Pos = size_t(pos);
    return toff_t(pos);
}
int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return static_cast<MemoryFile*>(h)->Size; }
int Quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

int ReadCals(ByteReader& in, BitmapHandle& out, Progress& progress) {
    const uint8_t* data = in.Data();
    const size_t size = in.Length();
    if (!SniffCals(data, size)) return ERROR_FILE_FORMAT;
    const std::string type = Field(data, size, "rtype:");
    if (type != "1") return ERROR_FEATURE_NOT_SUPPORTED;
    int width = 0, height = 0;
    if (std::sscanf(Field(data, size, "rpelcnt:").c_str(), "%d,%d", &width, &height) != 2 ||
        width <= 0 || height <= 0)
        return ERROR_FILE_CORRUPT;
    int pelPath = 0, lineDir = 270;
    std::string orient = Field(data, size, "rorient:");
    if (!orient.empty() && std::sscanf(orient.c_str(), "%d,%d", &pelPath, &lineDir) != 2)
        return ERROR_FILE_CORRUPT;
    if (pelPath % 90 != 0 || pelPath < 0 || pelPath > 270 || (lineDir != 90 && lineDir != 270))
        return ERROR_FILE_CORRUPT;
    if (size <= HeaderSize) return ERROR_FILE_CORRUPT;

    BitmapHandle stored;
    int status = DecodeG4(data + HeaderSize, size - HeaderSize, width, height, stored, progress);
    if (status != SUCCESS) return status;
    if (pelPath == 0 && lineDir == 270) {
        out = std::move(stored);
        return SUCCESS;
    }
    // Turn the picture upright: the pel path is the direction of a stored row on the page
    // (counter-clockwise from left-to-right); the line direction is counted from it, 270 being
    // the usual next-row-below and 90 a mirror image.
    const bool swap = pelPath == 90 || pelPath == 270;
    status = AllocateChecked(out, swap ? height : width, swap ? width : height, 1);
    if (status != SUCCESS) return status;
    out.Palette = stored.Palette;
    std::memset(out.Data(), 0, out.DataSize());
    const bool mirrored = lineDir == 90;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = stored.Row(y);
        const int line = mirrored ? height - 1 - y : y;
        for (int x = 0; x < width; ++x) {
            if (!((row[x >> 3] >> (7 - (x & 7))) & 1)) continue;
            int ox, oy;
            switch (pelPath) {
                case 0: ox = x; oy = line; break;
                case 90: ox = line; oy = width - 1 - x; break;
                case 180: ox = width - 1 - x; oy = height - 1 - line; break;
                default: ox = height - 1 - line; oy = x; break;
            }
            out.Row(oy)[ox >> 3] |= uint8_t(0x80 >> (ox & 7));
        }
    }
    return SUCCESS;
}

}  // namespace

int DecodeG4(const uint8_t* data, size_t size, int width, int height, BitmapHandle& out,
             Progress& progress) {
    if (width <= 0 || height <= 0) return ERROR_FILE_CORRUPT;
    if (uint64_t(width) * uint64_t(height) > L_GetMaxPixels()) return ERROR_IMAGE_TOO_LARGE;
    // A little-endian TIFF with one IFD of 10 entries, followed by the strip.
    constexpr uint32_t IfdOffset = 8, Entries = 10;
    const uint32_t stripOffset = IfdOffset + 2 + Entries * 12 + 4;
    ByteWriter tiff;
    tiff.Buffer().reserve(stripOffset + size);
    tiff.Text("II");
    tiff.U16LE(42);
    tiff.U32LE(IfdOffset);
    tiff.U16LE(Entries);
    auto entry = [&](uint16_t tag, uint16_t kind, uint32_t value) {
        tiff.U16LE(tag);
        tiff.U16LE(kind);
        tiff.U32LE(1);
        if (kind == 3) {
            tiff.U16LE(uint16_t(value));
            tiff.U16LE(0);
        } else {
            tiff.U32LE(value);
        }
    };
    entry(256, 4, uint32_t(width));
    entry(257, 4, uint32_t(height));
    entry(258, 3, 1);    // bits per sample
    entry(259, 3, 4);    // CCITT group 4
    entry(262, 3, 0);    // white is zero
    entry(266, 3, 1);    // fill order: most significant bit first
    entry(273, 4, stripOffset);
    entry(277, 3, 1);    // samples per pixel
    entry(278, 4, uint32_t(height));
    entry(279, 4, uint32_t(size));
    tiff.U32LE(0);
    tiff.Write(data, size);

    MemoryFile file{tiff.Buffer().data(), tiff.Buffer().size()};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
    TIFF* t = TIFFClientOpenExt("g4", "rm", &file, MemRead, MemWrite, MemSeek, MemClose, MemSize,
                                nullptr, nullptr, options);
    TIFFOpenOptionsFree(options);
    if (!t) return ERROR_FILE_CORRUPT;
    struct Closer {
        TIFF* T;
        ~Closer() { TIFFClose(T); }
    } closer{t};

    int status = AllocateChecked(out, width, height, 1);
    if (status != SUCCESS) return status;
    out.Palette = {RgbQuad{255, 255, 255, 0}, RgbQuad{0, 0, 0, 0}};
    const tmsize_t scanline = TIFFScanlineSize(t);
    if (scanline <= 0 || scanline > out.BytesPerLine) return ERROR_FILE_CORRUPT;
    for (int y = 0; y < height; ++y) {
        std::memset(out.Row(y), 0, size_t(out.BytesPerLine));
        if (TIFFReadScanline(t, out.Row(y), uint32_t(y), 0) < 0) return ERROR_FILE_CORRUPT;
        if (!progress.Report(int64_t(y + 1) * 100 / height)) return ERROR_USER_ABORT;
    }
    return SUCCESS;
}

CodecEntry MakeCalsCodec() {
    return CodecEntry{"CALS", FILE_CALS, {}, {}, 40, SniffCals, ReadCals, nullptr};
}

}  // namespace kivo
