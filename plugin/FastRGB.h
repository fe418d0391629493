#pragma once

// Base of the plug-in's bitmap: the size fields and the row table shared by every picture, and the
// two clamping helpers the effects use for channel values and neighbour coordinates.

#include <cstdint>
#include <vector>

namespace kivo::morefilters {

class TFastRGB {
public:
    TFastRGB(const TFastRGB&) = delete;
    TFastRGB& operator=(const TFastRGB&) = delete;

    // Padding bytes at the end of each row. Three bytes per pixel plus this must be a multiple of
    // four, which makes it exactly Width mod 4.
    int32_t RowPadding = 0;
    int32_t RowStride = 0;  // 3 * Width + RowPadding
    int32_t DataSize = 0;   // RowStride * Height
    int32_t Width = 0;
    int32_t Height = 0;
    // RowTable[y] = PixelData + y * RowStride; row 0 is the top row. Pixels are B, G, R.
    std::vector<uint8_t*> RowTable;
    uint8_t* PixelData = nullptr;

protected:
    TFastRGB() = default;
    ~TFastRGB() = default;
};

// 255 above 255, 0 below 0, else the value.
inline uint8_t ClampByte(int64_t value) {
    return value > 255 ? uint8_t(255) : value < 0 ? uint8_t(0) : uint8_t(value);
}

// The upper bound is tested first, so an empty range (high < low) yields high.
inline int ClampInt(int value, int low, int high) {
    if (value > high) return high;
    if (value < low) return low;
    return value;
}

}  // namespace kivo::morefilters
