#pragma once

// PackBits run-length coding (Apple's byte-oriented RLE, also Photoshop's "RLE" and IFF's
// ByteRun1): a header byte n in 0..127 copies the next n + 1 bytes, n in -127..-1 repeats the next
// byte 1 − n times, and -128 is a no-op.

#include <cstddef>
#include <cstdint>

namespace kivo {

// The worst-case packed size of n bytes (every 128 literal bytes need one header byte).
constexpr size_t PackBitsBound(size_t n) { return n + (n + 127) / 128; }

// Packs n bytes into dst (at least PackBitsBound(n) bytes) and returns the packed length.
size_t PackBitsEncode(const uint8_t* src, size_t n, uint8_t* dst);

// Unpacks exactly `n` bytes from the `size` packed bytes at src. Returns the number of packed
// bytes consumed, or 0 when the data runs out before n bytes are produced or a run would write
// past n (damaged data).
size_t PackBitsDecode(const uint8_t* src, size_t size, uint8_t* dst, size_t n);

// The same coding with 16-bit units (PICT's packType 3): runs and literals count words, not
// bytes. n is the number of bytes to produce and must be even.
size_t PackBitsDecodeWords(const uint8_t* src, size_t size, uint8_t* dst, size_t n);

// Forgiving unpacking for formats whose writers are known to pad or cut rows: produces at most
// n bytes (a run past n is cut) and stops when the packed bytes run out. Returns the number of
// bytes produced; the caller decides what a short row means.
size_t PackBitsUnpack(const uint8_t* src, size_t size, uint8_t* dst, size_t n);
// The same with 16-bit units; n is a byte count.
size_t PackBitsUnpackWords(const uint8_t* src, size_t size, uint8_t* dst, size_t n);

}  // namespace kivo
