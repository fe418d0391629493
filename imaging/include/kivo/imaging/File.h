#pragma once

// Loading and saving pictures.
//
// A file's format is recognised from its content, never from its name: each codec has a sniff
// function over the first bytes, and formats with strong signatures are tried first. A picture is
// loaded at its own depth unless the caller asks for another (then L_ColorResBitmap converts it).
// Every decoder checks sizes and offsets against the data it has, and refuses pictures above the
// pixel limit (L_GetMaxPixels) before allocating.
//
// Saving writes a temporary file in the target's folder and renames it over the target only when
// the picture is complete, so a failed save never destroys an existing file.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kivo/imaging/Bitmap.h"

enum FileFormat : int {
    FILE_PCX = 1,
    FILE_GIF = 2,
    FILE_TIF = 3,
    FILE_TGA = 4,
    FILE_BMP = 6,
    FILE_JPEG = 10,      // written with 4:4:4 chroma (no subsampling)
    FILE_WMF = 15,
    FILE_RAS = 55,
    FILE_PCT = 56,
    FILE_PNG = 75,
    FILE_PSD = 76,
    FILE_LEAD1JFIF = 98, // JPEG written with 4:2:0 chroma subsampling
    FILE_XPM = 109,
    FILE_IFF_CAT = 112,  // interchange file: IFF CAT holding one FORM ILBM
    FILE_EMF = 116,
    FILE_PNM = 200,      // netpbm P4/P5/P6: an extra format for the command line and benchmarks
};

// Legacy formats that are read but never written; L_LoadBitmap reports these codes.
enum ReadOnlyFileFormat : int {
    FILE_MAC = 120,   // MacPaint (.mac), with or without the 128-byte MacBinary header
    FILE_MSP = 121,   // Microsoft Paint (.msp), versions 1 and 2
    FILE_IMG = 122,   // GEM raster (.img), 1 to 8 planes
    FILE_CALS = 140,  // CALS raster type 1 (.cal), CCITT group 4
    FILE_WPG = 141,   // WordPerfect graphics 1 and 2 (.wpg), bitmap records
    FILE_EPS = 142,   // DOS EPS binary (.eps): the TIFF or WMF preview
    FILE_PCD = 143,   // Kodak Photo CD (.pcd): the 768 × 512 base image
};

struct FileInfo {
    int Format = 0;  // the FileFormat code of the format read
    int Width = 0;
    int Height = 0;
    int BitsPerPixel = 0;
};

// bitsPerPixel 0 = as stored; colorOrder 1 = BGR (the only order). loadOptions is reserved.
// info, when given, receives the format and the file's own geometry.
int L_LoadBitmap(const std::string& path, BitmapHandle* h, int bitsPerPixel = 0,
                 int colorOrder = 1, const void* loadOptions = nullptr, FileInfo* info = nullptr);
int L_LoadBitmapMemory(const uint8_t* data, size_t size, BitmapHandle* h, int bitsPerPixel = 0,
                       int colorOrder = 1, const void* loadOptions = nullptr,
                       FileInfo* info = nullptr);

// format: a FileFormat code; bitsPerPixel 0 keeps the bitmap's depth; a depth the format cannot
// store is refused with ERROR_INV_BITSPERPIXEL. quality: 2 (best) .. 255 (smallest), used by
// JPEG (see L_QualityFactorToJpegQuality) and ignored by lossless formats.
int L_SaveBitmap(const std::string& path, const BitmapHandle* h, int format, int bitsPerPixel,
                 int quality = 2, int flags = 0);
// The same encoders into memory.
int L_SaveBitmapMemory(std::vector<uint8_t>* out, const BitmapHandle* h, int format,
                       int bitsPerPixel, int quality = 2, int flags = 0);

// Loads `in` and saves it to `out` as `format` at the depth depthFor(the file's own depth)
// returns (0 keeps it), with the same result as L_LoadBitmap followed by L_SaveBitmap. Binary
// netpbm pictures written as JPEG at their own depth are encoded as their rows are read, so
// the picture is never held whole. info, when given, receives the input's format and
// geometry as soon as the input has been read (a failure after that is the output's).
int L_ConvertFile(const std::string& in, const std::string& out, int format,
                  const std::function<int(int)>& depthFor, int quality = 2,
                  FileInfo* info = nullptr);

// Quality factor 2..255 → JPEG quality 100..1: q = 100 − round((factor − 2) × 99 / 253).
// Monotone: a higher factor never gives a higher JPEG quality. Factors outside 2..255 are
// clamped.
int L_QualityFactorToJpegQuality(int qualityFactor);

// The depths a format's writer accepts (empty for an unknown or read-only format).
std::vector<int> L_FormatSaveDepths(int format);
// A short name of the format ("BMP", "JPEG", …), or "" for an unknown code.
const char* L_FormatName(int format);
