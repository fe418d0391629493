#include "core/Quantize.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <unordered_set>

#include "core/PixelRows.h"

namespace kivo {
namespace {

constexpr int Side = 33;  // 32 cells per channel plus the zero border the prefix sums need
constexpr int Cells = Side * Side * Side;

constexpr int CellIndex(int r, int g, int b) { return (r * Side + g) * Side + b; }

// Accumulates pixels with `Stride` bytes each (B, G, R first).
template <int Stride>
void Accumulate(const uint8_t* p, int width, int64_t* wt, int64_t* mr, int64_t* mg, int64_t* mb,
                int64_t* m2, unsigned& greyBits) {
    unsigned grey = 0;
    for (int x = 0; x < width; ++x, p += Stride) {
        const int b = p[0], g = p[1], r = p[2];
        grey |= unsigned(r ^ g) | unsigned(g ^ b);
        const int i = CellIndex((r >> 3) + 1, (g >> 3) + 1, (b >> 3) + 1);
        wt[i] += 1;
        mr[i] += r;
        mg[i] += g;
        mb[i] += b;
        m2[i] += r * r + g * g + b * b;
    }
    greyBits |= grey;
}

// One box of the colour cube: cells (r0, r1] × (g0, g1] × (b0, b1] of the prefix-sum grid.
struct Box {
    int R0, R1, G0, G1, B0, B1;
    int Volume;
};

enum Axis { AxisRed, AxisGreen, AxisBlue };

// Sum of a moment over a box, from the cumulative moments (inclusion–exclusion on 8 corners).
int64_t Vol(const Box& c, const std::vector<int64_t>& m) {
    return m[CellIndex(c.R1, c.G1, c.B1)] - m[CellIndex(c.R1, c.G1, c.B0)] -
           m[CellIndex(c.R1, c.G0, c.B1)] + m[CellIndex(c.R1, c.G0, c.B0)] -
           m[CellIndex(c.R0, c.G1, c.B1)] + m[CellIndex(c.R0, c.G1, c.B0)] +
           m[CellIndex(c.R0, c.G0, c.B1)] - m[CellIndex(c.R0, c.G0, c.B0)];
}

// The part of Vol that does not depend on the cut position along an axis.
int64_t Bottom(const Box& c, Axis axis, const std::vector<int64_t>& m) {
    switch (axis) {
        case AxisRed:
            return -m[CellIndex(c.R0, c.G1, c.B1)] + m[CellIndex(c.R0, c.G1, c.B0)] +
                   m[CellIndex(c.R0, c.G0, c.B1)] - m[CellIndex(c.R0, c.G0, c.B0)];
        case AxisGreen:
            return -m[CellIndex(c.R1, c.G0, c.B1)] + m[CellIndex(c.R1, c.G0, c.B0)] +
                   m[CellIndex(c.R0, c.G0, c.B1)] - m[CellIndex(c.R0, c.G0, c.B0)];
        case AxisBlue:
            return -m[CellIndex(c.R1, c.G1, c.B0)] + m[CellIndex(c.R1, c.G0, c.B0)] +
                   m[CellIndex(c.R0, c.G1, c.B0)] - m[CellIndex(c.R0, c.G0, c.B0)];
    }
    return 0;
}

// The part of Vol that depends on the cut position `pos` along an axis.
int64_t Top(const Box& c, Axis axis, int pos, const std::vector<int64_t>& m) {
    switch (axis) {
        case AxisRed:
            return m[CellIndex(pos, c.G1, c.B1)] - m[CellIndex(pos, c.G1, c.B0)] -
                   m[CellIndex(pos, c.G0, c.B1)] + m[CellIndex(pos, c.G0, c.B0)];
        case AxisGreen:
            return m[CellIndex(c.R1, pos, c.B1)] - m[CellIndex(c.R1, pos, c.B0)] -
                   m[CellIndex(c.R0, pos, c.B1)] + m[CellIndex(c.R0, pos, c.B0)];
        case AxisBlue:
            return m[CellIndex(c.R1, c.G1, pos)] - m[CellIndex(c.R1, c.G0, pos)] -
                   m[CellIndex(c.R0, c.G1, pos)] + m[CellIndex(c.R0, c.G0, pos)];
    }
    return 0;
}

struct Moments {
    std::vector<int64_t> Wt, Mr, Mg, Mb, M2;

    // The sum of squared distances of the box's pixels from their mean.
    double Variance(const Box& c) const {
        const double w = double(Vol(c, Wt));
        if (w <= 0) return 0;
        const double dr = double(Vol(c, Mr)), dg = double(Vol(c, Mg)), db = double(Vol(c, Mb));
        return double(Vol(c, M2)) - (dr * dr + dg * dg + db * db) / w;
    }

