#include "core/Swizzle.h"

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#define KIVO_SWIZZLE_SSSE3 1
#endif

namespace kivo {
namespace {

void SwapPlain(const uint8_t* __restrict src, uint8_t* __restrict dst, size_t pixels) {
    for (size_t x = 0; x < pixels; ++x) {
        dst[3 * x] = src[3 * x + 2];
        dst[3 * x + 1] = src[3 * x + 1];
        dst[3 * x + 2] = src[3 * x];
    }
}

#ifdef KIVO_SWIZZLE_SSSE3
// Five pixels per step from a 16-byte load; the sixteenth byte is written back unchanged and
// rewritten by the next step, and the last pixels go the plain way so nothing is read or
// written past the row.
__attribute__((target("ssse3"))) void SwapSsse3(const uint8_t* __restrict src,
                                                uint8_t* __restrict dst, size_t pixels) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    size_t x = 0;
    for (; x + 6 <= pixels; x += 5) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * x), _mm_shuffle_epi8(v, order));
    }
    SwapPlain(src + 3 * x, dst + 3 * x, pixels - x);
}
#endif

using SwapFn = void (*)(const uint8_t*, uint8_t*, size_t);

SwapFn Pick() {
#ifdef KIVO_SWIZZLE_SSSE3
    if (__builtin_cpu_supports("ssse3")) return SwapSsse3;
#endif
    return SwapPlain;
}

}  // namespace

void SwapRedBlue24(const uint8_t* src, uint8_t* dst, size_t pixels) {
    static const SwapFn swap = Pick();
    swap(src, dst, pixels);
}

}  // namespace kivo
