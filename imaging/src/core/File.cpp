#include "kivo/imaging/File.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <new>
#include <string>

#include "codecs/Codec.h"
#include "codecs/jpeg/Jpeg.h"
#include "codecs/pnm/Pnm.h"
#include "kivo/imaging/ColorRes.h"

namespace {

// Read-only view of a whole file, mapped when possible.
class MappedFile {
public:
    explicit MappedFile(const std::string& path) {
        Fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (Fd < 0) return;
        struct stat st{};
        if (::fstat(Fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            Status = ERROR_FILE_OPEN;
            return;
        }
        Size = size_t(st.st_size);
        if (Size == 0) {
            Status = ERROR_FILE_FORMAT;
            return;
        }
        // Big files are read whole: filling the page table in one go spares a fault per few
        // pages.
        const int populate = Size >= (size_t(1) << 20) ? MAP_POPULATE : 0;
        void* p = ::mmap(nullptr, Size, PROT_READ, MAP_PRIVATE | populate, Fd, 0);
        if (p == MAP_FAILED) {
            Status = ERROR_FILE_READ;
            return;
        }
        Map = static_cast<const uint8_t*>(p);
        ::madvise(p, Size, MADV_SEQUENTIAL);
        Status = SUCCESS;
    }
    ~MappedFile() {
        if (Map) ::munmap(const_cast<uint8_t*>(Map), Size);
        if (Fd >= 0) ::close(Fd);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    int Status = ERROR_FILE_OPEN;
    const uint8_t* Map = nullptr;
    size_t Size = 0;

private:
    int Fd = -1;
};

int LoadFromMemory(const uint8_t* data, size_t size, BitmapHandle* h, int bitsPerPixel,
                   FileInfo* info) {
    if (!h || (!data && size)) return ERROR_INV_PARAMETER;
    if (bitsPerPixel != 0 && bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 &&
        bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32)
        return ERROR_INV_BITSPERPIXEL;
    const kivo::CodecEntry* codec = kivo::CodecForData(data, size);
    if (!codec || !codec->Read) return ERROR_FILE_FORMAT;
    try {
        kivo::ByteReader reader(data, size);
        kivo::Progress progress(100);
        BitmapHandle out;
        int status = codec->Read(reader, out, progress);
        if (status != SUCCESS) return status;
        if (!out.Allocated()) return ERROR_INTERNAL;
        if (info) *info = FileInfo{codec->LoadFormat, out.Width, out.Height, out.BitsPerPixel};
        if (bitsPerPixel != 0 && bitsPerPixel != out.BitsPerPixel) {
            status = L_ColorResBitmap(&out, &out, bitsPerPixel, CRF_BYTEORDERBGR);
            if (status != SUCCESS) return status;
        }
        *h = std::move(out);
        return SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    } catch (...) {
        return ERROR_INTERNAL;
    }
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Writes the bytes beside the target and renames them over it, so the target is either the old
// file or the complete new one. The new file gets the usual 0666 & ~umask permissions, or the
// permissions of the file it replaces.
int WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string tmpl = DirectoryOf(path) + "/.kivo-save-XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return ERROR_FILE_WRITE;
    mode_t mode;
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            ::close(fd);
            ::unlink(name.data());
            return ERROR_FILE_WRITE;
        }
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            ::unlink(name.data());
            return ERROR_FILE_WRITE;
        }
        done += size_t(n);
    }
    if (::close(fd) != 0 || ::rename(name.data(), path.c_str()) != 0) {
        ::unlink(name.data());
        return ERROR_FILE_WRITE;
    }
    return SUCCESS;
}

bool IsGreyRamp(const ColorPalette& pal) {
    if (pal.size() < 2) return false;
    for (size_t i = 0; i < pal.size(); ++i) {
        const RgbQuad& q = pal[i];
        if (q.Red != q.Green || q.Green != q.Blue) return false;
        if (q.Red != uint8_t(i * 255 / (pal.size() - 1))) return false;
    }
    return true;
}

}  // namespace

