#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/PackBits.h"
#include "codecs/iff/Iff.h"
#include "kivo/imaging/File.h"

namespace kivo {

namespace {

uint32_t Be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
bool Id(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

bool SniffIff(const uint8_t* head, size_t size) {
    if (size < 12) return false;
    if (Id(head, "FORM")) return Id(head + 8, "ILBM") || Id(head + 8, "PBM ");
    return (Id(head, "CAT ") || Id(head, "LIST")) && size >= 24;
}

struct Chunk {
    const uint8_t* Data = nullptr;
    size_t Size = 0;
};

// Finds the first FORM ILBM/PBM in [p, end) (a top-level FORM, or one nested in CAT/LIST).
bool FindForm(const uint8_t* p, const uint8_t* end, int depth, Chunk* form, bool* pbm) {
    while (end - p >= 8) {
        const uint32_t size = Be32(p + 4);
        if (size > size_t(end - p) - 8) return false;
        const uint8_t* body = p + 8;
        if (size >= 4 && Id(p, "FORM") && (Id(body, "ILBM") || Id(body, "PBM "))) {
            *form = {body + 4, size - 4};
            *pbm = Id(body, "PBM ");
            return true;
        }
        if (size >= 4 && depth < 4 && (Id(p, "CAT ") || Id(p, "LIST")) &&
            FindForm(body + 4, body + size, depth + 1, form, pbm))
            return true;
        p = body + size + (size & 1);
    }
    return false;
}

int ReadIff(ByteReader& in, BitmapHandle& out, Progress& progress) {
    const uint8_t* begin = in.Data();
    const uint8_t* end = begin + in.Length();
    Chunk form;
    bool pbm = false;
    if (!FindForm(begin, end, 0, &form, &pbm)) return ERROR_FILE_CORRUPT;

    Chunk bmhd, cmap, body;
    uint32_t camg = 0;
    for (const uint8_t* p = form.Data; form.Data + form.Size - p >= 8;) {
        const uint32_t size = Be32(p + 4);
        if (size > size_t(form.Data + form.Size - p) - 8) {
            // A last chunk that claims more than is there: keep what is, the body decides.
            if (!Id(p, "BODY")) break;
            body = {p + 8, size_t(form.Data + form.Size - p) - 8};
            break;
        }
        const Chunk c{p + 8, size};
        if (Id(p, "BMHD")) bmhd = c;
        if (Id(p, "CMAP")) cmap = c;
        if (Id(p, "CAMG") && size >= 4) camg = Be32(p + 8);
        if (Id(p, "BODY")) body = c;
        p += 8 + size + (size & 1);
    }
    if (bmhd.Size < 20 || !body.Data) return ERROR_FILE_CORRUPT;
    const uint8_t* b = bmhd.Data;
    const int width = (b[0] << 8) | b[1], height = (b[2] << 8) | b[3];
    const int planes = b[8], masking = b[9], compression = b[10];
    if (compression > 1) return ERROR_FEATURE_NOT_SUPPORTED;
    if (pbm && planes != 8) return ERROR_FEATURE_NOT_SUPPORTED;
    if (!(planes >= 1 && planes <= 8) && planes != 24 && planes != 32)
        return ERROR_FEATURE_NOT_SUPPORTED;
    const bool ham = !pbm && (camg & 0x800) && (planes == 6 || planes == 8);
    const bool ehb = !pbm && (camg & 0x80) && planes == 6;
    const int outBpp = ham ? 24 : planes <= 1 ? 1 : planes <= 4 ? 4 : planes <= 8 ? 8 : planes;
    int rc = AllocateChecked(out, width, height, outBpp);
    if (rc != SUCCESS) return rc;

    ColorPalette pal;
    if (planes <= 8) {
        const size_t entries = size_t(1) << planes;
        pal.assign(entries, RgbQuad{});
        const size_t n = std::min(cmap.Size / 3, entries);
        if (n == 0) {
            for (size_t i = 0; i < entries; ++i) {
                const uint8_t v = uint8_t(i * 255 / (entries - 1));
                pal[i] = {v, v, v, 0};
            }
        }
        for (size_t i = 0; i < n; ++i)
            pal[i] = {cmap.Data[3 * i + 2], cmap.Data[3 * i + 1], cmap.Data[3 * i], 0};
        if (ehb)
            for (size_t i = 32; i < 64; ++i)
                pal[i] = {uint8_t(pal[i - 32].Blue >> 1), uint8_t(pal[i - 32].Green >> 1),
                          uint8_t(pal[i - 32].Red >> 1), 0};
        if (!ham) {
            out.Palette = pal;
            if (outBpp == 4 || outBpp == 8) out.Palette.resize(size_t(1) << outBpp, RgbQuad{});
        }
    }

    const size_t planeBytes = pbm ? size_t(width + (width & 1)) : ((size_t(width) + 15) / 16) * 2;
    const int storedPlanes = pbm ? 1 : planes + (masking == 1 ? 1 : 0);
    const size_t groups = (size_t(width) + 7) / 8;
    std::vector<uint8_t> rowPlanes(planeBytes * storedPlanes);
    std::vector<uint8_t> chunky(groups * 8 * (planes > 8 ? planes / 8 : 1));
    const uint8_t* p = body.Data;
    const uint8_t* bodyEnd = body.Data + body.Size;
    for (int y = 0; y < height; ++y) {
        for (int s = 0; s < storedPlanes; ++s) {
            uint8_t* dst = rowPlanes.data() + size_t(s) * planeBytes;
            if (compression == 0) {
                if (size_t(bodyEnd - p) < planeBytes) return ERROR_FILE_CORRUPT;
                std::memcpy(dst, p, planeBytes);
                p += planeBytes;
            } else {
                const size_t used = PackBitsDecode(p, size_t(bodyEnd - p), dst, planeBytes);
                if (!used) return ERROR_FILE_CORRUPT;
                p += used;
            }
        }
        uint8_t* row = out.Row(y);
        if (pbm) {
            std::memcpy(row, rowPlanes.data(), size_t(width));
        } else {
            // Chunky bytes: for each group of 8 bits of planes, one byte per pixel.
            const int byteGroups = planes > 8 ? planes / 8 : 1;
            for (int g = 0; g < byteGroups; ++g) {
                const int first = g * 8, count = std::min(8, planes - first);
                uint8_t* c = chunky.data() + size_t(g) * groups * 8;
                for (size_t k = 0; k < groups; ++k) {
                    uint64_t x = 0;
                    for (int bit = 0; bit < count; ++bit)
                        x |= uint64_t(rowPlanes[size_t(first + bit) * planeBytes + k])
                             << (8 * bit);
                    x = Transpose8x8(x);
                    for (int j = 0; j < 8; ++j) c[k * 8 + size_t(j)] = uint8_t(x >> (56 - 8 * j));
                }
            }
            const uint8_t* c = chunky.data();
            const size_t stride = groups * 8;
            if (ham) {
                const int dataBits = planes - 2;
                RgbQuad cur = pal[0];
                for (int x = 0; x < width; ++x) {
                    const int v = c[x], control = v >> dataBits, d = v & ((1 << dataBits) - 1);
                    // A modified channel takes the data as its top bits and keeps its low bits
                    // from the pixel before, as the display hardware does.
                    const int shift = 8 - dataBits;
                    auto modify = [&](uint8_t old) {
                        return uint8_t((d << shift) | (old & ((1 << shift) - 1)));
                    };
                    switch (control) {
                        case 0: cur = pal[size_t(d)]; break;
                        case 1: cur.Blue = modify(cur.Blue); break;
                        case 2: cur.Red = modify(cur.Red); break;
                        default: cur.Green = modify(cur.Green); break;
                    }
                    row[3 * x] = cur.Blue;
                    row[3 * x + 1] = cur.Green;
                    row[3 * x + 2] = cur.Red;
                }
            } else if (outBpp == 8) {
                std::memcpy(row, c, size_t(width));
            } else if (outBpp == 4) {
                std::memset(row, 0, out.BytesPerLine);
                for (int x = 0; x < width; ++x) row[x >> 1] |= uint8_t(c[x] << ((x & 1) ? 0 : 4));
            } else if (outBpp == 1) {
                std::memcpy(row, rowPlanes.data(), (size_t(width) + 7) / 8);
            } else {
                const int n = outBpp / 8;
                for (int x = 0; x < width; ++x) {
                    row[n * x] = c[2 * stride + size_t(x)];
                    row[n * x + 1] = c[stride + size_t(x)];
                    row[n * x + 2] = c[size_t(x)];
                    if (n == 4) row[4 * x + 3] = c[3 * stride + size_t(x)];
                }
            }
        }
        if (!progress.Report(y + 1)) return ERROR_USER_ABORT;
    }
    return SUCCESS;
}

int WriteIff(const BitmapHandle& bmp, const SaveRequest& /*request*/, ByteWriter& out,
             Progress& progress) {
    const int width = bmp.Width, height = bmp.Height, bpp = bmp.BitsPerPixel;
    if (width > 65535 || height > 65535) return ERROR_IMAGE_TOO_LARGE;
    const int planes = bpp;
    const size_t planeBytes = ((size_t(width) + 15) / 16) * 2;
    const size_t groups = (size_t(width) + 7) / 8;

    out.Text("CAT ");
    out.U32BE(0);
    out.Text("ILBM");
    const size_t formAt = out.Position();
    out.Text("FORM");
    out.U32BE(0);
    out.Text("ILBM");
    out.Text("BMHD");
    out.U32BE(20);
    out.U16BE(uint16_t(width));
    out.U16BE(uint16_t(height));
    out.U32BE(0);
    out.U8(uint8_t(planes));
    out.U8(0);  // no mask
    out.U8(1);  // ByteRun1
    out.U8(0);
    out.U16BE(0);
    out.U8(1);
    out.U8(1);
    out.U16BE(uint16_t(width));
    out.U16BE(uint16_t(height));
    if (bpp <= 8) {
        const size_t entries = size_t(1) << bpp;
        out.Text("CMAP");
        out.U32BE(uint32_t(entries * 3));
        for (size_t i = 0; i < entries; ++i) {
            const RgbQuad q = i < bmp.Palette.size() ? bmp.Palette[i] : RgbQuad{};
            out.U8(q.Red);
            out.U8(q.Green);
            out.U8(q.Blue);
        }
    }
    out.Text("BODY");
    const size_t bodySizeAt = out.Position();
    out.U32BE(0);

    std::vector<uint8_t> chunky(groups * 8);
    std::vector<uint8_t> plane(planeBytes);
    std::vector<uint8_t> packed(PackBitsBound(planeBytes) * size_t(planes));
    std::vector<uint8_t> planesOut(planeBytes * 8);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bmp.Row(y);
        size_t packedLen = 0;
        if (bpp == 1) {
            std::fill(plane.begin(), plane.end(), 0);
            std::memcpy(plane.data(), row, groups);
            if (width & 7) plane[groups - 1] &= uint8_t(0xFF << (8 - (width & 7)));
            packedLen = PackBitsEncode(plane.data(), planeBytes, packed.data());
        } else {
            const int channels = bpp == 24 ? 3 : 1;
            for (int ch = 0; ch < channels; ++ch) {
                std::fill(chunky.begin(), chunky.end(), 0);
                if (bpp == 24) {
                    for (int x = 0; x < width; ++x) chunky[size_t(x)] = row[3 * x + 2 - ch];
                } else if (bpp == 8) {
                    std::memcpy(chunky.data(), row, size_t(width));
                } else {
                    for (int x = 0; x < width; ++x)
                        chunky[size_t(x)] = (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
                }
                const int count = bpp == 4 ? 4 : 8;
                std::fill(planesOut.begin(), planesOut.end(), 0);
                for (size_t k = 0; k < groups; ++k) {
                    uint64_t x = 0;
                    for (int j = 0; j < 8; ++j) x |= uint64_t(chunky[k * 8 + size_t(j)]) << (56 - 8 * j);
                    x = Transpose8x8(x);
                    for (int bit = 0; bit < count; ++bit)
                        planesOut[size_t(bit) * planeBytes + k] = uint8_t(x >> (8 * bit));
                }
                for (int bit = 0; bit < count; ++bit)
                    packedLen += PackBitsEncode(planesOut.data() + size_t(bit) * planeBytes,
                                                planeBytes, packed.data() + packedLen);
            }
        }
        out.Write(packed.data(), packedLen);
        if (!progress.Report(y + 1)) return ERROR_USER_ABORT;
    }
    const size_t bodyEnd = out.Position();
    if ((bodyEnd - bodySizeAt - 4) & 1) out.U8(0);
    const size_t end = out.Position();
    out.Seek(bodySizeAt);
    out.U32BE(uint32_t(bodyEnd - bodySizeAt - 4));
    out.Seek(formAt + 4);
    out.U32BE(uint32_t(end - formAt - 8));
    out.Seek(4);
    out.U32BE(uint32_t(end - 8));
    out.SeekEnd();
    return SUCCESS;
}

}  // namespace

CodecEntry MakeIffCodec() {
    return CodecEntry{"IFF", FILE_IFF_CAT, {FILE_IFF_CAT}, {1, 4, 8, 24}, 20,
                      SniffIff, ReadIff, WriteIff};
}

}  // namespace kivo
