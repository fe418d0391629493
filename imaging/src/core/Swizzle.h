#pragma once

// Exchanging the first and third byte of every three: B, G, R rows to R, G, B and back, as the
// netpbm codec needs for every row. Picked once for the processor (SSSE3 byte shuffles where
// available, plain bytes otherwise); the two pointers must not overlap.

#include <cstddef>
#include <cstdint>

namespace kivo {

void SwapRedBlue24(const uint8_t* src, uint8_t* dst, size_t pixels);

}  // namespace kivo