    // The cut along an axis that maximises the sum over both halves of |sum|²/count, which is
    // the same as minimising the halves' summed variance.
    double Maximize(const Box& c, Axis axis, int first, int last, int* cut, double wholeR,
                    double wholeG, double wholeB, double wholeW) const {
        const double baseR = double(Bottom(c, axis, Mr)), baseG = double(Bottom(c, axis, Mg)),
                     baseB = double(Bottom(c, axis, Mb)), baseW = double(Bottom(c, axis, Wt));
        double best = 0;
        *cut = -1;
        for (int i = first; i < last; ++i) {
            double halfR = baseR + double(Top(c, axis, i, Mr));
            double halfG = baseG + double(Top(c, axis, i, Mg));
            double halfB = baseB + double(Top(c, axis, i, Mb));
            double halfW = baseW + double(Top(c, axis, i, Wt));
            if (halfW == 0) continue;
            double score = (halfR * halfR + halfG * halfG + halfB * halfB) / halfW;
            halfR = wholeR - halfR;
            halfG = wholeG - halfG;
            halfB = wholeB - halfB;
            halfW = wholeW - halfW;
            if (halfW == 0) continue;
            score += (halfR * halfR + halfG * halfG + halfB * halfB) / halfW;
            if (score > best) {
                best = score;
                *cut = i;
            }
        }
        return best;
    }

    bool Cut(Box& a, Box& b) const {
        const double wholeR = double(Vol(a, Mr)), wholeG = double(Vol(a, Mg)),
                     wholeB = double(Vol(a, Mb)), wholeW = double(Vol(a, Wt));
        int cutR, cutG, cutB;
        const double maxR = Maximize(a, AxisRed, a.R0 + 1, a.R1, &cutR, wholeR, wholeG, wholeB,
                                     wholeW);
        const double maxG = Maximize(a, AxisGreen, a.G0 + 1, a.G1, &cutG, wholeR, wholeG, wholeB,
                                     wholeW);
        const double maxB = Maximize(a, AxisBlue, a.B0 + 1, a.B1, &cutB, wholeR, wholeG, wholeB,
                                     wholeW);
        Axis axis;
        if (maxR >= maxG && maxR >= maxB) {
            axis = AxisRed;
            if (cutR < 0) return false;  // the box holds a single occupied cell
        } else if (maxG >= maxR && maxG >= maxB) {
            axis = AxisGreen;
        } else {
            axis = AxisBlue;
        }
        b.R1 = a.R1;
        b.G1 = a.G1;
        b.B1 = a.B1;
        switch (axis) {
            case AxisRed:
                b.R0 = a.R1 = cutR;
                b.G0 = a.G0;
                b.B0 = a.B0;
                break;
            case AxisGreen:
                b.G0 = a.G1 = cutG;
                b.R0 = a.R0;
                b.B0 = a.B0;
                break;
            case AxisBlue:
                b.B0 = a.B1 = cutB;
                b.R0 = a.R0;
                b.G0 = a.G0;
                break;
        }
        a.Volume = (a.R1 - a.R0) * (a.G1 - a.G0) * (a.B1 - a.B0);
        b.Volume = (b.R1 - b.R0) * (b.G1 - b.G0) * (b.B1 - b.B0);
        return true;
    }
};

// Turns per-cell moments into cumulative ones: afterwards m[r][g][b] is the sum over all cells
// (1..r, 1..g, 1..b), so any box's sum takes eight look-ups.
void Cumulate(std::vector<int64_t>& m) {
    std::vector<int64_t> area(Side);
    for (int r = 1; r < Side; ++r) {
        std::fill(area.begin(), area.end(), 0);
        for (int g = 1; g < Side; ++g) {
            int64_t line = 0;
            for (int b = 1; b < Side; ++b) {
                const int i = CellIndex(r, g, b);
                line += m[i];
                area[b] += line;
                m[i] = m[CellIndex(r - 1, g, b)] + area[b];
            }
        }
    }
}

uint8_t Channel(double v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); }

int Luma(const RgbQuad& c) { return 299 * c.Red + 587 * c.Green + 114 * c.Blue; }

}  // namespace

ColourHistogram::ColourHistogram()
    : Wt(Cells), Mr(Cells), Mg(Cells), Mb(Cells), M2(Cells) {}

