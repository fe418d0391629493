#include <algorithm>
#include <vector>

#include "codecs/jpeg/Jpeg.h"
#include "codecs/jpeg/JpegError.h"
#include "core/HugePages.h"
#include "kivo/imaging/File.h"

namespace kivo {
namespace {

constexpr int RowsPerCall = 16;

enum class Source { Grey, Bgr, Bgrx, Rgb, Expand };

// Plain data only: it is what survives a longjmp out of Encode. Rows come from a bitmap, or
// from a reader that hands over a few rows at a time (R, G, B or grey samples).
struct EncodeJob {
    const BitmapHandle* Bmp;   // null when Rows is given
    JpegRowReader Rows;
    void* RowsContext;
    int Width, Height;
    Progress* Report;
    Source Kind;
    int Quality;
    bool Subsample;
    uint8_t* Scratch;          // RowsPerCall rows of width × 3 bytes, for Source::Expand
    ByteWriter* Out;
};

// Hands libjpeg's output to the ByteWriter in 64 KB pieces. jpeg_mem_dest is not used: when
// compression stops early, the buffer pointer it gave back may already have been freed.
struct Destination {
    jpeg_destination_mgr Pub;  // first, so libjpeg's dest pointer is also ours
    ByteWriter* Out;
    JOCTET Chunk[65536];
};

bool Append(ByteWriter* out, const JOCTET* data, size_t size) noexcept {
    try {
        out->Write(data, size);
        return true;
    } catch (...) {
        return false;
    }
}

void InitDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    d->Pub.next_output_byte = d->Chunk;
    d->Pub.free_in_buffer = sizeof d->Chunk;
}

boolean EmptyDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    // libjpeg wants the whole buffer taken, whatever free_in_buffer says.
    if (!Append(d->Out, d->Chunk, sizeof d->Chunk)) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    InitDestination(cinfo);
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    if (!Append(d->Out, d->Chunk, sizeof d->Chunk - d->Pub.free_in_buffer))
        ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
}

// 16-bit x1555 and colour-palette 8-bit rows become B, G, R.
void ExpandRow(const BitmapHandle& bmp, int y, uint8_t* bgr) {
    const uint8_t* src = bmp.Row(y);
    if (bmp.BitsPerPixel == 16) {
        for (int x = 0; x < bmp.Width; ++x, bgr += 3) {
            const unsigned v = src[2 * x] | (src[2 * x + 1] << 8);
            const unsigned b = v & 31, g = (v >> 5) & 31, r = (v >> 10) & 31;
            bgr[0] = uint8_t((b << 3) | (b >> 2));
            bgr[1] = uint8_t((g << 3) | (g >> 2));
            bgr[2] = uint8_t((r << 3) | (r >> 2));
        }
        return;
    }
    const RgbQuad* pal = bmp.Palette.data();
    const size_t entries = bmp.Palette.size();
    for (int x = 0; x < bmp.Width; ++x, bgr += 3) {
        const RgbQuad q = src[x] < entries ? pal[src[x]] : RgbQuad{};
        bgr[0] = q.Blue;
        bgr[1] = q.Green;
        bgr[2] = q.Red;
    }
}

// A quarter of the raw size holds most photos at high quality; reserving it (untouched pages
// cost nothing) spares the copies of a growing buffer.
void ReserveOutput(ByteWriter& out, int width, int height, int channels) {
    out.Buffer().reserve(out.Buffer().size() +
                         size_t(width) * size_t(height) * size_t(channels) / 4);
    AdviseHugePages(out.Buffer().data() + out.Buffer().size(),
                    out.Buffer().capacity() - out.Buffer().size());
}

