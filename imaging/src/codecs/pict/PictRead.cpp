#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/PackBits.h"
#include "codecs/pict/Pict.h"
#include "kivo/imaging/File.h"

namespace kivo {

namespace {

struct Rect16 {
    int Top = 0, Left = 0, Bottom = 0, Right = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
};

Rect16 ReadRect(ByteReader& in) {
    Rect16 r;
    r.Top = in.S16BE();
    r.Left = in.S16BE();
    r.Bottom = in.S16BE();
    r.Right = in.S16BE();
    return r;
}

// One decoded raster: 8-bit indices with a palette, or 24-bit B, G, R.
struct Raster {
    int Width = 0, Height = 0;
    bool Indexed = false;
    int SourceBits = 0;  // bits per pixel in the file (1, 2, 4, 8, 16, 32)
    ColorPalette Palette;
    std::vector<uint8_t> Pixels;  // Width × (1 or 3) bytes per row
    Rect16 Src, Dst, Bounds;
};

bool HasVersionAt(const uint8_t* p, size_t size, size_t at, bool* v2) {
    if (size < at + 4) return false;
    if (p[at] == 0x00 && p[at + 1] == 0x11 && p[at + 2] == 0x02 && p[at + 3] == 0xFF) {
        *v2 = true;
        return true;
    }
    if (p[at] == 0x11 && p[at + 1] == 0x01) {
        *v2 = false;
        return true;
    }
    return false;
}

// The version opcode right after the size word and a non-empty frame.
bool SniffPict(const uint8_t* head, size_t size) {
    for (size_t base : {size_t(512), size_t(0)}) {
        bool v2;
        if (!HasVersionAt(head, size, base + 10, &v2)) continue;
        const uint8_t* f = head + base + 2;
        auto s16 = [](const uint8_t* p) { return int16_t((p[0] << 8) | p[1]); };
        if (s16(f + 4) > s16(f) && s16(f + 6) > s16(f + 2)) return true;
    }
    return false;
}

class PictDecoder {
public:
    PictDecoder(ByteReader& in, Progress& progress) : In(in), Prog(progress) {}
    int Run(BitmapHandle& out);

private:
    int ReadOpcode(int* op);
    int SkipOpcode(int op);
    int ReadRaster(int op);
    int ReadColourTable(ColorPalette* palette);
    int ReadRows(Raster& r, int rowBytes, int packType, int pixelSize, int cmpCount,
                 bool packed, bool forcePacked = false);
    bool NextOpcodePlausible() const;
    int ReadPixPat();
    int Compose(BitmapHandle& out);