void ColourHistogram::AddRows(const BitmapHandle& src, const std::array<RgbQuad, 256>& palette,
                              int firstRow, int endRow) {
    unsigned greyBits = 0;
    std::vector<uint8_t> scratch;
    if (src.BitsPerPixel != 24 && src.BitsPerPixel != 32) scratch.resize(size_t(src.Width) * 3);
    for (int y = firstRow; y < endRow; ++y) {
        const uint8_t* row = src.Row(y);
        if (src.BitsPerPixel == 24) {
            Accumulate<3>(row, src.Width, Wt.data(), Mr.data(), Mg.data(), Mb.data(), M2.data(),
                          greyBits);
        } else if (src.BitsPerPixel == 32) {
            Accumulate<4>(row, src.Width, Wt.data(), Mr.data(), Mg.data(), Mb.data(), M2.data(),
                          greyBits);
        } else {
            ExpandRow<3>(row, src.BitsPerPixel, src.Width, palette, scratch.data());
            Accumulate<3>(scratch.data(), src.Width, Wt.data(), Mr.data(), Mg.data(), Mb.data(),
                          M2.data(), greyBits);
        }
    }
    if (greyBits) Grey = false;
}

void ColourHistogram::Merge(const ColourHistogram& other) {
    for (int i = 0; i < Cells; ++i) {
        Wt[i] += other.Wt[i];
        Mr[i] += other.Mr[i];
        Mg[i] += other.Mg[i];
        Mb[i] += other.Mb[i];
        M2[i] += other.M2[i];
    }
    Grey = Grey && other.Grey;
}

int ColourHistogram::OccupiedCells() const {
    return int(std::count_if(Wt.begin(), Wt.end(), [](int64_t w) { return w != 0; }));
}

ColorPalette ColourHistogram::WuPalette(int maxColours) const {
    Moments m{Wt, Mr, Mg, Mb, M2};
    Cumulate(m.Wt);
    Cumulate(m.Mr);
    Cumulate(m.Mg);
    Cumulate(m.Mb);
    Cumulate(m.M2);

    std::vector<Box> boxes(size_t(std::max(1, maxColours)));
    std::vector<double> variance(boxes.size(), 0.0);
    boxes[0] = Box{0, Side - 1, 0, Side - 1, 0, Side - 1, 0};
    int count = int(boxes.size());
    int next = 0;
    for (int i = 1; i < count; ++i) {
        if (m.Cut(boxes[size_t(next)], boxes[size_t(i)])) {
            // A box of one cell cannot be cut again, so it never competes.
            variance[size_t(next)] =
                boxes[size_t(next)].Volume > 1 ? m.Variance(boxes[size_t(next)]) : 0.0;
            variance[size_t(i)] = boxes[size_t(i)].Volume > 1 ? m.Variance(boxes[size_t(i)]) : 0.0;
        } else {
            variance[size_t(next)] = 0.0;
            --i;
        }
        next = 0;
        double worst = variance[0];
        for (int k = 1; k <= i; ++k) {
            if (variance[size_t(k)] > worst) {
                worst = variance[size_t(k)];
                next = k;
            }
        }
        if (worst <= 0.0) {
            count = i + 1;
            break;
        }
    }

    // Box means as the first palette; empty boxes are dropped.
    std::vector<std::array<double, 3>> centres;
    for (int i = 0; i < count; ++i) {
        const double w = double(Vol(boxes[size_t(i)], m.Wt));
        if (w <= 0) continue;
        centres.push_back({double(Vol(boxes[size_t(i)], m.Mr)) / w,
                           double(Vol(boxes[size_t(i)], m.Mg)) / w,
                           double(Vol(boxes[size_t(i)], m.Mb)) / w});
    }

    // A few Lloyd steps over the occupied cells (each as its mean, weighted by its count) move
    // the colours off the box grid towards the picture's own clusters: boxes cut only along
    // cell borders, so their means are not the best colours for the pixels they end up serving.
    struct Cell {
        float R, G, B;
        double W;
    };
    std::vector<Cell> cells;
    for (int i = 0; i < Cells; ++i) {
        if (!Wt[size_t(i)]) continue;
        const double w = double(Wt[size_t(i)]);
        cells.push_back(Cell{float(double(Mr[size_t(i)]) / w), float(double(Mg[size_t(i)]) / w),
                             float(double(Mb[size_t(i)]) / w), w});
    }
    const size_t k = centres.size();
    std::vector<float> cr(k), cg(k), cb(k);
    std::vector<double> sr(k), sg(k), sb(k), sw(k);
    for (int step = 0; step < 3 && k > 1; ++step) {
        for (size_t j = 0; j < k; ++j) {
            cr[j] = float(centres[j][0]);
            cg[j] = float(centres[j][1]);
            cb[j] = float(centres[j][2]);
        }
        std::fill(sr.begin(), sr.end(), 0.0);
        std::fill(sg.begin(), sg.end(), 0.0);
        std::fill(sb.begin(), sb.end(), 0.0);
        std::fill(sw.begin(), sw.end(), 0.0);
        for (const Cell& c : cells) {
            size_t best = 0;
            float bestD = 1e30f;
            for (size_t j = 0; j < k; ++j) {
                const float dr = cr[j] - c.R, dg = cg[j] - c.G, db = cb[j] - c.B;
                const float d = dr * dr + dg * dg + db * db;
                if (d < bestD) {
                    bestD = d;
                    best = j;
                }
            }
            sr[best] += c.R * c.W;
            sg[best] += c.G * c.W;
            sb[best] += c.B * c.W;
            sw[best] += c.W;
        }
        for (size_t j = 0; j < k; ++j)
            if (sw[j] > 0) centres[j] = {sr[j] / sw[j], sg[j] / sw[j], sb[j] / sw[j]};
    }

    ColorPalette out;
    out.reserve(k);
    for (const auto& c : centres) {
        RgbQuad q{Channel(c[2]), Channel(c[1]), Channel(c[0]), 0};
        if (std::find(out.begin(), out.end(), q) == out.end()) out.push_back(q);
    }
    if (out.empty()) out.push_back(RgbQuad{});
    return out;
}

