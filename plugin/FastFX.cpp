#include "FastFX.h"

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace kivo::morefilters {

namespace {

uint32_t Seed = 0;

// Coordinate arithmetic is done in 64 bits so that large distances or shifts cannot overflow
// before they are clamped to the picture.
int ClampIndex(int64_t value, int size) {
    return value > size - 1 ? size - 1 : value < 0 ? 0 : int(value);
}

// Round to nearest, ties to even, with values far outside any picture pinned to a bound that
// still wraps correctly.
int64_t RoundToInt64(double value) {
    constexpr double limit = 4611686018427387904.0;  // 2^62
    if (!(value > -limit)) return -int64_t(limit);
    if (!(value < limit)) return int64_t(limit);
    return int64_t(std::nearbyint(value));
}

// The quarter turn added by Twist, written as the literal it has always been.
constexpr double TwistQuarterTurn = 1.5707964;

}  // namespace

uint32_t Random(uint32_t n) {
    Seed = Seed * 134775813u + 1u;
    return uint32_t((uint64_t(Seed) * n) >> 32);
}

uint32_t RandomSeed() { return Seed; }

void ColorNoise(TFastBMP& bmp, uint32_t range) {
    const int64_t half = range / 2;
    for (int y = 0; y < bmp.Height; ++y) {
        uint8_t* p = bmp.RowTable[size_t(y)];
        for (int x = 0; x < bmp.Width; ++x, p += 3) {
            for (int ch = 0; ch < 3; ++ch) p[ch] = ClampByte(p[ch] + int64_t(Random(range)) - half);
        }
    }
}

void MonoNoise(TFastBMP& bmp, uint32_t range) {
    const int64_t half = range / 2;
    for (int y = 0; y < bmp.Height; ++y) {
        uint8_t* p = bmp.RowTable[size_t(y)];
        for (int x = 0; x < bmp.Width; ++x, p += 3) {
            const int64_t d = int64_t(Random(range)) - half;
            p[0] = ClampByte(p[0] + d);
            p[1] = ClampByte(p[1] + d);
            p[2] = ClampByte(p[2] + d);
        }
    }
}

void SplitBlur(TFastBMP& bmp, int distance) {
    if (distance == 0) return;
    for (int y = 0; y < bmp.Height; ++y) {
        const uint8_t* above = bmp.RowTable[size_t(ClampIndex(int64_t(y) - distance, bmp.Height))];
        const uint8_t* below = bmp.RowTable[size_t(ClampIndex(int64_t(y) + distance, bmp.Height))];
        uint8_t* row = bmp.RowTable[size_t(y)];
        for (int x = 0; x < bmp.Width; ++x) {
            const size_t left = 3 * size_t(ClampIndex(int64_t(x) - distance, bmp.Width));
            const size_t right = 3 * size_t(ClampIndex(int64_t(x) + distance, bmp.Width));
            uint8_t* p = row + 3 * size_t(x);
            for (int ch = 0; ch < 3; ++ch) {
                p[ch] = uint8_t(
                    (below[right + ch] + above[right + ch] + below[left + ch] + above[left + ch]) /
                    4);
            }
        }
    }
}

void GaussianBlur(TFastBMP& bmp, int passes) {
    for (int distance = passes; distance >= 1; --distance) SplitBlur(bmp, distance);
}

void Sharpen(TFastBMP& bmp, int distance) {
    if (distance == 0) return;
    for (int y = 0; y < bmp.Height; ++y) {
        const uint8_t* rows[3] = {
            bmp.RowTable[size_t(ClampIndex(int64_t(y) - distance, bmp.Height))],
            bmp.RowTable[size_t(y)],
            bmp.RowTable[size_t(ClampIndex(int64_t(y) + distance, bmp.Height))]};
        uint8_t* row = bmp.RowTable[size_t(y)];
        for (int x = 0; x < bmp.Width; ++x) {
            const size_t cols[3] = {3 * size_t(ClampIndex(int64_t(x) - distance, bmp.Width)),
                                    3 * size_t(x),
                                    3 * size_t(ClampIndex(int64_t(x) + distance, bmp.Width))};
            uint8_t* p = row + 3 * size_t(x);
            for (int ch = 0; ch < 3; ++ch) {
                const int centre = p[ch];
                int sum = -centre;
                for (const uint8_t* r : rows)
                    for (size_t c : cols) sum += r[c + size_t(ch)];
                // Division truncates toward zero, as the arithmetic shift with +127 bias did.
                p[ch] = ClampByte((256 * centre - 16 * sum) / 128);
            }
        }
    }
}

void WrapShiftX(TFastBMP& bmp, int shift) {
    const int s = int((int64_t(shift) % bmp.Width + bmp.Width) % bmp.Width);
    if (s == 0) return;
    const size_t wrapped = 3 * size_t(s);
    const size_t kept = 3 * size_t(bmp.Width - s);
    std::vector<uint8_t> buffer(wrapped);
    for (int y = 0; y < bmp.Height; ++y) {
        uint8_t* row = bmp.RowTable[size_t(y)];
        std::memcpy(buffer.data(), row + kept, wrapped);
        std::memmove(row + wrapped, row, kept);
        std::memcpy(row, buffer.data(), wrapped);
    }
}

void WrapShiftY(TFastBMP& bmp, int shift) {
    const int s = int((int64_t(shift) % bmp.Height + bmp.Height) % bmp.Height);
    if (s == 0) return;
    const size_t stride = size_t(bmp.RowStride);
    const size_t wrapped = size_t(s) * stride;
    const size_t kept = size_t(bmp.Height - s) * stride;
    std::vector<uint8_t> buffer(wrapped);
    std::memcpy(buffer.data(), bmp.PixelData + kept, wrapped);
    std::memmove(bmp.PixelData + wrapped, bmp.PixelData, kept);
    std::memcpy(bmp.PixelData, buffer.data(), wrapped);
}

void Spray(const TFastBMP& source, TFastBMP& target, int radius) {
    if (!source.SameSize(target)) return;
    const uint32_t n = radius > 0 ? uint32_t(radius) : 0u;
    for (int y = 0; y < source.Height; ++y) {
        uint8_t* out = target.RowTable[size_t(y)];
        for (int x = 0; x < source.Width; ++x, out += 3) {
            const int64_t r = Random(n);
            const int sx = ClampIndex(r - int64_t(Random(uint32_t(2 * r))) + x, source.Width);
            const int sy = ClampIndex(r - int64_t(Random(uint32_t(2 * r))) + y, source.Height);
            std::memcpy(out, source.Pixel(sx, sy), 3);
        }
    }
}

void Mosaic(TFastBMP& bmp, int blockWidth, int blockHeight) {
    if (blockWidth < 1 || blockHeight < 1) return;
    const int64_t halfW = blockWidth / 2 + blockWidth % 2;
    const int64_t halfH = blockHeight / 2 + blockHeight % 2;
    for (int64_t y0 = 0; y0 < bmp.Height; y0 += blockHeight) {
        const int sampleY = y0 + halfH < bmp.Height ? int(y0 + halfH) : bmp.Height - 1;
        const int64_t h = y0 + blockHeight - 1 < bmp.Height ? blockHeight : bmp.Height - 1 - y0;
        for (int64_t x0 = 0; x0 < bmp.Width; x0 += blockWidth) {
            const int sampleX = x0 + halfW < bmp.Width ? int(x0 + halfW) : bmp.Width - 1;
            const int64_t w = x0 + blockWidth - 1 < bmp.Width ? blockWidth : bmp.Width - 1 - x0;
            uint8_t sample[3];
            std::memcpy(sample, bmp.Pixel(sampleX, sampleY), 3);
            for (int64_t y = y0; y < y0 + h; ++y) {
                uint8_t* p = bmp.Pixel(int(x0), int(y));
                for (int64_t i = 0; i < w; ++i, p += 3) std::memcpy(p, sample, 3);
            }
        }
    }
}

int WrapIndex(int64_t i, int n) {
    if (i < 0) return n - 1 - int((-i) % n);
    if (i > n - 1) return int(i % n);
    return int(i);
}

float AngleOf(float dx, float dy) {
    if (dx == 0) return dy > 0 ? float(std::numbers::pi / 2) : -float(std::numbers::pi / 2);
    double a = std::atan(double(dy) / double(dx));
    if (dx < 0) a += std::numbers::pi;
    return float(a);
}

namespace {

// Weights of the two neighbours along one axis; for a negative coordinate the distance to the
// truncated index goes to the lower neighbour.
void AxisWeights(float s, int64_t i, float w[2]) {
    if (s >= 0) {
        w[1] = float(double(s) - double(i));
        w[0] = float(1.0 - double(w[1]));
    } else {
        w[0] = float(-(double(s) - double(i)));
        w[1] = float(1.0 - double(w[0]));
    }
}

uint8_t RoundChannel(float sum) { return ClampByte(int64_t(std::nearbyint(double(sum)))); }

}  // namespace

TPixel WrappedBilinear(const TFastBMP& source, float sx, float sy) {
    // Truncation to 64 bits is defined only within range; NaN fails both tests.
    if (!(std::fabs(sx) < 4.0e18f)) sx = 0;
    if (!(std::fabs(sy) < 4.0e18f)) sy = 0;
    const int64_t ix = int64_t(sx);
    const int64_t iy = int64_t(sy);
    float wx[2], wy[2];
    AxisWeights(sx, ix, wx);
    AxisWeights(sy, iy, wy);
    const int x0 = WrapIndex(ix, source.Width);
    const int y0 = WrapIndex(iy, source.Height);
    const int xs[2] = {x0, x0 + 1 == source.Width ? 0 : x0 + 1};
    const int ys[2] = {y0, y0 + 1 == source.Height ? 0 : y0 + 1};
    float sum[3] = {0, 0, 0};
    // Visiting order (x0, y0), (x0, y1), (x1, y0), (x1, y1): single sums are order-sensitive.
    for (int cx = 0; cx < 2; ++cx) {
        for (int cy = 0; cy < 2; ++cy) {
            const float w = float(double(wx[cx]) * double(wy[cy]));
            const uint8_t* p = source.Pixel(xs[cx], ys[cy]);
            for (int ch = 0; ch < 3; ++ch) sum[ch] = float(double(sum[ch]) + double(p[ch]) * w);
        }
    }
    return TPixel{RoundChannel(sum[0]), RoundChannel(sum[1]), RoundChannel(sum[2])};
}

namespace {

void PutPixel(TFastBMP& target, int x, int y, TPixel p) {
    uint8_t* out = target.Pixel(x, y);
    out[0] = p.B;
    out[1] = p.G;
    out[2] = p.R;
}

void CopyPixels(const TFastBMP& source, TFastBMP& target) {
    std::memcpy(target.PixelData, source.PixelData, size_t(source.DataSize));
}

}  // namespace

void Wave(const TFastBMP& source, TFastBMP& target, double columnDivisor, double rowDivisor,
          double amplitude) {
    if (!source.SameSize(target)) return;
    if (rowDivisor == 0 || columnDivisor == 0) {
        CopyPixels(source, target);
        return;
    }
    const int width = source.Width;
    const int height = source.Height;
    std::vector<int64_t> rowOffset(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        rowOffset[size_t(y)] = RoundToInt64(amplitude * std::sin(y / rowDivisor));
    // First source row of every column. Above the picture the reduction is modulo H - 1, which is
    // undefined for a one-row picture; there the one row is the only choice.
    std::vector<int> firstRow(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x) {
        int64_t e = RoundToInt64(amplitude * std::sin(x / columnDivisor));
        if (height == 1)
            e = 0;
        else if (e < 0)
            e = height - 1 - ((-e) % height);
        else if (e >= height)
            e = e % (height - 1);
        firstRow[size_t(x)] = int(e);
    }
    // Every target pixel depends on the source only, so filling row by row gives the same bytes as
    // the column-by-column walk and reads the target in cache order.
    for (int y = 0; y < height; ++y) {
        const int64_t offset = rowOffset[size_t(y)];
        uint8_t* out = target.RowTable[size_t(y)];
        for (int x = 0; x < width; ++x, out += 3) {
            int row = firstRow[size_t(x)] + y;
            if (row >= height) row -= height;
            std::memcpy(out, source.Pixel(WrapIndex(x + offset, width), row), 3);
        }
    }
}

void Rotate(const TFastBMP& source, TFastBMP& target, int centreX, int centreY, double angle) {
    if (!source.SameSize(target)) return;
    const float t = float(-angle * std::numbers::pi / 180);
    const float s = float(std::sin(double(t)));
    const float c = float(std::cos(double(t)));
    for (int y = 0; y < target.Height; ++y) {
        const double dy = double(int64_t(y) - centreY);
        for (int x = 0; x < target.Width; ++x) {
            const double dx = double(int64_t(x) - centreX);
            const float sx = float(dx * c + centreX - dy * s);
            const float sy = float(dx * s + centreY + dy * c);
            PutPixel(target, x, y, WrappedBilinear(source, sx, sy));
        }
    }
}

void FishEye(const TFastBMP& source, TFastBMP& target, double amount) {
    if (!source.SameSize(target)) return;
    const float mx = float(source.Width / 2.0);
    const float my = float(source.Height / 2.0);
    const float f = float(amount * target.Width);
    if (f == 0) {
        CopyPixels(source, target);
        return;
    }
    constexpr double reach = 1.0e18;  // beyond this a source position is no position at all
    for (int y = 0; y < target.Height; ++y) {
        const float dy = float(y - double(my));
        for (int x = 0; x < target.Width; ++x) {
            const float dx = float(x - double(mx));
            const float r = float(std::sqrt(double(dx) * dx + double(dy) * dy));
            float sx = mx, sy = my;
            if (r != 0) {
                if (r == f) {
                    std::memcpy(target.Pixel(x, y), source.Pixel(x, y), 3);
                    continue;
                }
                const float k = float((1.0 / (1.0 - double(r) / f) - 1.0) * (double(f) / 2.0));
                sx = float(double(dx) * k / r + mx);
                sy = float(double(dy) * k / r + my);
                if (!(std::fabs(sx) < reach) || !(std::fabs(sy) < reach)) {
                    std::memcpy(target.Pixel(x, y), source.Pixel(x, y), 3);
                    continue;
                }
            }
            PutPixel(target, x, y, WrappedBilinear(source, sx, sy));
        }
    }
}

void Twist(const TFastBMP& source, TFastBMP& target, int divisor) {
    if (!source.SameSize(target) || divisor == 0) return;
    const float cx = float((source.Width - 1) / 2.0);
    const float cy = float((source.Height - 1) / 2.0);
    for (int y = 0; y < target.Height; ++y) {
        const float dy = float(y - double(cy));
        for (int x = 0; x < target.Width; ++x) {
            const float dx = float(x - double(cx));
            const float r = float(std::sqrt(double(dx) * dx + double(dy) * dy));
            float ox = 0, oy = 0;
            if (r != 0) {
                const float theta =
                    float(double(AngleOf(dx, dy)) - double(r) / divisor + TwistQuarterTurn);
                ox = float(std::cos(double(theta)) * r);
                oy = float(std::sin(double(theta)) * r);
            }
            const float sx = float(double(ox) + cx);
            const float sy = float(double(oy) + cy);
            PutPixel(target, x, y, WrappedBilinear(source, sx, sy));
        }
    }
}

}  // namespace kivo::morefilters
