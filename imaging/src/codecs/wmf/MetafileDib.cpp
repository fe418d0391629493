#include "codecs/wmf/MetafileDib.h"

#include <algorithm>
#include <cstring>

#include "codecs/bmp/Bmp.h"
#include "kivo/imaging/File.h"

namespace kivo {

int DecodeDib(const DibPlacement& dib, BitmapHandle& out, Progress& progress) {
    if (!dib.Info || dib.InfoSize < 12) return ERROR_FILE_CORRUPT;
    // The BMP reader takes a whole file: put a file header in front. A pixel offset of 0 means
    // "the pixels follow the colours", which is exactly a packed DIB; separate bits get their
    // true offset.
    const size_t total = 14 + dib.InfoSize + (dib.Bits ? dib.BitsSize : 0);
    std::vector<uint8_t> file(total);
    const uint32_t offset = dib.Bits ? uint32_t(14 + dib.InfoSize) : 0;
    file[0] = 'B';
    file[1] = 'M';
    for (int i = 0; i < 4; ++i) {
        file[size_t(2 + i)] = uint8_t(total >> (8 * i));
        file[size_t(10 + i)] = uint8_t(offset >> (8 * i));
    }
    std::memcpy(file.data() + 14, dib.Info, dib.InfoSize);
    if (dib.Bits && dib.BitsSize) std::memcpy(file.data() + 14 + dib.InfoSize, dib.Bits, dib.BitsSize);
    ByteReader reader(file.data(), file.size());
    int status = ReadBmp(reader, out, progress);
    // Inside a metafile an unreadable bitmap is damage to the metafile.
    return status == ERROR_FILE_FORMAT ? ERROR_FILE_CORRUPT : status;
}

int ComposeDibs(const std::vector<DibPlacement>& dibs, BitmapHandle& out, Progress& progress) {
    if (dibs.empty()) return ERROR_FEATURE_NOT_SUPPORTED;
    Progress quiet(100);  // the per-DIB progress of several records would jump back and forth
    if (dibs.size() == 1) {
        const DibPlacement& d = dibs[0];
        int status = DecodeDib(d, out, progress);
        if (status != SUCCESS) return status;
        // Windows counts the source rectangle from the bottom-left corner of the DIB.
        const int64_t w = std::llabs(d.SrcW), h = std::llabs(d.SrcH);
        const int64_t top = out.Height - d.SrcY - h;
        const bool whole = d.SrcX == 0 && d.SrcY == 0 && w == out.Width && h == out.Height;
        if (whole || w <= 0 || h <= 0 || d.SrcX < 0 || top < 0 || d.SrcX + w > out.Width ||
            top + h > out.Height)
            return SUCCESS;  // no meaningful part: the whole DIB is the picture
        BitmapHandle part;
        status = L_CopyBitmapRect(&part, &out, int(d.SrcX), int(top), int(w), int(h));
        if (status != SUCCESS) return status;
        out = std::move(part);
        return SUCCESS;
    }
    int64_t left = INT64_MAX, topY = INT64_MAX, right = INT64_MIN, bottom = INT64_MIN;
    for (const DibPlacement& d : dibs) {
        const int64_t x0 = std::min(d.DstX, d.DstX + d.DstW), x1 = std::max(d.DstX, d.DstX + d.DstW);
        const int64_t y0 = std::min(d.DstY, d.DstY + d.DstH), y1 = std::max(d.DstY, d.DstY + d.DstH);
        left = std::min(left, x0);
        right = std::max(right, x1);
        topY = std::min(topY, y0);
        bottom = std::max(bottom, y1);
    }
    int status = AllocateChecked(out, right - left, bottom - topY, 24);
    if (status != SUCCESS) return status;
    std::memset(out.Data(), 255, out.DataSize());
    for (size_t i = 0; i < dibs.size(); ++i) {
        const DibPlacement& d = dibs[i];
        BitmapHandle dib;
        status = DecodeDib(d, dib, quiet);
        if (status != SUCCESS) return status;
        const int64_t dw = std::llabs(d.DstW), dh = std::llabs(d.DstH);
        int64_t sx0 = d.SrcX, sw = std::llabs(d.SrcW), sh = std::llabs(d.SrcH);
        int64_t sy0 = dib.Height - d.SrcY - sh;
        if (sw <= 0 || sh <= 0 || sx0 < 0 || sy0 < 0 || sx0 + sw > dib.Width ||
            sy0 + sh > dib.Height) {
            sx0 = sy0 = 0;
            sw = dib.Width;
            sh = dib.Height;
        }
        const int64_t ox = std::min(d.DstX, d.DstX + d.DstW) - left;
        const int64_t oy = std::min(d.DstY, d.DstY + d.DstH) - topY;
        for (int64_t y = 0; y < dh; ++y) {
            const int sy = int(sy0 + y * sh / dh);
            uint8_t* dst = out.Row(int(oy + y)) + size_t(ox) * 3;
            for (int64_t x = 0; x < dw; ++x) {
                ColorRef c = L_GetPixelColor(&dib, int(sx0 + x * sw / dw), sy);
                dst[x * 3] = GetBValue(c);
                dst[x * 3 + 1] = GetGValue(c);
                dst[x * 3 + 2] = GetRValue(c);
            }
        }
        if (!progress.Report(int64_t(i + 1) * 100 / int64_t(dibs.size()))) return ERROR_USER_ABORT;
    }
    return SUCCESS;
}

int EncodeDib(const BitmapHandle& bmp, std::vector<uint8_t>* dib, Progress& progress) {
    ByteWriter file;
    int status = WriteBmp(bmp, SaveRequest{FILE_BMP, bmp.BitsPerPixel, 2, 0}, file, progress);
    if (status != SUCCESS) return status;
    dib->assign(file.Buffer().begin() + 14, file.Buffer().end());
    return SUCCESS;
}

}  // namespace kivo
