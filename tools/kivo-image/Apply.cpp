// kivo-image apply EFFECT[:ARG,…] IN OUT: one registered effect on a file.

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "Commands.h"
#include "EffectArgs.h"
#include "kivo/imaging/Effects.h"
#include "kivo/imaging/File.h"
#include "kivo/imaging/SaveTable.h"

namespace {

// A decimal or 0x-prefixed hexadecimal integer, with an optional sign (filter codes read best
// in hexadecimal: EdgeDetector:30,0x0103).
bool ParseArg(const std::string& text, int* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 0);
    if (*end != '\0' || errno == ERANGE || v < -(1L << 30) || v > (1L << 30)) return false;
    *value = int(v);
    return true;
}

std::string ParamList(const EffectInfo& e) {
    std::string s;
    for (const EffectParam& p : e.Params) {
        if (!s.empty()) s += ", ";
        s += std::string(p.Name) + " " + std::to_string(p.Min) + ".." + std::to_string(p.Max);
    }
    return s.empty() ? "no arguments" : s;
}

std::string Extension(const std::string& path) {
    const size_t slash = path.find_last_of('/'), dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return path.substr(dot);
}

// The netpbm extensions are not in the editor's save table, but scripts and benchmarks want
// uncompressed files in and out; the writer picks P4, P5 or P6 from the bitmap's colours.
bool IsNetpbmExtension(std::string ext) {
    for (char& c : ext) c = char(std::tolower((unsigned char)c));
    return ext == ".ppm" || ext == ".pgm" || ext == ".pbm" || ext == ".pnm";
}

}  // namespace

int ParseEffectSpec(const std::string& spec, const EffectInfo** effect, std::vector<int>* args) {
    const size_t colon = spec.find(':');
    const std::string name = spec.substr(0, colon);
    *effect = FindEffect(name);
    if (!*effect) return Fail("apply", "unknown effect '" + name + "'");
    args->clear();
    if (colon != std::string::npos) {
        const std::string list = spec.substr(colon + 1);
        size_t start = 0;
        while (true) {
            const size_t comma = list.find(',', start);
            const std::string item = list.substr(start, comma - start);
            int v = 0;
            if (!ParseArg(item, &v))
                return Fail(name, "argument " + std::to_string(args->size() + 1) + " '" + item +
                                      "' is not a whole number");
            args->push_back(v);
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }
    int bad = -1;
    if (PrepareEffectArgs(**effect, args, &bad) != SUCCESS) {
        const EffectInfo& e = **effect;
        if (bad < 0)
            return Fail(e.Name, "takes at most " + std::to_string(e.Params.size()) +
                                    " arguments (" + ParamList(e) + ")");
        const EffectParam& p = e.Params[size_t(bad)];
        return Fail(e.Name, std::string(p.Name) + " must be from " + std::to_string(p.Min) +
                                " to " + std::to_string(p.Max) + ", not " +
                                std::to_string((*args)[size_t(bad)]));
    }
    return 0;
}

int SaveByExtension(const BitmapHandle& bitmap, const std::string& path) {
    const SaveTableRow* row = SaveRowForExtension(Extension(path));
    if (!row && IsNetpbmExtension(Extension(path))) {
        const int status = L_SaveBitmap(path, &bitmap, FILE_PNM, bitmap.BitsPerPixel);
        if (status != SUCCESS) return Fail(path, L_StatusText(status));
        return 0;
    }
    if (!row) return Fail(path, "unknown extension '" + Extension(path) + "'");
    const int status = L_SaveBitmap(path, &bitmap, row->Format, row->DepthFor(bitmap.BitsPerPixel));
    if (status != SUCCESS) return Fail(path, L_StatusText(status));
    return 0;
}

int RunApply(const Args& args) {
    if (args.size() != 3) return Fail("apply", "expected EFFECT[:ARG,...] IN OUT");
    const EffectInfo* effect = nullptr;
    std::vector<int> values;
    if (int rc = ParseEffectSpec(args[0], &effect, &values); rc != 0) return rc;
    BitmapHandle bitmap;
    int status = L_LoadBitmap(args[1], &bitmap);
    if (status != SUCCESS) return Fail(args[1], L_StatusText(status));
    status = effect->Apply(&bitmap, values);
    if (status != SUCCESS) return Fail(effect->Name, L_StatusText(status));
    return SaveByExtension(bitmap, args[2]);
}
