#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "codecs/tiff/Tiff.h"
#include "codecs/tiff/TiffIo.h"

namespace kivo {
namespace {

constexpr size_t StripBytes = 64 * 1024;

// libtiff writes through these into the ByteWriter; offsets are relative to where the file
// starts in it. ByteWriter may throw std::bad_alloc, which must not cross libtiff's C frames.
struct OutFile {
    ByteWriter* Out;
    size_t Base;
    bool Failed;
};

tmsize_t OutRead(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<OutFile*>(h);
    std::vector<uint8_t>& bytes = f->Out->Buffer();
    const size_t pos = f->Out->Position();
    if (n <= 0 || pos >= bytes.size()) return 0;
    const size_t count = std::min(size_t(n), bytes.size() - pos);
    std::memcpy(buf, bytes.data() + pos, count);
    f->Out->Seek(pos + count);
    return tmsize_t(count);
}

tmsize_t OutWrite(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<OutFile*>(h);
    try {
        f->Out->Write(buf, size_t(n));
        return n;
    } catch (...) {
        f->Failed = true;
        return -1;
    }
}

toff_t OutSeek(thandle_t h, toff_t offset, int whence) {
    auto* f = static_cast<OutFile*>(h);
    const uint64_t base = whence == SEEK_CUR   ? f->Out->Position()
                          : whence == SEEK_END ? f->Out->Buffer().size()
                                               : f->Base;
    const uint64_t target = base + offset;  // relative offsets wrap as two's complement
    if (target < f->Base || target > (uint64_t(1) << 40)) return toff_t(-1);
    try {
        f->Out->Seek(size_t(target));
    } catch (...) {
        f->Failed = true;
        return toff_t(-1);
    }
    return target - f->Base;
}

int OutClose(thandle_t) { return 0; }
toff_t OutSize(thandle_t h) {
    auto* f = static_cast<OutFile*>(h);
    return f->Out->Buffer().size() - f->Base;
}
int NoMap(thandle_t, void**, toff_t*) { return 0; }
void NoUnmap(thandle_t, void*, toff_t) {}

bool SameColour(const RgbQuad& q, uint8_t r, uint8_t g, uint8_t b) {
    return q.Red == r && q.Green == g && q.Blue == b;
}

// How the rows of one depth are stored.
struct Plan {
    uint16_t Photometric = PHOTOMETRIC_RGB;
    uint16_t Bps = 8;
    uint16_t Spp = 3;
    bool Predict = false;
    bool Colormap = false;
};

Plan PlanFor(const BitmapHandle& bmp) {
    Plan p;
    const ColorPalette& pal = bmp.Palette;
    const size_t full = size_t(1) << std::min(bmp.BitsPerPixel, 8);
    switch (bmp.BitsPerPixel) {
    case 1:
        p.Bps = 1;
        p.Spp = 1;
        if (pal.size() >= 2 && SameColour(pal[0], 0, 0, 0) && SameColour(pal[1], 255, 255, 255))
            p.Photometric = PHOTOMETRIC_MINISBLACK;
        else if (pal.size() >= 2 && SameColour(pal[0], 255, 255, 255) &&
                 SameColour(pal[1], 0, 0, 0))
            p.Photometric = PHOTOMETRIC_MINISWHITE;
        else
            p.Photometric = PHOTOMETRIC_PALETTE, p.Colormap = true;
        break;
    case 4:
    case 8:
        p.Bps = uint16_t(bmp.BitsPerPixel);
        p.Spp = 1;
        if (pal.size() == full && IsGreyRampPalette(pal)) {
            p.Photometric = PHOTOMETRIC_MINISBLACK;
            p.Predict = bmp.BitsPerPixel == 8;
        } else {
            p.Photometric = PHOTOMETRIC_PALETTE;
            p.Colormap = true;
        }
        break;
    case 32:
        p.Spp = 4;
        p.Predict = true;
        break;
    default:  // 16 (widened) and 24
        p.Predict = true;
    }
    return p;
}

// One bitmap row in the file's sample order. libtiff may change the buffer it is given (the
// predictor differences it in place), so rows always go through this copy.
void FileRow(const BitmapHandle& bmp, int y, uint8_t* dst) {
    const uint8_t* src = bmp.Row(y);
    const int w = bmp.Width;
    switch (bmp.BitsPerPixel) {
    case 16:
        for (int x = 0; x < w; ++x, dst += 3) {
            const unsigned v = src[2 * x] | (src[2 * x + 1] << 8);
            const unsigned b = v & 31, g = (v >> 5) & 31, r = (v >> 10) & 31;
            dst[0] = uint8_t((r << 3) | (r >> 2));
            dst[1] = uint8_t((g << 3) | (g >> 2));
            dst[2] = uint8_t((b << 3) | (b >> 2));
        }
        break;
    case 24:
        for (int x = 0; x < w; ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
        break;
    case 32:
        for (int x = 0; x < w; ++x, src += 4, dst += 4) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
            dst[3] = src[3];
        }
        break;
    default:
        std::memcpy(dst, src, (size_t(w) * bmp.BitsPerPixel + 7) / 8);
    }
}

}  // namespace

int WriteTiff(const BitmapHandle& bmp, const SaveRequest&, ByteWriter& out, Progress& progress) {
    if (bmp.BitsPerPixel != 1 && bmp.BitsPerPixel != 4 && bmp.BitsPerPixel != 8 &&
        bmp.BitsPerPixel != 16 && bmp.BitsPerPixel != 24 && bmp.BitsPerPixel != 32)
        return ERROR_INV_BITSPERPIXEL;
    const Plan plan = PlanFor(bmp);
    OutFile file{&out, out.Position(), false};
    tiff::OptionsPtr options = tiff::QuietOptions(tmsize_t(1) << 30);
    if (!options) return ERROR_NO_MEMORY;
    tiff::TiffPtr tif(TIFFClientOpenExt("memory", "wl", &file, OutRead, OutWrite, OutSeek,
                                        OutClose, OutSize, NoMap, NoUnmap, options.get()));
    if (!tif) return ERROR_FILE_WRITE;
    TIFF* t = tif.get();
    const size_t rowBytes = (size_t(bmp.Width) * plan.Bps * plan.Spp + 7) / 8;
    const uint32_t rowsPerStrip = uint32_t(std::clamp<size_t>(StripBytes / rowBytes, 1, size_t(bmp.Height)));
    bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(bmp.Width)) &&
              TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(bmp.Height)) &&
              TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, plan.Bps) &&
              TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, plan.Spp) &&
              TIFFSetField(t, TIFFTAG_PHOTOMETRIC, plan.Photometric) &&
              TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
              TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip) &&
              TIFFSetField(t, TIFFTAG_XRESOLUTION, 72.0) &&
              TIFFSetField(t, TIFFTAG_YRESOLUTION, 72.0) &&
              TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (ok && plan.Predict) ok = TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (ok && plan.Spp == 4) {
        const uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
        ok = TIFFSetField(t, TIFFTAG_EXTRASAMPLES, uint16_t(1), extra);
    }
    if (ok && plan.Colormap) {
        const size_t entries = size_t(1) << plan.Bps;
        std::vector<uint16_t> red(entries), green(entries), blue(entries);
        for (size_t i = 0; i < entries && i < bmp.Palette.size(); ++i) {
            red[i] = uint16_t(bmp.Palette[i].Red * 257);
            green[i] = uint16_t(bmp.Palette[i].Green * 257);
            blue[i] = uint16_t(bmp.Palette[i].Blue * 257);
        }
        ok = TIFFSetField(t, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }
    if (!ok) return ERROR_FILE_WRITE;

    std::vector<uint8_t> row(rowBytes);
    for (int y = 0; y < bmp.Height; ++y) {
        FileRow(bmp, y, row.data());
        if (TIFFWriteScanline(t, row.data(), uint32_t(y), 0) < 0)
            return file.Failed ? ERROR_NO_MEMORY : ERROR_FILE_WRITE;
        if (!progress.Report(int64_t(y + 1) * 100 / bmp.Height)) return ERROR_USER_ABORT;
    }
    if (!TIFFWriteDirectory(t)) return file.Failed ? ERROR_NO_MEMORY : ERROR_FILE_WRITE;
    tif.reset();
    if (file.Failed) return ERROR_NO_MEMORY;
    out.SeekEnd();
    return SUCCESS;
}

}  // namespace kivo