int Encode(EncodeJob* job) {
    jpeg_compress_struct cinfo;
    jpeg::ErrorManager errors;
    Destination destination;
    cinfo.err = jpeg::InstallErrorManager(&errors, ERROR_FILE_WRITE);
    if (setjmp(errors.Jump)) {
        jpeg_destroy_compress(&cinfo);
        return errors.Status;
    }
    jpeg_create_compress(&cinfo);
    destination.Pub.init_destination = InitDestination;
    destination.Pub.empty_output_buffer = EmptyDestination;
    destination.Pub.term_destination = TermDestination;
    destination.Out = job->Out;
    cinfo.dest = &destination.Pub;
    cinfo.image_width = JDIMENSION(job->Width);
    cinfo.image_height = JDIMENSION(job->Height);
    switch (job->Kind) {
    case Source::Grey:
        cinfo.input_components = 1;
        cinfo.in_color_space = JCS_GRAYSCALE;
        break;
    case Source::Bgrx:
        cinfo.input_components = 4;
        cinfo.in_color_space = JCS_EXT_BGRX;
        break;
    case Source::Rgb:
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        break;
    default:
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_EXT_BGR;
    }
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, job->Quality, TRUE);
    if (job->Kind != Source::Grey && !job->Subsample) {
        cinfo.comp_info[0].h_samp_factor = 1;
        cinfo.comp_info[0].v_samp_factor = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);

    int status = SUCCESS;
    JSAMPROW rows[RowsPerCall];
    const size_t scratchLine = size_t(job->Width) * 3;
    while (cinfo.next_scanline < cinfo.image_height) {
        const int first = int(cinfo.next_scanline);
        const int n = std::min(RowsPerCall, job->Height - first);
        // libjpeg only reads input rows; its prototype just lacks the const.
        if (job->Rows) {
            size_t stride = 0;
            const uint8_t* block = job->Rows(job->RowsContext, first, n, &stride);
            if (!block) {
                status = ERROR_FILE_READ;
                break;
            }
            for (int i = 0; i < n; ++i) rows[i] = const_cast<JSAMPROW>(block + stride * size_t(i));
        } else {
            for (int i = 0; i < n; ++i) {
                if (job->Kind == Source::Expand) {
                    rows[i] = job->Scratch + scratchLine * i;
                    ExpandRow(*job->Bmp, first + i, rows[i]);
                } else {
                    rows[i] = const_cast<JSAMPROW>(job->Bmp->Row(first + i));
                }
            }
        }
        jpeg_write_scanlines(&cinfo, rows, JDIMENSION(n));
        if (!job->Report->Report(int64_t(first + n) * 100 / job->Height)) {
            status = ERROR_USER_ABORT;
            break;
        }
    }
    if (status == SUCCESS) jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return status;
}

}  // namespace

int WriteJpeg(const BitmapHandle& bmp, const SaveRequest& request, ByteWriter& out,
              Progress& progress) {
    Source kind;
    switch (bmp.BitsPerPixel) {
    case 8:
        kind = bmp.Palette.size() == 256 && IsGreyRampPalette(bmp.Palette) ? Source::Grey
                                                                            : Source::Expand;
        break;
    case 16:
        kind = Source::Expand;
        break;
    case 24:
        kind = Source::Bgr;
        break;
    case 32:
        kind = Source::Bgrx;
        break;
    default:
        return ERROR_INV_BITSPERPIXEL;
    }
    std::vector<uint8_t> scratch;
    if (kind == Source::Expand) scratch.resize(size_t(bmp.Width) * 3 * RowsPerCall);
    EncodeJob job{&bmp,
                  nullptr,
                  nullptr,
                  bmp.Width,
                  bmp.Height,
                  &progress,
                  kind,
                  L_QualityFactorToJpegQuality(request.Quality),
                  request.Format == FILE_LEAD1JFIF,
                  scratch.data(),
                  &out};
    ReserveOutput(out, bmp.Width, bmp.Height, kind == Source::Grey ? 1 : 3);
    const int status = Encode(&job);
    if (status != SUCCESS) return status;
    return progress.Finish() ? SUCCESS : ERROR_USER_ABORT;
}

int WriteJpegRows(JpegRowReader rows, void* context, int width, int height, int channels,
                  const SaveRequest& request, ByteWriter& out, Progress& progress) {
    if (!rows || (channels != 1 && channels != 3) || width <= 0 || height <= 0)
        return ERROR_INV_PARAMETER;
    EncodeJob job{nullptr,
                  rows,
                  context,
                  width,
                  height,
                  &progress,
                  channels == 1 ? Source::Grey : Source::Rgb,
                  L_QualityFactorToJpegQuality(request.Quality),
                  request.Format == FILE_LEAD1JFIF,
                  nullptr,
                  &out};
    ReserveOutput(out, width, height, channels);
    const int status = Encode(&job);
    if (status != SUCCESS) return status;
    return progress.Finish() ? SUCCESS : ERROR_USER_ABORT;
}

}  // namespace kivo