int L_LoadBitmap(const std::string& path, BitmapHandle* h, int bitsPerPixel, int /*colorOrder*/,
                 const void* /*loadOptions*/, FileInfo* info) {
    if (!h || path.empty()) return ERROR_INV_PARAMETER;
    MappedFile file(path);
    if (file.Status != SUCCESS) return file.Status;
    return LoadFromMemory(file.Map, file.Size, h, bitsPerPixel, info);
}

int L_LoadBitmapMemory(const uint8_t* data, size_t size, BitmapHandle* h, int bitsPerPixel,
                       int /*colorOrder*/, const void* /*loadOptions*/, FileInfo* info) {
    if (size == 0) return ERROR_FILE_FORMAT;
    return LoadFromMemory(data, size, h, bitsPerPixel, info);
}

int L_SaveBitmapMemory(std::vector<uint8_t>* out, const BitmapHandle* h, int format,
                       int bitsPerPixel, int quality, int flags) {
    if (!out || !h) return ERROR_INV_PARAMETER;
    if (!h->Allocated()) return ERROR_NO_BITMAP;
    const kivo::CodecEntry* codec = kivo::CodecForSaveFormat(format);
    if (!codec || !codec->Write) return ERROR_INV_FORMAT;
    const int bpp = bitsPerPixel == 0 ? h->BitsPerPixel : bitsPerPixel;
    if (std::find(codec->SaveDepths.begin(), codec->SaveDepths.end(), bpp) ==
        codec->SaveDepths.end())
        return ERROR_INV_BITSPERPIXEL;
    try {
        const BitmapHandle* source = h;
        BitmapHandle converted;
        const bool needsTopDown = h->ViewPerspective != TOP_LEFT;
        if (bpp != h->BitsPerPixel) {
            // Lowering the depth for a save uses the best palette we can make.
            // A 1-bit file is expected to be black and white, not two picked colours.
            int crf = bpp == 1   ? CRF_FIXEDPALETTE | CRF_FLOYDSTEINDITHERING
                      : bpp <= 8 ? CRF_OPTIMIZEDPALETTE | CRF_FLOYDSTEINDITHERING
                                 : CRF_BYTEORDERBGR;
            int status = L_ColorResBitmap(h, &converted, bpp, crf);
            if (status != SUCCESS) return status;
            source = &converted;
        }
        if (needsTopDown) {
            int status = L_ChangeBitmapViewPerspective(&converted, source, TOP_LEFT);
            if (status != SUCCESS) return status;
            source = &converted;
        }
        kivo::SaveRequest request{format, bpp, std::clamp(quality, 2, 255), flags};
        kivo::ByteWriter writer;
        kivo::Progress progress(100);
        int status = codec->Write(*source, request, writer, progress);
        if (status != SUCCESS) return status;
        *out = std::move(writer.Buffer());
        return SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    } catch (...) {
        return ERROR_INTERNAL;
    }
}