bool ExactColours(const BitmapHandle& src, const std::array<RgbQuad, 256>& palette,
                  int maxColours, ColorPalette* out) {
    std::unordered_set<uint32_t> seen;
    std::vector<uint8_t> scratch(size_t(src.Width) * 3);
    uint32_t last = 0xFFFFFFFFu;
    for (int y = 0; y < src.Height; ++y) {
        const uint8_t* p = src.Row(y);
        int stride = 3;
        if (src.BitsPerPixel == 32) {
            stride = 4;
        } else if (src.BitsPerPixel != 24) {
            ExpandRow<3>(p, src.BitsPerPixel, src.Width, palette, scratch.data());
            p = scratch.data();
        }
        for (int x = 0; x < src.Width; ++x, p += stride) {
            const uint32_t c = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
            if (c == last) continue;
            last = c;
            if (seen.insert(c).second && int(seen.size()) > maxColours) return false;
        }
    }
    ColorPalette colours;
    colours.reserve(seen.size());
    for (uint32_t c : seen) colours.push_back(RgbQuad{uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
    std::sort(colours.begin(), colours.end(), [](const RgbQuad& a, const RgbQuad& b) {
        const int la = Luma(a), lb = Luma(b);
        if (la != lb) return la < lb;
        return std::tie(a.Red, a.Green, a.Blue) < std::tie(b.Red, b.Green, b.Blue);
    });
    *out = std::move(colours);
    return true;
}

ColorPalette FixedPalette(int bitsPerPixel) {
    ColorPalette p;
    auto add = [&p](int r, int g, int b) {
        p.push_back(RgbQuad{uint8_t(b), uint8_t(g), uint8_t(r), 0});
    };
    if (bitsPerPixel == 1) {
        add(0, 0, 0);
        add(255, 255, 255);
    } else if (bitsPerPixel == 4) {
        // The VGA colours in their customary order: dark ones, then light ones.
        static const int vga[16][3] = {{0, 0, 0},     {128, 0, 0},     {0, 128, 0},
                                       {128, 128, 0}, {0, 0, 128},     {128, 0, 128},
                                       {0, 128, 128}, {192, 192, 192}, {128, 128, 128},
                                       {255, 0, 0},   {0, 255, 0},     {255, 255, 0},
                                       {0, 0, 255},   {255, 0, 255},   {0, 255, 255},
                                       {255, 255, 255}};
        for (const auto& c : vga) add(c[0], c[1], c[2]);
    } else {
        // Green gets the seventh level because the eye tells green shades apart best; the four
        // greys fill the gaps of the cube's grey axis, which only holds black and white.
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 7; ++g)
                for (int b = 0; b < 6; ++b) add(r * 51, (g * 255 + 3) / 6, b * 51);
        for (int i = 1; i <= 4; ++i) add(i * 51, i * 51, i * 51);
    }
    return p;
}

ColorPalette GreyRampPalette(int bitsPerPixel) {
    const int n = 1 << bitsPerPixel;
    ColorPalette p(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const uint8_t v = uint8_t(i * 255 / (n - 1));
        p[size_t(i)] = RgbQuad{v, v, v, 0};
    }
    return p;
}

}  // namespace kivo
