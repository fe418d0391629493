#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "core/ParallelRows.h"
#include "effects/EffectSupport.h"
#include "kivo/imaging/Geometry.h"

namespace kivo::effects {

constexpr EffectParam RotateParams[] = {
    {"angle", -36000, 36000, 9000}, {"flags", 0, 1, 1}, {"fill", 0, 0xFFFFFF, 0}};
extern const EffectInfo RotateEffect = {"Rotate", "geometry", RotateParams,
                                        [](BitmapHandle* h, const std::vector<int>& a) {
                                            return L_RotateBitmap(h, a[0], a[1], ColorRef(a[2]));
                                        }};

namespace {

// dst(x, y) = src(sx, sy) with sx = ax·x + bx·y + cx and sy = ay·x + by·y + cy, one of ax, bx
// and one of ay, by being ±1 and the others 0. Tiles of 64 × 64 keep the column walks of a
// quarter turn inside the cache.
struct IndexMap {
    int Ax, Bx, Cx, Ay, By, Cy;
};

template <int N>
void MoveTile(const BitmapHandle& src, BitmapHandle& dst, const IndexMap& m, int x0, int x1,
              int y) {
    uint8_t* d = dst.Row(y) + size_t(x0) * N;
    // The map is linear, so along a row the source moves by a fixed number of bytes.
    const uint8_t* base = src.Data();
    ptrdiff_t at = ptrdiff_t(m.Ay * x0 + m.By * y + m.Cy) * src.BytesPerLine +
                   ptrdiff_t(m.Ax * x0 + m.Bx * y + m.Cx) * N;
    const ptrdiff_t step = ptrdiff_t(m.Ay) * src.BytesPerLine + ptrdiff_t(m.Ax) * N;
    for (int x = x0; x < x1; ++x, d += N, at += step)
        for (int i = 0; i < N; ++i) d[i] = base[at + i];
}

void MoveByIndex(const BitmapHandle& src, BitmapHandle& dst, const IndexMap& m) {
    constexpr int Tile = 64;
    const int bands = (dst.Height + Tile - 1) / Tile;
    ParallelRows(
        bands,
        [&](int firstBand, int endBand) {
            for (int band = firstBand; band < endBand; ++band) {
                const int y0 = band * Tile, y1 = std::min(dst.Height, y0 + Tile);
                for (int x0 = 0; x0 < dst.Width; x0 += Tile) {
                    const int x1 = std::min(dst.Width, x0 + Tile);
                    for (int y = y0; y < y1; ++y) {
                        switch (dst.BitsPerPixel) {
                            case 8:
                                MoveTile<1>(src, dst, m, x0, x1, y);
                                break;
                            case 16:
                                MoveTile<2>(src, dst, m, x0, x1, y);
                                break;
                            case 24:
                                MoveTile<3>(src, dst, m, x0, x1, y);
                                break;
                            case 32:
                                MoveTile<4>(src, dst, m, x0, x1, y);
                                break;
                            default:
                                for (int x = x0; x < x1; ++x)
                                    CopyPixel(src.Row(m.Ay * x + m.By * y + m.Cy),
                                              m.Ax * x + m.Bx * y + m.Cx, dst.Row(y), x,
                                              dst.BitsPerPixel);
                        }
                    }
                }
            }
        },
        1);
}

// Quarter and half turns, exact at every depth.
int TurnQuarters(const BitmapHandle& src, int quarters, bool resize, ColorRef fill,
                 BitmapHandle* out) {
    const int w = src.Width, h = src.Height;
    const bool odd = quarters % 2 == 1;
    BitmapHandle turned;
    int status = turned.Allocate(odd ? h : w, odd ? w : h, src.BitsPerPixel);
    if (status != SUCCESS) return status;
    turned.Palette = src.Palette;
    IndexMap m{};
    switch (quarters) {
        case 1:
            m = {0, 1, 0, -1, 0, h - 1};
            break;  // src(y, h-1-x)
        case 2:
            m = {-1, 0, w - 1, 0, -1, h - 1};
            break;  // src(w-1-x, h-1-y)
        default:
            m = {0, -1, w - 1, 1, 0, 0};
            break;  // src(w-1-y, x)
    }
    if (quarters == 2) {
        // A half turn is each row mirrored into the mirrored row.
        ParallelRows(h, [&](int first, int end) {
            for (int y = first; y < end; ++y)
                ReverseRow(src.Row(h - 1 - y), turned.Row(y), w, src.BitsPerPixel);
        });
    } else {
        MoveByIndex(src, turned, m);
    }
    ClearPadding(turned);
    if (!odd || resize || w == h) {
        *out = std::move(turned);
        return SUCCESS;
    }
    // Keeping the size: the turned picture is centred, cut where it overhangs, the rest filled.
    status = out->Allocate(w, h, src.BitsPerPixel);
    if (status != SUCCESS) return status;
    out->Palette = src.Palette;
    const std::array<uint8_t, 4> stored = StoredColour(*out, fill);
    const int ox = (w - turned.Width) / 2, oy = (h - turned.Height) / 2;
    ParallelRows(h, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            uint8_t* d = out->Row(y);
            const int ty = y - oy;
            for (int x = 0; x < w; ++x) {
                const int tx = x - ox;
                if (ty >= 0 && ty < turned.Height && tx >= 0 && tx < turned.Width)
                    CopyPixel(turned.Row(ty), tx, d, x, src.BitsPerPixel);
                else
                    PutStored(d, src.BitsPerPixel, x, stored);
            }
        }
    });
    ClearPadding(*out);
    return SUCCESS;
}