int L_SaveBitmap(const std::string& path, const BitmapHandle* h, int format, int bitsPerPixel,
                 int quality, int flags) {
    if (!h || path.empty()) return ERROR_INV_PARAMETER;
    std::vector<uint8_t> bytes;
    int status = L_SaveBitmapMemory(&bytes, h, format, bitsPerPixel, quality, flags);
    if (status != SUCCESS) return status;
    try {
        return WriteFileAtomically(path, bytes);
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
}

namespace {

// Rows of a netpbm file read a few at a time into a small buffer that stays in the cache, as
// the JPEG encoder asks for them.
struct PnmRowStream {
    int Fd;
    kivo::PnmRows Layout;
    std::vector<uint8_t> Buffer;

    static const uint8_t* Next(void* context, int first, int n, size_t* stride) {
        auto* self = static_cast<PnmRowStream*>(context);
        const size_t bytes = self->Layout.Stride * size_t(n);
        if (self->Buffer.size() < bytes) self->Buffer.resize(bytes);
        off_t at = off_t(self->Layout.Offset + self->Layout.Stride * size_t(first));
        for (size_t done = 0; done < bytes;) {
            const ssize_t got = ::pread(self->Fd, self->Buffer.data() + done, bytes - done, at);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return nullptr;
            done += size_t(got);
            at += got;
        }
        *stride = self->Layout.Stride;
        return self->Buffer.data();
    }
};

// A binary netpbm picture at its own depth written as JPEG, streamed: 1 done, 0 when the input
// is not such a picture (the caller then converts the usual way), else the failure.
int StreamPnmToJpeg(const std::string& in, const std::string& out, int format,
                    const std::function<int(int)>& depthFor, int quality, FileInfo* info) {
    if (format != FILE_JPEG && format != FILE_LEAD1JFIF) return 0;
    const int fd = ::open(in.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    struct Closer {
        int Fd;
        ~Closer() { ::close(Fd); }
    } closer{fd};
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    uint8_t head[4096];
    const ssize_t got = ::pread(fd, head, sizeof head, 0);
    PnmRowStream stream{fd, {}, {}};
    if (got <= 0 || !kivo::PnmRowLayout(head, size_t(got), uint64_t(st.st_size), &stream.Layout))
        return 0;
    const kivo::PnmRows& rows = stream.Layout;
    const int bpp = rows.Channels == 3 ? 24 : 8;
    const int wanted = depthFor(bpp);
    if (wanted != bpp && wanted != 0) return 0;
    if (info) *info = FileInfo{FILE_PNM, rows.Width, rows.Height, bpp};
    kivo::SaveRequest request{format, bpp, std::clamp(quality, 2, 255), 0};
    kivo::ByteWriter writer;
    kivo::Progress progress(100);
    const int status = kivo::WriteJpegRows(PnmRowStream::Next, &stream, rows.Width, rows.Height,
                                           rows.Channels, request, writer, progress);
    if (status != SUCCESS) return status;
    return WriteFileAtomically(out, writer.Buffer());
}

}  // namespace

int L_ConvertFile(const std::string& in, const std::string& out, int format,
                  const std::function<int(int)>& depthFor, int quality, FileInfo* info) {
    if (in.empty() || out.empty() || !depthFor) return ERROR_INV_PARAMETER;
    try {
        if (const int streamed = StreamPnmToJpeg(in, out, format, depthFor, quality, info))
            return streamed;
        MappedFile file(in);
        if (file.Status != SUCCESS) return file.Status;
        BitmapHandle bitmap;
        FileInfo loaded;
        const int status = LoadFromMemory(file.Map, file.Size, &bitmap, 0, &loaded);
        if (status != SUCCESS) return status;
        if (info) *info = loaded;
        return L_SaveBitmap(out, &bitmap, format, depthFor(bitmap.BitsPerPixel), quality);
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
}

int L_QualityFactorToJpegQuality(int qualityFactor) {
    const int factor = std::clamp(qualityFactor, 2, 255);
    return 100 - int(std::lround((factor - 2) * 99.0 / 253.0));
}

std::vector<int> L_FormatSaveDepths(int format) {
    const kivo::CodecEntry* codec = kivo::CodecForSaveFormat(format);
    return codec ? codec->SaveDepths : std::vector<int>{};
}

const char* L_FormatName(int format) {
    for (const kivo::CodecEntry& c : kivo::Codecs()) {
        if (c.LoadFormat == format) return c.Name;
        for (int f : c.SaveFormats)
            if (f == format) return c.Name;
    }
    return "";
}

namespace kivo {

bool IsGreyRampPalette(const ColorPalette& pal) { return IsGreyRamp(pal); }

int AllocateChecked(BitmapHandle& out, int64_t width, int64_t height, int bitsPerPixel) {
    if (width <= 0 || height <= 0) return ERROR_FILE_CORRUPT;
    if (width > (int64_t(1) << 24) || height > (int64_t(1) << 24) ||
        uint64_t(width) * uint64_t(height) > L_GetMaxPixels())
        return ERROR_IMAGE_TOO_LARGE;
    return out.Allocate(int(width), int(height), bitsPerPixel);
}

}  // namespace kivo