    ByteReader& In;
    Progress& Prog;
    bool V2 = false;
    Rect16 Frame;
    std::vector<Raster> Rasters;
};

int PictDecoder::ReadOpcode(int* op) {
    if (V2) {
        if (In.Position() & 1) In.Skip(1);
        *op = In.U16BE();
    } else {
        *op = In.U8();
    }
    return In.Failed() ? ERROR_FILE_CORRUPT : SUCCESS;
}

// Skips the data of a non-raster opcode by the lengths QuickDraw gives each of them.
int PictDecoder::SkipOpcode(int op) {
    auto skip = [&](size_t n) { return In.Skip(n) ? SUCCESS : ERROR_FILE_CORRUPT; };
    auto skipSized16 = [&]() {  // regions and polygons: a size word that counts itself
        uint16_t n = In.U16BE();
        if (In.Failed() || n < 2) return ERROR_FILE_CORRUPT;
        return skip(n - 2u);
    };
    auto skipLen16 = [&]() { return skip(In.U16BE()); };
    auto skipLen32 = [&]() { return skip(In.U32BE()); };
    auto skipText = [&](size_t before) {
        if (!In.Skip(before)) return ERROR_FILE_CORRUPT;
        return skip(In.U8());
    };
    if (op >= 0x100) {
        if (op == 0x0C00) return skip(24);
        if (op == 0x02FF) return skip(2);
        if (op <= 0x7FFF) return skip(size_t(op >> 8) * 2);
        if (op <= 0x80FF) return SUCCESS;
        return skipLen32();
    }
    switch (op) {
        case 0x00: case 0x1C: case 0x1E: return SUCCESS;
        case 0x01: return skipSized16();
        case 0x03: case 0x05: case 0x08: case 0x0D: case 0x15: case 0x16: case 0xA0: return skip(2);
        case 0x04: return skip(1);
        case 0x06: case 0x07: case 0x0B: case 0x0C: case 0x0E: case 0x0F: case 0x21:
            return skip(4);
        case 0x02: case 0x09: case 0x0A: case 0x10: case 0x20: return skip(8);
        case 0x11: return skip(V2 ? 2 : 1);
        case 0x12: case 0x13: case 0x14: return ReadPixPat();
        case 0x1A: case 0x1B: case 0x1D: case 0x1F: case 0x22: return skip(6);
        case 0x23: return skip(2);
        case 0x28: return skipText(4);
        case 0x29: case 0x2A: return skipText(1);
        case 0x2B: return skipText(2);
        case 0xA1: {
            In.Skip(2);
            return skipLen16();
        }
        default: break;
    }
    if (op >= 0x17 && op <= 0x19) return SUCCESS;
    if ((op >= 0x24 && op <= 0x27) || (op >= 0x2C && op <= 0x2F)) return skipLen16();
    if (op >= 0x30 && op <= 0x57) return (op & 0x08) ? SUCCESS : skip(8);  // rect, rrect, oval
    if (op >= 0x58 && op <= 0x5F) return SUCCESS;
    if (op >= 0x60 && op <= 0x6F) return (op & 0x08) ? skip(4) : skip(12);  // arcs
    if (op >= 0x70 && op <= 0x8F) return (op & 0x08) ? SUCCESS : skipSized16();  // poly, rgn
    if ((op >= 0x92 && op <= 0x97) || (op >= 0x9C && op <= 0x9F) || (op >= 0xA2 && op <= 0xAF))
        return skipLen16();
    if (op >= 0xB0 && op <= 0xCF) return SUCCESS;
    if (op >= 0xD0 && op <= 0xFE) return skipLen32();
    return ERROR_FILE_CORRUPT;
}

int PictDecoder::ReadColourTable(ColorPalette* palette) {
    In.Skip(4);  // seed
    uint16_t flags = In.U16BE();
    int count = int(In.U16BE()) + 1;
    if (In.Failed() || count > 256) return ERROR_FILE_CORRUPT;
    palette->assign(256, RgbQuad{});
    int highest = 0;
    for (int i = 0; i < count; ++i) {
        int value = In.U16BE();
        // 16-bit components round to the nearest 8-bit value (0xF8C0 is 249, not 248).
        auto to8 = [](unsigned v) { return uint8_t((v * 255 + 32767) / 65535); };
        uint8_t r = to8(In.U16BE());
        uint8_t g = to8(In.U16BE());
        uint8_t b = to8(In.U16BE());
        // Device colour tables (flag 0x8000) number their entries in order.
        int index = (flags & 0x8000) ? i : (value & 0xFF);
        (*palette)[size_t(index)] = RgbQuad{b, g, r, 0};
        highest = std::max(highest, index);
    }
    if (In.Failed()) return ERROR_FILE_CORRUPT;
    palette->resize(size_t(std::max(highest + 1, count)));
    return SUCCESS;
}

// Reads the rows of a raster and converts them to 8-bit indices or B, G, R.
// After a raster: the end of the data, the end opcode or a defined opcode below 0x0100.
bool PictDecoder::NextOpcodePlausible() const {
    size_t pos = In.Position() + (In.Position() & 1);
    if (pos + 2 > In.Length()) return pos >= In.Length();
    const uint8_t* p = In.Data() + pos;
    return p[0] == 0 && (p[1] <= 0xA1 || p[1] == 0xFF);
}

int PictDecoder::ReadRows(Raster& r, int rowBytes, int packType, int pixelSize, int cmpCount,
                          bool packed, bool forcePacked) {
    const size_t w = size_t(r.Width);
    const bool direct = pixelSize == 16 || pixelSize == 32;
    if (!direct && rowBytes * 8 < int(w) * pixelSize) return ERROR_FILE_CORRUPT;
    if (pixelSize == 16 && rowBytes < int(w) * 2) return ERROR_FILE_CORRUPT;
    // What one unpacked row holds, and whether rows are packed at all.
    size_t unpackedLen = size_t(rowBytes);
    bool rowsPacked = packed && (rowBytes >= 8 || forcePacked);
    bool planar = false;
    if (pixelSize == 32) {
        if (packType == 2) {
            unpackedLen = w * 3;
            rowsPacked = false;
        } else if (packType == 1 || (rowBytes < 8 && !forcePacked)) {
            if (rowBytes < int(w) * 4) return ERROR_FILE_CORRUPT;
            rowsPacked = false;
        } else {
            unpackedLen = w * size_t(cmpCount);
            planar = true;
        }
    } else if (pixelSize == 16 && packType == 1) {
        rowsPacked = false;
    }
    // Each row needs at least a byte of data; this bounds the allocation by the file size.
    if (In.Remaining() < size_t(r.Height) * (rowsPacked ? 1 : unpackedLen))
        return ERROR_FILE_CORRUPT;
    const size_t channels = r.Indexed ? 1 : 3;
    r.Pixels.assign(w * channels * size_t(r.Height), 0);
    std::vector<uint8_t> row(unpackedLen);
    for (int y = 0; y < r.Height; ++y) {
        if (rowsPacked) {
            size_t count = rowBytes > 250 ? In.U16BE() : In.U8();
            const uint8_t* p = In.Take(count);
            if (!p) return ERROR_FILE_CORRUPT;
            std::fill(row.begin(), row.end(), 0);
            if (pixelSize == 16)
                PackBitsUnpackWords(p, count, row.data(), unpackedLen);
            else
                PackBitsUnpack(p, count, row.data(), unpackedLen);
        } else if (!In.Read(row.data(), unpackedLen)) {
            return ERROR_FILE_CORRUPT;
        }
        uint8_t* dst = r.Pixels.data() + size_t(y) * w * channels;
        if (r.Indexed) {
            const int mask = (1 << pixelSize) - 1;
            for (size_t x = 0; x < w; ++x) {
                size_t bit = x * size_t(pixelSize);
                dst[x] = uint8_t((row[bit >> 3] >> (8 - pixelSize - (bit & 7))) & mask);
            }
        } else if (pixelSize == 16) {
            for (size_t x = 0; x < w; ++x) {
                unsigned v = (unsigned(row[2 * x]) << 8) | row[2 * x + 1];
                dst[3 * x] = uint8_t(((v & 31) << 3) | ((v & 31) >> 2));
                dst[3 * x + 1] = uint8_t((((v >> 5) & 31) << 3) | (((v >> 5) & 31) >> 2));
                dst[3 * x + 2] = uint8_t((((v >> 10) & 31) << 3) | (((v >> 10) & 31) >> 2));
            }
        } else if (planar) {
            // Planes A (when four components), R, G, B.
            const uint8_t* red = row.data() + (cmpCount == 4 ? w : 0);
            for (size_t x = 0; x < w; ++x) {
                dst[3 * x] = red[2 * w + x];
                dst[3 * x + 1] = red[w + x];
                dst[3 * x + 2] = red[x];
            }
        } else if (packType == 2) {
            for (size_t x = 0; x < w; ++x) {
                dst[3 * x] = row[3 * x + 2];
                dst[3 * x + 1] = row[3 * x + 1];
                dst[3 * x + 2] = row[3 * x];
            }
        } else {
            for (size_t x = 0; x < w; ++x) {  // x, R, G, B
                dst[3 * x] = row[4 * x + 3];
                dst[3 * x + 1] = row[4 * x + 2];
                dst[3 * x + 2] = row[4 * x + 1];
            }
        }
    }
    return SUCCESS;
}

int PictDecoder::ReadRaster(int op) {
    const bool direct = op == 0x9A || op == 0x9B;
    const bool packed = op != 0x90 && op != 0x91;
    const bool region = op & 1;
    Raster r;
    if (direct) In.Skip(4);  // base address
    int rowBytes = In.U16BE();
    const bool pixmap = direct || (rowBytes & 0x8000);
    rowBytes &= 0x3FFF;
    r.Bounds = ReadRect(In);
    int packType = 0, pixelSize = 1, cmpCount = 1;
    if (pixmap) {
        In.Skip(2);  // version
        packType = In.U16BE();
        In.Skip(4 + 8);  // pack size, resolutions
        In.Skip(2);      // pixel type
        pixelSize = In.U16BE();
        cmpCount = In.U16BE();
        In.Skip(2 + 12);  // component size, plane bytes, table, reserved
        if (In.Failed()) return ERROR_FILE_CORRUPT;
        if (direct ? (pixelSize != 16 && pixelSize != 32)
                   : (pixelSize != 1 && pixelSize != 2 && pixelSize != 4 && pixelSize != 8))
            return ERROR_FILE_CORRUPT;
        if (pixelSize == 32 && cmpCount != 3 && cmpCount != 4) return ERROR_FILE_CORRUPT;
        if (!direct) {
            int status = ReadColourTable(&r.Palette);
            if (status != SUCCESS) return status;
        }
    } else {
        r.Palette = {RgbQuad{255, 255, 255, 0}, RgbQuad{0, 0, 0, 0}};
    }
    r.Src = ReadRect(In);
    r.Dst = ReadRect(In);
    In.Skip(2);  // transfer mode
    if (region) {
        uint16_t n = In.U16BE();
        if (n < 2 || !In.Skip(n - 2u)) return ERROR_FILE_CORRUPT;
    }
    if (In.Failed()) return ERROR_FILE_CORRUPT;
    r.Width = r.Bounds.Width();
    r.Height = r.Bounds.Height();
    if (r.Width <= 0 || r.Height <= 0) return ERROR_FILE_CORRUPT;
    if (uint64_t(r.Width) * uint64_t(r.Height) > L_GetMaxPixels()) return ERROR_IMAGE_TOO_LARGE;
    r.Indexed = !direct;
    r.SourceBits = pixelSize;
    const size_t rowsStart = In.Position();
    int status = ReadRows(r, rowBytes, packType, pixelSize, cmpCount, packed);
    // Rows under 8 bytes are stored unpacked, but some writers pack them anyway. When the
    // unpacked reading does not end at a plausible opcode, the rows are read again as packed.
    if (V2 && packed && rowBytes < 8 && !NextOpcodePlausible()) {
        ByteReader retry = In;
        retry.Seek(rowsStart);
        std::swap(retry, In);
        Raster again = r;
        if (ReadRows(again, rowBytes, packType, pixelSize, cmpCount, true, true) == SUCCESS &&
            NextOpcodePlausible()) {
            r = std::move(again);
            status = SUCCESS;
        } else {
            std::swap(retry, In);
        }
    }
    if (status != SUCCESS) return status;
    Rasters.push_back(std::move(r));
    return SUCCESS;
}

// A pixel pattern carries a small pixmap that paints fills; its rows are read and dropped.
int PictDecoder::ReadPixPat() {
    uint16_t type = In.U16BE();
    In.Skip(8);
    if (type == 2) return In.Skip(6) ? SUCCESS : ERROR_FILE_CORRUPT;
    if (type != 1) return In.Failed() ? ERROR_FILE_CORRUPT : SUCCESS;
    Raster r;
    int rowBytes = In.U16BE() & 0x3FFF;
    r.Bounds = ReadRect(In);
    In.Skip(2);
    int packType = In.U16BE();
    In.Skip(14);
    int pixelSize = In.U16BE();
    In.Skip(16);
    if (In.Failed()) return ERROR_FILE_CORRUPT;
    if (pixelSize != 1 && pixelSize != 2 && pixelSize != 4 && pixelSize != 8)
        return ERROR_FILE_CORRUPT;
    int status = ReadColourTable(&r.Palette);
    if (status != SUCCESS) return status;
    r.Width = r.Bounds.Width();
    r.Height = r.Bounds.Height();
    if (r.Width <= 0 || r.Height <= 0 || r.Width > 4096 || r.Height > 4096)
        return ERROR_FILE_CORRUPT;
    r.Indexed = true;
    return ReadRows(r, rowBytes, packType, pixelSize, 1, true);
}

int PictDecoder::Compose(BitmapHandle& out) {
    // Pictures drawn only with vector opcodes, or holding QuickTime-compressed images, have no
    // raster we can decode.
    if (Rasters.empty()) return ERROR_FEATURE_NOT_SUPPORTED;
    // One indexed raster covering the picture keeps its depth and colours.
    if (Rasters.size() == 1 && Rasters[0].Indexed) {
        Raster& r = Rasters[0];
        int bpp = r.SourceBits == 1 ? 1 : r.SourceBits == 4 ? 4 : 8;
        int status = AllocateChecked(out, r.Width, r.Height, bpp);
        if (status != SUCCESS) return status;
        out.Palette = r.Palette;
        for (int y = 0; y < r.Height; ++y) {
            const uint8_t* src = r.Pixels.data() + size_t(y) * size_t(r.Width);
            uint8_t* dst = out.Row(y);
            std::memset(dst, 0, size_t(out.BytesPerLine));
            for (int x = 0; x < r.Width; ++x) {
                if (bpp == 8)
                    dst[x] = src[x];
                else if (bpp == 4)
                    dst[x >> 1] |= uint8_t((src[x] & 15) << ((x & 1) ? 0 : 4));
                else
                    dst[x >> 3] |= uint8_t((src[x] & 1) << (7 - (x & 7)));
            }
        }
        return SUCCESS;
    }
    // Otherwise every raster is drawn into its destination on a white canvas of the frame.
    int status = AllocateChecked(out, Frame.Width(), Frame.Height(), 24);
    if (status != SUCCESS) return status;
    std::memset(out.Data(), 255, out.DataSize());
    for (const Raster& r : Rasters) {
        const int dw = r.Dst.Width(), dh = r.Dst.Height();
        const int sw = r.Src.Width(), sh = r.Src.Height();
        if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) continue;
        std::vector<int> srcX(static_cast<size_t>(dw));
        for (int x = 0; x < dw; ++x)
            srcX[size_t(x)] = r.Src.Left - r.Bounds.Left + int(int64_t(x) * sw / dw);
        const auto pal = r.Palette;
        for (int y = 0; y < dh; ++y) {
            int oy = r.Dst.Top - Frame.Top + y;
            if (oy < 0 || oy >= out.Height) continue;
            int sy = r.Src.Top - r.Bounds.Top + int(int64_t(y) * sh / dh);
            if (sy < 0 || sy >= r.Height) continue;
            uint8_t* dst = out.Row(oy);
            for (int x = 0; x < dw; ++x) {
                int ox = r.Dst.Left - Frame.Left + x;
                int sx = srcX[size_t(x)];
                if (ox < 0 || ox >= out.Width || sx < 0 || sx >= r.Width) continue;
                uint8_t* p = dst + size_t(ox) * 3;
                if (r.Indexed) {
                    uint8_t i = r.Pixels[size_t(sy) * size_t(r.Width) + size_t(sx)];
                    RgbQuad c = i < pal.size() ? pal[i] : RgbQuad{};
                    p[0] = c.Blue;
                    p[1] = c.Green;
                    p[2] = c.Red;
                } else {
                    std::memcpy(p, &r.Pixels[(size_t(sy) * size_t(r.Width) + size_t(sx)) * 3], 3);
                }
            }
        }
    }
    return SUCCESS;
}

int PictDecoder::Run(BitmapHandle& out) {
    const uint8_t* data = In.Data();
    size_t base;
    if (HasVersionAt(data, In.Length(), 522, &V2))
        base = 512;
    else if (HasVersionAt(data, In.Length(), 10, &V2))
        base = 0;
    else
        return ERROR_FILE_FORMAT;
    In.Seek(base + 2);
    Frame = ReadRect(In);
    In.Skip(V2 ? 4 : 2);
    if (In.Failed()) return ERROR_FILE_CORRUPT;
    if (Frame.Width() <= 0 || Frame.Height() <= 0) return ERROR_FILE_CORRUPT;
    for (;;) {
        if (In.Remaining() < (V2 ? 2u : 1u) && !Rasters.empty()) break;  // a missing end mark
        int op;
        int status = ReadOpcode(&op);
        if (status != SUCCESS) return status;
        if (op == 0xFF || op == 0xFFFF) break;
        if ((op >= 0x90 && op <= 0x91) || (op >= 0x98 && op <= 0x9B))
            status = ReadRaster(op);
        else
            status = SkipOpcode(op);
        if (status != SUCCESS) return status;
        if (!Prog.Report(int64_t(In.Position()) * 90 / int64_t(In.Length())))
            return ERROR_USER_ABORT;
    }
    return Compose(out);
}

int ReadPict(ByteReader& in, BitmapHandle& out, Progress& progress) {
    PictDecoder decoder(in, progress);
    return decoder.Run(out);
}

}  // namespace

int WritePict(const BitmapHandle& bmp, const SaveRequest& request, ByteWriter& out,
              Progress& progress);

CodecEntry MakePictCodec() {
    return CodecEntry{"PICT", FILE_PCT, {FILE_PCT}, {1, 4, 8, 24}, 60,
                      SniffPict, ReadPict, WritePict};
}

}  // namespace kivo
