#pragma once

// Palette choice for the depth conversions: colour statistics of a picture, the Wu colour
// quantiser, the exact palette of a picture with few colours, and the fixed palettes.

#include <array>
#include <cstdint>
#include <vector>

#include "kivo/imaging/Bitmap.h"

namespace kivo {

// Colour moments of a picture over a 32×32×32 grid of 5-bit cells (with a zero border, 33³), as
// Xiaolin Wu's variance-minimising quantiser needs them: per cell the pixel count, the sums of
// each channel and the sum of squared channel values. Bands of rows fill their own histogram
// and are merged, so the scan runs on all cores.
class ColourHistogram {
public:
    ColourHistogram();

    // Adds rows [firstRow, endRow) of src (any depth; palette holds src's padded palette).
    void AddRows(const BitmapHandle& src, const std::array<RgbQuad, 256>& palette, int firstRow,
                 int endRow);
    void Merge(const ColourHistogram& other);

    bool AllGrey() const { return Grey; }
    // Number of 5-bit cells holding at least one pixel: a lower bound of the distinct colours.
    int OccupiedCells() const;
    // At most maxColours colours: the means of the boxes Wu's algorithm cuts the colour cube into,
    // polished by a few k-means steps over the cells.
    ColorPalette WuPalette(int maxColours) const;

private:
    std::vector<int64_t> Wt, Mr, Mg, Mb, M2;
    bool Grey = true;
};

// The distinct colours of src when there are at most maxColours of them (ordered dark to light),
// or false.
bool ExactColours(const BitmapHandle& src, const std::array<RgbQuad, 256>& palette,
                  int maxColours, ColorPalette* out);

// black and white; the 16 VGA colours; a 6×7×6 colour cube plus four greys.
ColorPalette FixedPalette(int bitsPerPixel);
// 2, 16 or 256 evenly spaced greys from black to white.
ColorPalette GreyRampPalette(int bitsPerPixel);

}  // namespace kivo
