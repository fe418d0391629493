#pragma once

// Mapping true colour onto a palette or onto 5-bit channels: the nearest-colour search and
// Floyd–Steinberg error diffusion.

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "core/ParallelRows.h"
#include "core/PixelRows.h"
#include "core/Progress.h"
#include "kivo/imaging/Bitmap.h"

namespace kivo {

// Nearest palette colour (squared RGB distance, lowest index on ties) in a few comparisons.
// The colour cube is split into 32×32×32 cells of 8 levels; each cell keeps the palette entries
// that can be nearest to some colour inside it: those whose distance to the cell's closest point
// is no larger than the smallest distance any entry has to the cell's farthest point. The list
// is sorted by that closest-point distance, so a look-up stops as soon as the next entry cannot
// be nearer than the best found; the answer is exact, not an approximation by the cell centre.
class InverseColourMap {
public:
    explicit InverseColourMap(const ColorPalette& palette);

    int Nearest(int b, int g, int r) const {
        const int plane = r >> 3;
        const size_t cell = size_t(plane) * 1025 + size_t(((g >> 3) << 5) | (b >> 3));
        const Candidate* base = Planes[size_t(plane)].data();
        const Candidate* c = base + Start[cell];
        const Candidate* end = base + Start[cell + 1];
        int best = c->Index;
        int bestD = Distance(*c, b, g, r);
        for (++c; c < end && c->CellDistance <= bestD; ++c) {
            const int d = Distance(*c, b, g, r);
            if (d < bestD || (d == bestD && c->Index < best)) {
                bestD = d;
                best = c->Index;
            }
        }
        return best;
    }
    const RgbQuad& Colour(int index) const { return Palette[size_t(index)]; }
    int Size() const { return int(Palette.size()); }

private:
    struct Candidate {
        // Squared distance from the entry to the cell's closest point, saturated at 65535: a
        // stored value is never above the true one, so stopping on it stays exact.
        uint16_t CellDistance;
        uint8_t B, G, R;
        uint8_t Index;
    };
    static int Distance(const Candidate& e, int b, int g, int r) {
        const int db = e.B - b, dg = e.G - g, dr = e.R - r;
        return db * db + dg * dg + dr * dr;
    }

    ColorPalette Palette;
    // One list per red plane of 32×32 cells, each cell's part sorted by ascending CellDistance,
    // then index; Start holds 1025 offsets per plane.
    std::vector<std::vector<Candidate>> Planes;
    std::vector<uint32_t> Start;
};

// Writes `width` codes (palette indices) into a row of 1, 4 or 8 bits, most significant first,
// with the padding bits of the last byte cleared.
void PackIndices(const uint16_t* codes, int width, int bitsPerPixel, uint8_t* row);
// Writes `width` 16-bit codes into a row, low byte first.
void Pack16(const uint16_t* codes, int width, uint8_t* row);

// Remembers the answers of an InverseColourMap for recently seen colours: a photograph, even
// after error diffusion, revisits a limited set of colours, and one load and compare is far
// cheaper than scanning a cell's candidates. One instance per thread.
class NearestCache {
public:
    explicit NearestCache(const InverseColourMap& map) : Map(map), Slots(size_t(1) << Bits, Empty) {}

