#include "codecs/PackBits.h"

#include <algorithm>
#include <cstring>

namespace kivo {

size_t PackBitsEncode(const uint8_t* src, size_t n, uint8_t* dst) {
    size_t out = 0;
    size_t i = 0;
    while (i < n) {
        // A run of three or more equal bytes is worth a repeat packet; shorter runs stay inside
        // a literal, which costs nothing extra and keeps literals long.
        size_t run = 1;
        while (i + run < n && run < 128 && src[i + run] == src[i]) ++run;
        if (run >= 3) {
            dst[out++] = uint8_t(257 - run);
            dst[out++] = src[i];
            i += run;
            continue;
        }
        size_t start = i;
        size_t len = 0;
        while (i < n && len < 128) {
            if (i + 2 < n && src[i] == src[i + 1] && src[i] == src[i + 2]) break;
            ++i;
            ++len;
        }
        dst[out++] = uint8_t(len - 1);
        std::memcpy(dst + out, src + start, len);
        out += len;
    }
    return out;
}

size_t PackBitsDecode(const uint8_t* src, size_t size, uint8_t* dst, size_t n) {
    size_t in = 0;
    size_t out = 0;
    while (out < n) {
        if (in >= size) return 0;
        int8_t header = int8_t(src[in++]);
        if (header >= 0) {
            size_t len = size_t(header) + 1;
            if (len > size - in || len > n - out) return 0;
            std::memcpy(dst + out, src + in, len);
            in += len;
            out += len;
        } else if (header != -128) {
            size_t len = size_t(1 - header);
            if (in >= size || len > n - out) return 0;
            std::memset(dst + out, src[in++], len);
            out += len;
        }
    }
    return in;
}

size_t PackBitsDecodeWords(const uint8_t* src, size_t size, uint8_t* dst, size_t n) {
    size_t in = 0;
    size_t out = 0;
    while (out < n) {
        if (in >= size) return 0;
        int8_t header = int8_t(src[in++]);
        if (header >= 0) {
            size_t len = (size_t(header) + 1) * 2;
            if (len > size - in || len > n - out) return 0;
            std::memcpy(dst + out, src + in, len);
            in += len;
            out += len;
        } else if (header != -128) {
            size_t count = size_t(1 - header);
            if (size - in < 2 || count * 2 > n - out) return 0;
            for (size_t k = 0; k < count; ++k) {
                dst[out++] = src[in];
                dst[out++] = src[in + 1];
            }
            in += 2;
        }
    }
    return in;
}

size_t PackBitsUnpack(const uint8_t* src, size_t size, uint8_t* dst, size_t n) {
    size_t in = 0;
    size_t out = 0;
    while (out < n && in < size) {
        int8_t header = int8_t(src[in++]);
        if (header >= 0) {
            size_t len = std::min({size_t(header) + 1, size - in, n - out});
            std::memcpy(dst + out, src + in, len);
            in += size_t(header) + 1;
            out += len;
        } else if (header != -128) {
            if (in >= size) break;
            size_t len = std::min(size_t(1 - header), n - out);
            std::memset(dst + out, src[in++], len);
            out += len;
        }
    }
    return out;
}

size_t PackBitsUnpackWords(const uint8_t* src, size_t size, uint8_t* dst, size_t n) {
    size_t in = 0;
    size_t out = 0;
    n &= ~size_t(1);
    while (out < n && in < size) {
        int8_t header = int8_t(src[in++]);
        if (header >= 0) {
            size_t want = (size_t(header) + 1) * 2;
            size_t len = std::min({want, (size - in) & ~size_t(1), n - out});
            std::memcpy(dst + out, src + in, len);
            in += want;
            out += len;
        } else if (header != -128) {
            if (size - in < 2) break;
            size_t count = std::min(size_t(1 - header), (n - out) / 2);
            for (size_t k = 0; k < count; ++k) {
                dst[out++] = src[in];
                dst[out++] = src[in + 1];
            }
            in += 2;
        }
    }
    return out;
}

}  // namespace kivo
