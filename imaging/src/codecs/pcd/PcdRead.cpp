#include <algorithm>
#include <array>
#include <cstring>

#include "codecs/pcd/Pcd.h"
#include "kivo/imaging/File.h"

namespace kivo {

namespace {

constexpr size_t SignatureOffset = 0x800;
constexpr size_t RotationOffset = 0xE02;
// The uncompressed resolutions: base/16, base/4 and base, each at a fixed sector.
struct Resolution {
    size_t Offset;
    int Width, Height;
};
constexpr Resolution Resolutions[] = {{0x30000, 768, 512}, {0xB800, 384, 256}, {0x2000, 192, 128}};

bool SniffPcd(const uint8_t* head, size_t size) {
    return size >= SignatureOffset + 7 && std::memcmp(head + SignatureOffset, "PCD_IPI", 7) == 0;
}

uint8_t Clip(int v) { return uint8_t(std::clamp(v, 0, 255)); }

int ReadPcd(ByteReader& in, BitmapHandle& out, Progress& progress) {
    if (!SniffPcd(in.Data(), in.Length())) return ERROR_FILE_FORMAT;
    // An image pack cut short (a partial copy) reads at the largest resolution it holds whole.
    const Resolution* res = nullptr;
    for (const Resolution& r : Resolutions)
        if (in.Length() >= r.Offset + size_t(r.Width) * 3 / 2 * size_t(r.Height)) {
            res = &r;
            break;
        }
    if (!res) return ERROR_FILE_CORRUPT;
    const int BaseWidth = res->Width, BaseHeight = res->Height;
    const size_t PairBytes = size_t(BaseWidth) * 3;  // two luma rows, two half chroma rows
    const int rotation = in.Data()[RotationOffset] & 3;

    // Fixed-point tables (×1024) of the equations, indexed by the stored byte.
    std::array<int, 256> luma{}, blueC1{}, greenC1{}, greenC2{}, redC2{};
    for (int i = 0; i < 256; ++i) {
        const double c1 = 2.2179 * (i - 156), c2 = 1.8215 * (i - 137);
        luma[size_t(i)] = int(1.3584 * i * 1024 + 512);
        blueC1[size_t(i)] = int(c1 * 1024);
        greenC1[size_t(i)] = int(-0.194 * c1 * 1024);
        greenC2[size_t(i)] = int(-0.509 * c2 * 1024);
        redC2[size_t(i)] = int(c2 * 1024);
    }

    BitmapHandle upright;
    BitmapHandle& base = rotation == 0 ? out : upright;
    int status = AllocateChecked(base, BaseWidth, BaseHeight, 24);
    if (status != SUCCESS) return status;
    const uint8_t* pair = in.Data() + res->Offset;
    for (int y = 0; y < BaseHeight; y += 2, pair += PairBytes) {
        const uint8_t* c1 = pair + 2 * BaseWidth;
        const uint8_t* c2 = c1 + BaseWidth / 2;
        for (int k = 0; k < 2; ++k) {
            const uint8_t* lumaRow = pair + k * BaseWidth;
            uint8_t* dst = base.Row(y + k);
            for (int x = 0; x < BaseWidth; ++x) {
                const int l = luma[lumaRow[x]];
                const uint8_t a = c1[x >> 1], b = c2[x >> 1];
                dst[3 * x] = Clip((l + blueC1[a]) >> 10);
                dst[3 * x + 1] = Clip((l + greenC1[a] + greenC2[b]) >> 10);
                dst[3 * x + 2] = Clip((l + redC2[b]) >> 10);
            }
        }
        if (!progress.Report(int64_t(y + 2) * 100 / BaseHeight)) return ERROR_USER_ABORT;
    }
    if (rotation == 0) return SUCCESS;

    // The header's rotation is the counter-clockwise turn that shows the picture upright.
    const bool swap = rotation != 2;
    status = AllocateChecked(out, swap ? BaseHeight : BaseWidth, swap ? BaseWidth : BaseHeight, 24);
    if (status != SUCCESS) return status;
    for (int y = 0; y < BaseHeight; ++y) {
        const uint8_t* src = upright.Row(y);
        for (int x = 0; x < BaseWidth; ++x) {
            int ox, oy;
            if (rotation == 1) {
                ox = y;
                oy = BaseWidth - 1 - x;
            } else if (rotation == 2) {
                ox = BaseWidth - 1 - x;
                oy = BaseHeight - 1 - y;
            } else {
                ox = BaseHeight - 1 - y;
                oy = x;
            }
            std::memcpy(out.Row(oy) + 3 * ox, src + 3 * x, 3);
        }
    }
    return SUCCESS;
}

}  // namespace

CodecEntry MakePcdCodec() {
    return CodecEntry{"PCD", FILE_PCD, {}, {}, 40, SniffPcd, ReadPcd, nullptr};
}

}  // namespace kivo