    int Nearest(int b, int g, int r) {
        const uint32_t colour = uint32_t(b) | (uint32_t(g) << 8) | (uint32_t(r) << 16);
        uint32_t& slot = Slots[(colour * 2654435761u) >> (32 - Bits)];
        // The slot holds colour << 8 | index. The one value that matches Empty (white mapped to
        // index 255) only ever misses, which costs a search but never a wrong answer.
        if ((slot >> 8) == colour && slot != Empty) return int(slot & 0xFF);
        const int index = Map.Nearest(b, g, r);
        slot = (colour << 8) | uint32_t(index);
        return index;
    }
    const RgbQuad& Colour(int index) const { return Map.Colour(index); }

private:
    static constexpr int Bits = 16;  // 256 KB: stays in the second-level cache
    static constexpr uint32_t Empty = 0xFFFFFFFFu;
    const InverseColourMap& Map;
    std::vector<uint32_t> Slots;
};

// Quantises to the nearest palette colour. One per thread (it owns a cache).
class PaletteQuantiser {
public:
    explicit PaletteQuantiser(const InverseColourMap& map) : Cache(map) {}
    int Pick(int& b, int& g, int& r) {
        const int i = Cache.Nearest(b, g, r);
        const RgbQuad& c = Cache.Colour(i);
        b = c.Blue;
        g = c.Green;
        r = c.Red;
        return i;
    }

private:
    NearestCache Cache;
};

// Quantises each channel to the nearest of the 32 levels a 16-bit pixel can hold.
struct FiveBitQuantiser {
    static int Level(int v) { return (v * 31 + 127) / 255; }
    int Pick(int& b, int& g, int& r) const {
        const int lb = Level(b), lg = Level(g), lr = Level(r);
        b = Widen5(unsigned(lb));
        g = Widen5(unsigned(lg));
        r = Widen5(unsigned(lr));
        return (lr << 10) | (lg << 5) | lb;
    }
};

// Floyd–Steinberg error diffusion of rows [firstRow, endRow) of src, in serpentine order (left
// to right on even rows, right to left on odd ones) with the weights 7/16 ahead, 3/16 behind
// below, 5/16 below and 1/16 ahead below. The value a pixel is quantised at is its colour plus
// the diffused error, clamped to 0..255, so the error a pixel passes on never exceeds one full
// step of the channel and cannot build up into streaks. The diffusion starts warmUpRows above
// firstRow (those rows are quantised but not stored). store(y, codes) writes a row of codes.
// With a progress object, reports progressBase + y + 1 after each row and returns false when
// the status callback aborted.
template <class Quantiser, class Store>
bool DitherBand(const BitmapHandle& src, const std::array<RgbQuad, 256>& palette,
                Quantiser& quantiser, Store& store, int firstRow, int endRow, int warmUpRows,
                Progress* progress, int64_t progressBase) {
    const int width = src.Width;
    std::vector<int> errors(size_t(width + 2) * 6, 0);
    int* cur = errors.data();
    int* next = errors.data() + size_t(width + 2) * 3;
    std::vector<uint8_t> scratch;
    if (src.BitsPerPixel != 24) scratch.resize(size_t(width) * 3);
    std::vector<uint16_t> codes(static_cast<size_t>(width));
    for (int y = std::max(0, firstRow - warmUpRows); y < endRow; ++y) {
        const uint8_t* row = src.Row(y);
        if (src.BitsPerPixel != 24) {
            ExpandRow<3>(row, src.BitsPerPixel, width, palette, scratch.data());
            row = scratch.data();
        }
        std::fill(next, next + size_t(width + 2) * 3, 0);
        const int dir = (y & 1) ? -1 : 1;
        const int first = dir > 0 ? 0 : width - 1;
        for (int n = 0, x = first; n < width; ++n, x += dir) {
            const uint8_t* p = row + size_t(x) * 3;
            int* e = cur + size_t(x + 1) * 3;
            int b = std::clamp(p[0] + ((e[0] + 8) >> 4), 0, 255);
            int g = std::clamp(p[1] + ((e[1] + 8) >> 4), 0, 255);
            int r = std::clamp(p[2] + ((e[2] + 8) >> 4), 0, 255);
            const int wb = b, wg = g, wr = r;
            codes[size_t(x)] = uint16_t(quantiser.Pick(b, g, r));
            const int err[3] = {wb - b, wg - g, wr - r};
            int* ahead = e + dir * 3;
            int* below = next + size_t(x + 1) * 3;
            int* belowBehind = below - dir * 3;
            int* belowAhead = below + dir * 3;
            for (int c = 0; c < 3; ++c) {
                ahead[c] += err[c] * 7;
                belowBehind[c] += err[c] * 3;
                below[c] += err[c] * 5;
                belowAhead[c] += err[c];
            }
        }
        std::swap(cur, next);
        if (y < firstRow) continue;
        store(y, codes.data());
        if (progress && !progress->Report(progressBase + y + 1)) return false;
    }
    return true;
}

// Floyd–Steinberg over the whole picture. Error diffusion is sequential by nature, so a tall
// picture is cut into bands of a fixed height that are dithered on all cores; each band after
// the first starts its diffusion a few rows above its top, so that it begins with an error state
// like the one it would have inherited and no seam shows. The bands do not depend on the number
// of cores, so the result is the same on every machine; a picture of one band is dithered in
// one pass with progress per row. makeQuantiser() gives each band its own quantiser. Returns
// false when the status callback aborted.
template <class MakeQuantiser, class Store>
bool DitherFloydSteinberg(const BitmapHandle& src, const std::array<RgbQuad, 256>& palette,
                          MakeQuantiser&& makeQuantiser, Store&& store, Progress& progress,
                          int64_t progressBase) {
    constexpr int BandRows = 512, WarmUpRows = 24;
    const int bands = (src.Height + BandRows - 1) / BandRows;
    if (bands <= 1) {
        auto quantiser = makeQuantiser();
        return DitherBand(src, palette, quantiser, store, 0, src.Height, 0, &progress,
                          progressBase);
    }
    const int group = ParallelThreadCount();
    for (int b0 = 0; b0 < bands; b0 += group) {
        const int b1 = std::min(bands, b0 + group);
        ParallelRows(
            b1 - b0,
            [&](int first, int end) {
                for (int band = b0 + first; band < b0 + end; ++band) {
                    auto quantiser = makeQuantiser();
                    const int top = band * BandRows;
                    DitherBand(src, palette, quantiser, store, top,
                               std::min(src.Height, top + BandRows), WarmUpRows, nullptr, 0);
                }
            },
            1);
        if (!progress.Report(progressBase + std::min(src.Height, b1 * BandRows))) return false;
    }
    return true;
}

}  // namespace kivo
