#pragma once

// What the TIFF reader and writer share: libtiff handles and open options as RAII types, and
// message handlers that keep libtiff quiet.

#include <cstdarg>
#include <memory>

#include <tiffio.h>

namespace kivo::tiff {

struct CloseTiff {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, CloseTiff>;

struct FreeOptions {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};
using OptionsPtr = std::unique_ptr<TIFFOpenOptions, FreeOptions>;

// Returning 1 tells libtiff the message was handled, so its global handlers (which print to
// stderr) are not called either.
inline int Silent(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Options for one open: messages swallowed, and no single allocation inside libtiff above
// maxAlloc bytes (a damaged directory cannot make it reserve gigabytes).
inline OptionsPtr QuietOptions(tmsize_t maxAlloc) {
    // Messages libtiff raises before it knows the per-open handlers go to the global ones.
    static const bool globalSilenced = [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
        return true;
    }();
    (void)globalSilenced;
    OptionsPtr options(TIFFOpenOptionsAlloc());
    if (!options) return options;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), Silent, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), Silent, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), maxAlloc);
    return options;
}

}  // namespace kivo::tiff
