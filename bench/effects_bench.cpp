// Speed of the effects on a 24-megapixel picture in memory, with no file reading or writing, and
// two copies of the same pixels as the yardstick for point operations:
//   Copy/memcpy      the picture's bytes copied into a buffer that is already in memory (the
//                    bandwidth bound a point operation cannot beat);
//   Copy/new bitmap  L_CopyBitmap into an empty handle (what an effect that builds its result
//                    aside pays for the fresh buffer).
//
// usage: effects_bench [--picture FILE] [EFFECT[:ARG,...] ...] [benchmark flags]
//
// Without effect names every registered effect runs at its defaults. Names and arguments read as
// `kivo-image apply` reads them ("Size:3000,2000,2"); bench/compare passes the arguments of its
// rows. --picture loads the picture (bench/compare passes its own), otherwise a photo-like
// 6000 x 4000 picture is drawn here. Each iteration works on a fresh copy of the picture; the
// copy is not timed, and like a decoder it leaves the last part of the picture in the cache.
// No status callback is installed, so point operations work in place, as in kivo-image.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/Effects.h"
#include "kivo/imaging/File.h"

namespace {

// Smooth sky and hills, hard edges and sensor-like grain: something every kind of effect has
// to work on as it would on a photo (flat pictures make medians and histograms look fast).
BitmapHandle DrawPicture(int w, int h) {
    BitmapHandle b;
    L_CreateBitmap(&b, 1, w, h, 24);
    uint32_t state = 12345;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = b.Row(y);
        const double fy = double(y) / h;
        for (int x = 0; x < w; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = int(state >> 28) - 8;
            const double fx = double(x) / w;
            const double hill = 0.55 + 0.08 * std::sin(fx * 7.0) + 0.02 * std::sin(fx * 61.0);
            double r, g, bl;
            if (fy < hill) {
                r = 90 + 110 * fy, g = 140 + 80 * fy, bl = 235 - 40 * fy;
            } else {
                const double t = 0.5 + 0.5 * std::sin(fx * 900) * std::sin(fy * 700);
                r = 60 + 90 * t, g = 120 + 100 * t, bl = 30 + 40 * t;
            }
            const double dx = fx - 0.78, dy = fy - 0.18;
            if (dx * dx + dy * dy < 0.004) r = 255, g = 236, bl = 170;
            auto clamp = [](double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
            row[3 * x] = clamp(bl + noise);
            row[3 * x + 1] = clamp(g + noise);
            row[3 * x + 2] = clamp(r + noise);
        }
    }
    return b;
}

BitmapHandle& Picture() {
    static BitmapHandle picture;
    return picture;
}

void SetPixels(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * int64_t(Picture().Width) * Picture().Height);
}

void CopyMemcpy(benchmark::State& state) {
    const BitmapHandle& src = Picture();
    std::vector<uint8_t> dst(src.DataSize(), 1);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.Data(), src.DataSize());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    SetPixels(state);
}

void CopyNewBitmap(benchmark::State& state) {
    for (auto _ : state) {
        BitmapHandle copy;
        benchmark::DoNotOptimize(L_CopyBitmap(&copy, &Picture()));
        benchmark::ClobberMemory();
    }
    SetPixels(state);
}

void RunEffect(benchmark::State& state, const EffectInfo* effect, std::vector<int> args) {
    for (auto _ : state) {
        state.PauseTiming();
        BitmapHandle work = Picture();
        state.ResumeTiming();
        const int status = effect->Apply(&work, args);
        if (status != SUCCESS) {
            state.SkipWithError(("status " + std::to_string(status)).c_str());
            break;
        }
        benchmark::DoNotOptimize(work.Data());
        // Freeing the result is part of the effect's cost only in the sense that the next
        // allocation reuses it; leave it out of the time like the copy.
        state.PauseTiming();
        work.Release();
        state.ResumeTiming();
    }
    SetPixels(state);
}

// "Name:1,2,3" → the effect and its completed arguments; false with a message otherwise.
bool ParseSpec(const std::string& spec, const EffectInfo** effect, std::vector<int>* args) {
    const size_t colon = spec.find(':');
    *effect = FindEffect(spec.substr(0, colon));
    if (!*effect) {
        std::fprintf(stderr, "effects_bench: unknown effect '%s'\n", spec.c_str());
        return false;
    }
    args->clear();
    if (colon != std::string::npos) {
        const char* p = spec.c_str() + colon + 1;
        while (*p) {
            char* end = nullptr;
            args->push_back(int(std::strtol(p, &end, 0)));
            if (end == p || (*end && *end != ',')) {
                std::fprintf(stderr, "effects_bench: bad arguments in '%s'\n", spec.c_str());
                return false;
            }
            p = *end ? end + 1 : end;
        }
    }
    if (PrepareEffectArgs(**effect, args) != SUCCESS) {
        std::fprintf(stderr, "effects_bench: arguments out of range in '%s'\n", spec.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> rest{argv[0]};
    std::vector<std::string> specs;
    std::string picturePath;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--picture" && i + 1 < argc)
            picturePath = argv[++i];
        else if (a.rfind("--", 0) == 0)
            rest.push_back(argv[i]);
        else
            specs.push_back(a);
    }
    if (!picturePath.empty()) {
        const int status = L_LoadBitmap(picturePath, &Picture());
        if (status != SUCCESS) {
            std::fprintf(stderr, "effects_bench: %s: %s\n", picturePath.c_str(),
                         L_StatusText(status));
            return 1;
        }
    } else {
        Picture() = DrawPicture(6000, 4000);
    }

    benchmark::RegisterBenchmark("Copy/memcpy", CopyMemcpy)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Copy/new bitmap", CopyNewBitmap)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    if (specs.empty())
        for (const EffectInfo* e : EffectRegistry()) specs.push_back(e->Name);
    for (const std::string& spec : specs) {
        const EffectInfo* effect = nullptr;
        std::vector<int> args;
        if (!ParseSpec(spec, &effect, &args)) return 1;
        benchmark::RegisterBenchmark(spec.c_str(), RunEffect, effect, args)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }

    int benchArgc = int(rest.size());
    benchmark::Initialize(&benchArgc, rest.data());
    if (benchmark::ReportUnrecognizedArguments(benchArgc, rest.data())) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
