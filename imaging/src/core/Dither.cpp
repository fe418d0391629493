#include "core/Dither.h"

#include <algorithm>
#include <cstring>

#include "core/ParallelRows.h"

namespace kivo {

InverseColourMap::InverseColourMap(const ColorPalette& palette) : Palette(palette) {
    if (Palette.empty()) Palette.push_back(RgbQuad{});
    if (Palette.size() > 256) Palette.resize(256);
    const int n = int(Palette.size());
    struct Entry {
        int B, G, R;
    };
    std::vector<Entry> Entries;
    Entries.reserve(size_t(n));
    for (const RgbQuad& c : Palette) Entries.push_back(Entry{c.Blue, c.Green, c.Red});

    // Squared distances along each axis from every entry to the closest and the farthest level
    // of each of the 32 cell positions; a cell's distances are sums of three such terms, so the
    // loop over the entries below is plain adds and minimums that GCC vectorises.
    std::vector<int32_t> nearR(size_t(32 * n)), farR(size_t(32 * n)), nearG(size_t(32 * n)),
        farG(size_t(32 * n)), nearB(size_t(32 * n)), farB(size_t(32 * n));
    for (int c = 0; c < 32; ++c) {
        const int lo = c * 8, hi = lo + 7;
        auto fill = [&](int e, int32_t* nearOut, int32_t* farOut) {
            const int d = e < lo ? lo - e : e > hi ? e - hi : 0;
            const int f = std::max(e - lo, hi - e);
            *nearOut = d * d;
            *farOut = f * f;
        };
        for (int i = 0; i < n; ++i) {
            const size_t k = size_t(c * n + i);
            fill(Entries[size_t(i)].R, &nearR[k], &farR[k]);
            fill(Entries[size_t(i)].G, &nearG[k], &farG[k]);
            fill(Entries[size_t(i)].B, &nearB[k], &farB[k]);
        }
    }

    // One list per red plane, built in parallel and joined afterwards.
    Planes.resize(32);
    Start.resize(32 * 1025);
    ParallelRows(
        32,
        [&](int firstPlane, int endPlane) {
            std::vector<int32_t> minD(static_cast<size_t>(n)), maxD(static_cast<size_t>(n)),
                nearRG(static_cast<size_t>(n)), farRG(static_cast<size_t>(n));
            for (int rc = firstPlane; rc < endPlane; ++rc) {
                std::vector<Candidate>& list = Planes[size_t(rc)];
                for (int gc = 0; gc < 32; ++gc) {
                    const int32_t* nr = &nearR[size_t(rc * n)];
                    const int32_t* fr = &farR[size_t(rc * n)];
                    const int32_t* ng = &nearG[size_t(gc * n)];
                    const int32_t* fg = &farG[size_t(gc * n)];
                    for (int i = 0; i < n; ++i) {
                        nearRG[size_t(i)] = nr[i] + ng[i];
                        farRG[size_t(i)] = fr[i] + fg[i];
                    }
                    for (int bc = 0; bc < 32; ++bc) {
                        const int32_t* nb = &nearB[size_t(bc * n)];
                        const int32_t* fb = &farB[size_t(bc * n)];
                        int32_t bound = 1 << 30;
                        for (int i = 0; i < n; ++i) {
                            minD[size_t(i)] = nearRG[size_t(i)] + nb[i];
                            maxD[size_t(i)] = farRG[size_t(i)] + fb[i];
                            bound = std::min(bound, maxD[size_t(i)]);
                        }
                        const size_t first = list.size();
                        Start[size_t(rc) * 1025 + size_t(gc * 32 + bc)] = uint32_t(first);
                        for (int i = 0; i < n; ++i) {
                            if (minD[size_t(i)] <= bound) {
                                const Entry& e = Entries[size_t(i)];
                                list.push_back(Candidate{
                                    uint16_t(std::min<int32_t>(minD[size_t(i)], 65535)),
                                    uint8_t(e.B), uint8_t(e.G), uint8_t(e.R), uint8_t(i)});
                            }
                        }
                        std::sort(list.begin() + std::ptrdiff_t(first), list.end(),
                                  [](const Candidate& a, const Candidate& b) {
                                      return a.CellDistance != b.CellDistance
                                                 ? a.CellDistance < b.CellDistance
                                                 : a.Index < b.Index;
                                  });
                    }
                }
                Start[size_t(rc) * 1025 + 1024] = uint32_t(list.size());
            }
        },
        1);
}

void PackIndices(const uint16_t* codes, int width, int bitsPerPixel, uint8_t* row) {
    switch (bitsPerPixel) {
        case 8:
            for (int x = 0; x < width; ++x) row[x] = uint8_t(codes[x]);
            break;
        case 4:
            std::memset(row, 0, size_t(width + 1) / 2);
            for (int x = 0; x < width; ++x) row[x >> 1] |= uint8_t((codes[x] & 15) << ((x & 1) ? 0 : 4));
            break;
        case 1:
            std::memset(row, 0, size_t(width + 7) / 8);
            for (int x = 0; x < width; ++x) row[x >> 3] |= uint8_t((codes[x] & 1) << (7 - (x & 7)));
            break;
        default:
            break;
    }
}

void Pack16(const uint16_t* codes, int width, uint8_t* row) {
    for (int x = 0; x < width; ++x) {
        row[2 * x] = uint8_t(codes[x]);
        row[2 * x + 1] = uint8_t(codes[x] >> 8);
    }
}

}  // namespace kivo
