#pragma once

// The codec registry: one entry per file format. A codec folder (codecs/<fmt>/) provides a reader,
// a writer and a sniff function, and adds one line to Registry.cpp.
//
// Reader contract: read the picture from the reader into `out` at the file's own depth
// (1/4/8/16/24/32 bits, top-down, BGR), check every size and offset, refuse pixel counts above
// L_GetMaxPixels() with ERROR_IMAGE_TOO_LARGE before allocating, report progress through
// `progress` and stop with ERROR_USER_ABORT when it returns false. On failure `out` may hold
// anything; the caller discards it.
//
// Writer contract: `bmp` is allocated, top-down, and already at `bitsPerPixel`, which is one of
// the codec's SaveDepths (the caller converts it). Append the complete file to `out`.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/ByteIO.h"
#include "core/Progress.h"
#include "kivo/imaging/Bitmap.h"

namespace kivo {

struct SaveRequest {
    int Format = 0;        // the format code asked for (JPEG has two)
    int BitsPerPixel = 0;
    int Quality = 2;       // the quality factor 2..255
    int Flags = 0;
};

struct CodecEntry {
    const char* Name;                    // "BMP", "JPEG", …
    int LoadFormat;                      // the code L_LoadBitmap reports for files it reads
    std::vector<int> SaveFormats;        // codes that select this writer (empty: read-only)
    std::vector<int> SaveDepths;         // depths the writer accepts
    int Priority;                        // lower is probed first; formats without a signature last
    bool (*Sniff)(const uint8_t* head, size_t size);
    int (*Read)(ByteReader& in, BitmapHandle& out, Progress& progress);
    int (*Write)(const BitmapHandle& bmp, const SaveRequest& request, ByteWriter& out,
                 Progress& progress);    // null for read-only formats
};

// Every registered codec, sorted by Priority.
const std::vector<CodecEntry>& Codecs();
// The codec whose writer handles a format code, or nullptr.
const CodecEntry* CodecForSaveFormat(int format);
// The codec that recognises the data, or nullptr.
const CodecEntry* CodecForData(const uint8_t* data, size_t size);

// The codec with that Name ("BMP", …), or nullptr; fuzzers and tests use it to reach one decoder.
const CodecEntry* CodecByName(const char* name);

// True when the palette is an even grey ramp (entry i = i × 255 / (n − 1)).
bool IsGreyRampPalette(const ColorPalette& pal);

// Shared reader helper: checks a geometry against the pixel limit and allocates the bitmap.
// Returns SUCCESS, ERROR_FILE_CORRUPT for zero or negative sizes, or ERROR_IMAGE_TOO_LARGE.
int AllocateChecked(BitmapHandle& out, int64_t width, int64_t height, int bitsPerPixel);

}  // namespace kivo
