// Draws the content the program ships. Now: the sample photograph the run command opens, a
// landscape with sky, sun, clouds, mountains, a lake with reflections, trees and a meadow, with
// film grain, so that every filter and the zoom have photographic detail to work on.
//
//   make-content OUT.jpg [WIDTH HEIGHT]     (default 1600 × 1200)

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/File.h"

namespace {

// Deterministic hash noise: the same picture on every machine.
uint32_t Hash(int x, int y, uint32_t seed) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

double Lattice(int x, int y, uint32_t seed) { return (Hash(x, y, seed) & 0xFFFF) / 65535.0; }

double ValueNoise(double x, double y, uint32_t seed) {
    int x0 = int(std::floor(x)), y0 = int(std::floor(y));
    double fx = x - x0, fy = y - y0;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    double a = Lattice(x0, y0, seed), b = Lattice(x0 + 1, y0, seed);
    double c = Lattice(x0, y0 + 1, seed), d = Lattice(x0 + 1, y0 + 1, seed);
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

double Fbm(double x, double y, uint32_t seed, int octaves) {
    double sum = 0, amp = 0.5, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * ValueNoise(x, y, seed + uint32_t(i) * 101);
        norm += amp;
        x *= 2.03;
        y *= 2.03;
        amp *= 0.5;
    }
    return sum / norm;
}

struct Rgb {
    double R, G, B;
};

Rgb Mix(Rgb a, Rgb b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t};
}

Rgb Scene(double u, double v, double aspect, uint32_t seed) {
    const double horizon = 0.58;
    // Mountain ridges, far (hazy blue) and near (darker green-grey).
    double far = 0.40 + 0.10 * Fbm(u * 3.0, 0.5, seed + 11, 6);
    double nearRidge = 0.49 + 0.08 * Fbm(u * 5.0 + 7.0, 1.5, seed + 23, 6);
    const Rgb sunColour{255, 236, 190};
    auto sky = [&](double vv) {
        Rgb top{62, 118, 196}, low{196, 220, 238};
        Rgb s = Mix(top, low, vv / horizon);
        double dx = (u - 0.72) * aspect, dy = vv - 0.18;
        double d = std::sqrt(dx * dx + dy * dy);
        s = Mix(s, sunColour, std::exp(-d * 9.0) * 0.9);
        if (d < 0.035) s = Mix(s, Rgb{255, 250, 235}, 1.0);
        double cloud = Fbm(u * 4.0 * aspect, vv * 9.0, seed + 3, 7);
        cloud = std::clamp((cloud - 0.52) * 3.2, 0.0, 1.0) * (1.0 - vv / horizon * 0.6);
        return Mix(s, Rgb{246, 246, 250}, cloud);
    };
    auto land = [&](double uu, double vv) -> Rgb {
        if (vv < far) return sky(vv);
        if (vv < nearRidge) {
            double shade = Fbm(uu * 30.0, vv * 30.0, seed + 5, 5);
            Rgb rock = Mix(Rgb{112, 128, 156}, Rgb{150, 162, 182}, shade);
            return Mix(rock, Rgb{190, 208, 226}, 0.35);  // aerial haze
        }
        // Forest band down to the shore.
        double shade = Fbm(uu * 60.0, vv * 40.0, seed + 7, 6);
        Rgb forest = Mix(Rgb{28, 62, 34}, Rgb{74, 110, 52}, shade);
        return Mix(forest, Rgb{150, 170, 190}, std::max(0.0, (horizon - vv) * 2.5) * 0.4);
    };
    if (v < horizon) return land(u, v);

    // The lake: the scene mirrored about the horizon, rippled, darker and bluer.
    const double shore = 0.78;
    if (v < shore) {
        double depth = (v - horizon) / (shore - horizon);
        double ripple = (Fbm(u * 8.0, v * 120.0, seed + 13, 4) - 0.5) * 0.02 * (0.3 + depth);
        double mv = horizon - (v - horizon) * 1.1 + ripple;
        Rgb mirrored = land(u + ripple * 0.5, std::max(0.0, mv));
        Rgb water = Mix(mirrored, Rgb{30, 70, 110}, 0.25 + 0.4 * depth);
        double glint = Fbm(u * 40.0, v * 300.0, seed + 17, 3);
        if (std::abs(u - 0.72) < 0.08 && glint > 0.66) water = Mix(water, sunColour, 0.6);
        return water;
    }
    // Meadow with flowers in the foreground.
    double grass = Fbm(u * 200.0, v * 60.0, seed + 19, 5);
    double light = (v - shore) / (1.0 - shore);
    Rgb meadow = Mix(Rgb{70, 120, 40}, Rgb{150, 180, 70}, grass * (1.1 - light * 0.5));
    double flower = Lattice(int(u * 900), int(v * 700), seed + 29);
    if (flower > 0.993) meadow = Mix(meadow, (flower > 0.9965) ? Rgb{250, 240, 80} : Rgb{230, 70, 90}, 0.9);
    return meadow;
}

