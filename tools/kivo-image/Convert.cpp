#include <cstdio>
#include <string>

#include "Commands.h"
#include "kivo/imaging/File.h"
#include "kivo/imaging/SaveTable.h"

namespace {

std::string ExtensionOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return path.substr(dot);
}

}  // namespace

int RunConvert(const Args& args) {
    std::string in, out;
    int format = 0, bpp = -1, quality = 2;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](int* target) {
            if (i + 1 >= args.size() || !ParseInt(args[i + 1], target)) return false;
            ++i;
            return true;
        };
        if (a == "--format") {
            if (!value(&format)) return Fail("convert", "--format needs a format code");
        } else if (a == "--bpp") {
            if (!value(&bpp)) return Fail("convert", "--bpp needs a number of bits per pixel");
        } else if (a == "--quality") {
            if (!value(&quality) || quality < 2 || quality > 255)
                return Fail("convert", "--quality needs a quality factor from 2 to 255");
        } else if (in.empty()) {
            in = a;
        } else if (out.empty()) {
            out = a;
        } else {
            return Fail("convert", "unexpected argument '" + a + "'");
        }
    }
    if (in.empty() || out.empty()) return Fail("convert", "expected IN and OUT");

    const SaveTableRow* row = SaveRowForExtension(ExtensionOf(out));
    if (format == 0) {
        if (!row) {
            if (ExtensionOf(out).empty())
                return Fail(out, "no extension to choose a format by; pass --format CODE");
            return Fail(out, "unknown extension '" + ExtensionOf(out) + "'; pass --format CODE");
        }
        format = row->Format;
    }
    // The save table's depth rule when the format came from the extension; otherwise the
    // picture's own depth.
    auto depthFor = [&](int loaded) {
        if (bpp >= 0) return bpp;
        return row && row->Format == format ? row->DepthFor(loaded) : loaded;
    };
    FileInfo loaded{};
    const int status = L_ConvertFile(in, out, format, depthFor, quality, &loaded);
    // The input's geometry is known once it has loaded: a failure after that is the output's.
    if (status != SUCCESS) return Fail(loaded.Width > 0 ? out : in, L_StatusText(status));
    return 0;
}