// Samples bilinearly from (sx, sy) on, stepping by (dx, dy) in 32.32 fixed point, while all
// four samples lie on the picture (at least the first does) and at most `limit` pixels; returns
// how many it wrote.
template <int N>
int InsideRun(const BitmapHandle& src, int64_t sx, int64_t sy, int64_t dx, int64_t dy, int limit,
              uint8_t* d) {
    const uint64_t wLimit = uint64_t(src.Width - 1), hLimit = uint64_t(src.Height - 1);
    const uint8_t* base = src.Data();
    const size_t stride = size_t(src.BytesPerLine);
    int count = 0;
    for (; count < limit; ++count, sx += dx, sy += dy, d += N) {
        const int64_t fxFloor = sx >> 32, fyFloor = sy >> 32;
        if (uint64_t(fxFloor) >= wLimit || uint64_t(fyFloor) >= hLimit) break;
        const unsigned fx = unsigned((sx >> 24) & 255), fy = unsigned((sy >> 24) & 255);
        const unsigned w00 = (256 - fx) * (256 - fy), w10 = fx * (256 - fy), w01 = (256 - fx) * fy,
                       w11 = fx * fy;
        const uint8_t* p00 = base + size_t(fyFloor) * stride + size_t(fxFloor) * N;
        const uint8_t* p01 = p00 + stride;
        for (int i = 0; i < N; ++i)
            d[i] = uint8_t(
                (p00[i] * w00 + p00[N + i] * w10 + p01[i] * w01 + p01[N + i] * w11 + 32768) >> 16);
    }
    return count;
}