// Conifers standing on the shore, in front of the forest band.
void DrawTrees(BitmapHandle& b, uint32_t seed) {
    const int w = b.Width, h = b.Height;
    for (int i = 0; i < 70; ++i) {
        double cx = Lattice(i, 1, seed) * w;
        double base = h * (0.575 + 0.02 * Lattice(i, 2, seed));
        double height = h * (0.05 + 0.07 * Lattice(i, 3, seed));
        double half = height * 0.22;
        for (int y = int(base - height); y < int(base); ++y) {
            if (y < 0 || y >= h) continue;
            double t = (y - (base - height)) / height;
            double span = half * t * (0.8 + 0.2 * std::sin(t * 40.0));
            for (int x = int(cx - span); x <= int(cx + span); ++x) {
                if (x < 0 || x >= w) continue;
                double shade = 0.7 + 0.3 * ((x - cx) / (span + 1.0));
                int g = int(55 * shade + 20 * Lattice(x, y, seed + 31));
                L_PutPixelColor(&b, x, y, RGBColor(uint8_t(15 * shade), uint8_t(g), uint8_t(25 * shade)));
            }
        }
    }
}

int MakeSamplePhoto(const std::string& path, int w, int h) {
    BitmapHandle b;
    int status = L_CreateBitmap(&b, 1, w, h, 24);
    if (status != SUCCESS) return status;
    const uint32_t seed = 2004;
    const double aspect = double(w) / h;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = b.Row(y);
        for (int x = 0; x < w; ++x) {
            Rgb c = Scene(double(x) / w, double(y) / h, aspect, seed);
            // Film grain and a gentle vignette.
            double grain = (Lattice(x, y, seed + 97) - 0.5) * 10.0;
            double dx = double(x) / w - 0.5, dy = double(y) / h - 0.5;
            double vignette = 1.0 - 0.35 * (dx * dx + dy * dy);
            row[x * 3 + 0] = uint8_t(std::clamp(c.B * vignette + grain, 0.0, 255.0));
            row[x * 3 + 1] = uint8_t(std::clamp(c.G * vignette + grain, 0.0, 255.0));
            row[x * 3 + 2] = uint8_t(std::clamp(c.R * vignette + grain, 0.0, 255.0));
        }
    }
    DrawTrees(b, seed);
    // Quality factor 20: JPEG quality 93, a camera's "fine" setting.
    return L_SaveBitmap(path, &b, FILE_LEAD1JFIF, 24, 20);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s OUT.jpg [WIDTH HEIGHT]\n", argv[0]);
        return 2;
    }
    int w = argc == 4 ? std::atoi(argv[2]) : 1600;
    int h = argc == 4 ? std::atoi(argv[3]) : 1200;
    if (w <= 0 || h <= 0) {
        std::fprintf(stderr, "%s: bad size %s × %s\n", argv[0], argv[2], argv[3]);
        return 2;
    }
    int status = MakeSamplePhoto(argv[1], w, h);
    if (status != SUCCESS) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", argv[0], argv[1], L_StatusText(status));
        return 1;
    }
    return 0;
}
