#include <algorithm>
#include <cstring>

#include "codecs/jpeg/Jpeg.h"
#include "codecs/jpeg/JpegError.h"
#include "kivo/imaging/File.h"

namespace kivo {
namespace {

// Legitimate progressive files have about ten scans; thousands of tiny scans only make the
// decoder spin.
constexpr int MaxScans = 1000;
constexpr int RowsPerCall = 16;

struct ScanLimit {
    jpeg_progress_mgr Pub;
};

void CheckScanCount(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > MaxScans) ERREXIT(cinfo, JERR_BAD_SCAN_SCRIPT);
}

// Everything the decoder needs, as plain data: it is what survives a longjmp.
struct DecodeJob {
    const uint8_t* Data;
    size_t Size;
    BitmapHandle* Out;
    Progress* Report;
    bool Grey;
};

inline uint8_t Div255(unsigned v) { return uint8_t((v + 127) / 255); }

// CMYK rows → B, G, R (see Jpeg.h for the two conversions).
void CmykToBgr(const uint8_t* cmyk, uint8_t* bgr, int width, bool inverted) {
    for (int x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        bgr[0] = Div255(y * k);
        bgr[1] = Div255(m * k);
        bgr[2] = Div255(c * k);
    }
}

// The caller holds the C++ objects; this function holds only plain data and libjpeg's structs.
int Decode(DecodeJob* job) {
    jpeg_decompress_struct cinfo;
    jpeg::ErrorManager errors;
    ScanLimit limit;
    cinfo.err = jpeg::InstallErrorManager(&errors, ERROR_FILE_CORRUPT);
    if (setjmp(errors.Jump)) {
        jpeg_destroy_decompress(&cinfo);
        return errors.Status;
    }
    jpeg_create_decompress(&cinfo);
    limit.Pub.progress_monitor = CheckScanCount;
    cinfo.progress = &limit.Pub;
    jpeg_mem_src(&cinfo, job->Data, static_cast<unsigned long>(job->Size));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) ERREXIT(&cinfo, JERR_NO_IMAGE);

    int status = SUCCESS;
    bool cmyk = false;
    switch (cinfo.num_components) {
    case 1:
        cinfo.out_color_space = JCS_GRAYSCALE;
        break;
    case 3:
        if (cinfo.jpeg_color_space != JCS_YCbCr && cinfo.jpeg_color_space != JCS_RGB)
            status = ERROR_FEATURE_NOT_SUPPORTED;
        cinfo.out_color_space = JCS_EXT_BGR;
        break;
    case 4:
        if (cinfo.jpeg_color_space != JCS_CMYK && cinfo.jpeg_color_space != JCS_YCCK)
            status = ERROR_FEATURE_NOT_SUPPORTED;
        cinfo.out_color_space = JCS_CMYK;
        cmyk = true;
        break;
    default:
        status = ERROR_FEATURE_NOT_SUPPORTED;
    }
    if (status == SUCCESS)
        status = AllocateChecked(*job->Out, cinfo.image_width, cinfo.image_height,
                                 cinfo.num_components == 1 ? 8 : 24);
    if (status != SUCCESS) {
        jpeg_destroy_decompress(&cinfo);
        return status;
    }
    job->Grey = cinfo.num_components == 1;

    jpeg_start_decompress(&cinfo);
    const int width = int(cinfo.output_width), height = int(cinfo.output_height);
    if (width != job->Out->Width || height != job->Out->Height) status = ERROR_INTERNAL;
    JSAMPARRAY cmykRows = nullptr;
    if (cmyk && status == SUCCESS)
        cmykRows = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                              JDIMENSION(width) * 4, RowsPerCall);
    JSAMPROW rows[RowsPerCall];
    while (status == SUCCESS && cinfo.output_scanline < cinfo.output_height) {
        const int first = int(cinfo.output_scanline);
        const int n = std::min(RowsPerCall, height - first);
        for (int i = 0; i < n; ++i) rows[i] = cmyk ? cmykRows[i] : job->Out->Row(first + i);
        const int got = int(jpeg_read_scanlines(&cinfo, rows, JDIMENSION(n)));
        if (errors.MissingData || got <= 0) {
            status = ERROR_FILE_CORRUPT;
            break;
        }
        if (cmyk)
            for (int i = 0; i < got; ++i)
                CmykToBgr(cmykRows[i], job->Out->Row(first + i), width, cinfo.saw_Adobe_marker);
        if (!job->Report->Report(int64_t(first + got) * 100 / height)) status = ERROR_USER_ABORT;
    }
    // All rows are in: what follows the last scan (trailing markers, a missing EOI) does not
    // change the picture, so it is not read.
    jpeg_destroy_decompress(&cinfo);
    return status;
}

}  // namespace

int ReadJpeg(ByteReader& in, BitmapHandle& out, Progress& progress) {
    DecodeJob job{in.Data(), in.Length(), &out, &progress, false};
    const int status = Decode(&job);
    if (status != SUCCESS) return status;
    if (job.Grey) {
        out.Palette.resize(256);
        for (int i = 0; i < 256; ++i)
            out.Palette[i] = RgbQuad{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    }
    return SUCCESS;
}

}  // namespace kivo

namespace kivo {
namespace {

// Every JPEG stream starts with SOI followed by another marker.
bool SniffJpeg(const uint8_t* head, size_t size) {
    return size >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

}  // namespace

CodecEntry MakeJpegCodec() {
    return CodecEntry{"JPEG",     FILE_JPEG,  {FILE_JPEG, FILE_LEAD1JFIF},
                      {8, 16, 24, 32}, 10, SniffJpeg, ReadJpeg, WriteJpeg};
}

}  // namespace kivo