// Any other angle: each new pixel samples the old picture bilinearly at its inverse-turned
// centre; samples off the picture take the fill colour, so the edges come out smooth.
int TurnBilinear(const BitmapHandle& src, double radians, bool resize, ColorRef fill,
                 BitmapHandle* out) {
    const double c = std::cos(radians), s = std::sin(radians);
    const int w = src.Width, h = src.Height;
    int nw = w, nh = h;
    if (resize) {
        // The small epsilon keeps sizes that are whole in exact arithmetic from rounding up.
        nw = std::max(1, int(std::ceil(std::abs(w * c) + std::abs(h * s) - 1e-6)));
        nh = std::max(1, int(std::ceil(std::abs(w * s) + std::abs(h * c) - 1e-6)));
    }
    const int n = Channels(src);
    int status = out->Allocate(nw, nh, src.BitsPerPixel);
    if (status != SUCCESS) return status;
    const uint8_t fillPixel[4] = {GetBValue(fill), GetGValue(fill), GetRValue(fill), 255};
    // 32 fractional bits: the per-pixel step accumulates no visible error over any width.
    constexpr double One = 4294967296.0;
    Progress progress(nh);
    return ForRows(nh, progress, 0, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            const double v = y + 0.5 - nh / 2.0;
            const double u0 = 0.5 - nw / 2.0;
            // Source position of pixel 0 of this row, in pixel-index coordinates.
            int64_t sx = int64_t(std::llround((u0 * c + v * s + w / 2.0 - 0.5) * One));
            int64_t sy = int64_t(std::llround((-u0 * s + v * c + h / 2.0 - 0.5) * One));
            const int64_t dx = int64_t(std::llround(c * One)), dy = int64_t(std::llround(-s * One));
            uint8_t* d = out->Row(y);
            for (int x = 0; x < nw; ++x, sx += dx, sy += dy, d += n) {
                const int64_t fxFloor = sx >> 32, fyFloor = sy >> 32;
                // Most of a row has all four samples on the picture: a run of them goes
                // through the loop without edge tests, then the general path goes on.
                if (uint64_t(fxFloor) < uint64_t(w - 1) && uint64_t(fyFloor) < uint64_t(h - 1)) {
                    const int run = n == 3 ? InsideRun<3>(src, sx, sy, dx, dy, nw - x, d)
                                           : InsideRun<4>(src, sx, sy, dx, dy, nw - x, d);
                    x += run - 1;
                    sx += dx * (run - 1);
                    sy += dy * (run - 1);
                    d += n * (run - 1);
                    continue;
                }
                if (fxFloor < -1 || fxFloor >= w || fyFloor < -1 || fyFloor >= h) {
                    std::memcpy(d, fillPixel, size_t(n));
                    continue;
                }
                const int x0 = int(fxFloor), y0 = int(fyFloor);
                const unsigned fx = unsigned((sx >> 24) & 255), fy = unsigned((sy >> 24) & 255);
                const unsigned w00 = (256 - fx) * (256 - fy), w10 = fx * (256 - fy),
                               w01 = (256 - fx) * fy, w11 = fx * fy;
                const uint8_t *p00, *p10, *p01, *p11;
                if (x0 >= 0 && x0 + 1 < w && y0 >= 0 && y0 + 1 < h) {
                    p00 = src.Row(y0) + size_t(x0) * n;
                    p10 = p00 + n;
                    p01 = src.Row(y0 + 1) + size_t(x0) * n;
                    p11 = p01 + n;
                } else {
                    auto at = [&](int px, int py) -> const uint8_t* {
                        if (px < 0 || px >= w || py < 0 || py >= h) return fillPixel;
                        return src.Row(py) + size_t(px) * n;
                    };
                    p00 = at(x0, y0);
                    p10 = at(x0 + 1, y0);
                    p01 = at(x0, y0 + 1);
                    p11 = at(x0 + 1, y0 + 1);
                }
                for (int i = 0; i < n; ++i)
                    d[i] = uint8_t(
                        (p00[i] * w00 + p10[i] * w10 + p01[i] * w01 + p11[i] * w11 + 32768) >> 16);
            }
        }
    });
}

}  // namespace

}  // namespace kivo::effects

int L_RotateBitmap(BitmapHandle* h, int angle, int flags, ColorRef fill) {
    using namespace kivo::effects;
    if (int status = CheckBitmap(h); status != SUCCESS) return status;
    if (int status = CheckArgs(RotateParams, {angle, flags, int(fill & 0xFFFFFF)});
        status != SUCCESS)
        return status;
    const int turn = ((angle % 36000) + 36000) % 36000;
    if (turn == 0) return SUCCESS;
    const bool resize = (flags & ROTATE_RESIZE) != 0;
    return Guard([&]() -> int {
        BitmapHandle out;
        int status;
        if (turn % 9000 == 0) {
            status = TurnQuarters(*h, turn / 9000, resize, fill, &out);
        } else {
            BitmapHandle promoted;
            const BitmapHandle* src = h;
            if (h->BitsPerPixel < 24) {
                status = TrueColourCopy(*h, &promoted);
                if (status != SUCCESS) return status;
                src = &promoted;
            }
            status =
                TurnBilinear(*src, angle / 100.0 * std::numbers::pi / 180.0, resize, fill, &out);
            if (status == SUCCESS) ClearPadding(out);
        }
        if (status != SUCCESS) return status;
        out.ViewPerspective = h->ViewPerspective;
        *h = std::move(out);
        return SUCCESS;
    });
}
