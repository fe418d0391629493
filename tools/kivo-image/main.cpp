// kivo-image: the imaging library on the command line, for scripts, benchmarks and tests.

#include <cstdio>
#include <cstring>
#include <string>

#include "Commands.h"
#include "kivo/imaging/Bitmap.h"

namespace {

struct Command {
    const char* Name;
    int (*Run)(const Args&);
    const char* Usage;
};

const Command CommandTable[] = {
    {"info", RunInfo, "info FILE"},
    {"convert", RunConvert, "convert IN OUT [--format CODE] [--bpp N] [--quality Q]"},
    {"apply", RunApply, "apply EFFECT[:ARG,...] IN OUT"},
    {"filter", RunFilter, "filter N IN OUT"},
    {"gallery", RunGallery, "gallery IN OUT.png"},
};

int Usage(FILE* out) {
    std::fprintf(out, "usage:\n");
    for (const Command& c : CommandTable) std::fprintf(out, "  kivo-image %s\n", c.Usage);
    return out == stderr ? 2 : 0;
}

}  // namespace

int Fail(const std::string& subject, const std::string& reason) {
    std::fprintf(stderr, "kivo-image: %s: %s\n", subject.c_str(), reason.c_str());
    return 1;
}

bool ParseInt(const std::string& text, int* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < -(1L << 30) || v > (1L << 30)) return false;
    *value = int(v);
    return true;
}

int main(int argc, char** argv) {
    if (argc < 2) return Usage(stderr);
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) return Usage(stdout);
    L_PreLoadFilters(5, 1, "BMP, TIF, GIF, JPG, PNG");
    Args args(argv + 2, argv + argc);
    for (const Command& c : CommandTable)
        if (!std::strcmp(argv[1], c.Name)) return c.Run(args);
    std::fprintf(stderr, "kivo-image: unknown command '%s'\n", argv[1]);
    return Usage(stderr);
}
