#pragma once

// The plug-in's 24-bit picture: B, G, R bytes, rows top-down and padded to four bytes, reached
// through the row table. It reads BMP files of every depth by itself (the plug-in shares no code
// with the editor) and writes 24-bit BMP files.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "FastRGB.h"

class QPainter;

namespace kivo::morefilters {

// Raised by CreateFromFile / CreateFromMemory for a file that is missing, truncated or not a BMP
// this reader understands, and for sizes whose pixel block would not fit in 31 bits.
class EFastBMPError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TFastBMP : public TFastRGB {
public:
    // A picture of the given size (both at least 1) with all bytes zero (black).
    TFastBMP(int width, int height);
    ~TFastBMP();

    // Reads a BMP file: 1, 4 and 8 bits with palette (uncompressed, RLE4, RLE8), 16 and 32 bits
    // (default masks or bit fields), 24 bits; Windows headers of 40 to 124 bytes, the OS/2 core
    // header (12 bytes) and OS/2 2.x headers; bottom-up and top-down rows. Alpha is dropped.
    // Pixels an RLE stream skips (delta or early end) stay black; palette indices beyond the
    // palette read as black.
    static std::unique_ptr<TFastBMP> CreateFromFile(const std::string& path);
    static std::unique_ptr<TFastBMP> CreateFromMemory(const uint8_t* data, size_t size);
    // Same size and pixel bytes as other, in memory of its own.
    static std::unique_ptr<TFastBMP> CreateCopy(const TFastBMP& other);

    // Writes the picture as an uncompressed 24-bit bottom-up BMP. The bytes go to a temporary file
    // beside path that replaces path only when complete, so a failed write keeps the old file.
    bool SaveToFile(const std::string& path) const;

    // Paints the picture with its top-left corner at (x, y), through a QImage that wraps the
    // pixel memory without copying. Defined in the plug-in module, the only part that uses Qt.
    void Draw(QPainter& painter, int x, int y) const;

    uint8_t* Pixel(int x, int y) { return RowTable[size_t(y)] + 3 * size_t(x); }
    const uint8_t* Pixel(int x, int y) const { return RowTable[size_t(y)] + 3 * size_t(x); }
    bool SameSize(const TFastBMP& other) const {
        return Width == other.Width && Height == other.Height;
    }

private:
    std::unique_ptr<uint8_t[]> Storage;

    void BuildRows();
};

}  // namespace kivo::morefilters
