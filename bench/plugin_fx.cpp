// plugin-fx EFFECT IN.bmp OUT.bmp [ARG...]: runs one of the plug-in's effects on a BMP file and
// writes the result as a 24-bit BMP; prints the effect's own time in milliseconds on stderr.
// Effects and arguments: wave COLDIV ROWDIV AMPLITUDE | rotate CX CY DEGREES | fisheye AMOUNT |
// twist DIVISOR | sharpen D | mosaic BLOCK | spray RADIUS | splitblur D | shiftx N | shifty N |
// gaussianblur PASSES | mononoise RANGE | colornoise RANGE

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FastFX.h"

using namespace kivo::morefilters;

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: plugin-fx EFFECT IN.bmp OUT.bmp [ARG...]\n");
        return 2;
    }
    const std::string effect = argv[1];
    auto arg = [&](int i) { return argc > 4 + i ? std::atof(argv[4 + i]) : 0.0; };
    try {
        auto source = TFastBMP::CreateFromFile(argv[2]);
        auto target = TFastBMP::CreateCopy(*source);
        const auto start = std::chrono::steady_clock::now();
        if (effect == "wave")
            Wave(*source, *target, arg(0), arg(1), arg(2));
        else if (effect == "rotate")
            Rotate(*source, *target, int(arg(0)), int(arg(1)), arg(2));
        else if (effect == "fisheye")
            FishEye(*source, *target, arg(0));
        else if (effect == "twist")
            Twist(*source, *target, int(arg(0)));
        else if (effect == "sharpen")
            Sharpen(*target, int(arg(0)));
        else if (effect == "mosaic")
            Mosaic(*target, int(arg(0)), int(arg(0)));
        else if (effect == "spray")
            Spray(*source, *target, int(arg(0)));
        else if (effect == "splitblur")
            SplitBlur(*target, int(arg(0)));
        else if (effect == "shiftx")
            WrapShiftX(*target, int(arg(0)));
        else if (effect == "shifty")
            WrapShiftY(*target, int(arg(0)));
        else if (effect == "gaussianblur")
            GaussianBlur(*target, int(arg(0)));
        else if (effect == "mononoise")
            MonoNoise(*target, uint32_t(arg(0)));
        else if (effect == "colornoise")
            ColorNoise(*target, uint32_t(arg(0)));
        else {
            std::fprintf(stderr, "plugin-fx: unknown effect %s\n", effect.c_str());
            return 2;
        }
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (!target->SaveToFile(argv[3])) {
            std::fprintf(stderr, "plugin-fx: cannot write %s\n", argv[3]);
            return 1;
        }
        std::fprintf(stderr, "%.1f\n", ms);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "plugin-fx: %s\n", e.what());
        return 1;
    }
    return 0;
}
