#pragma once

// Transparent huge pages for big fresh buffers. A newly allocated buffer takes one page fault per
// 4 KB page on first touch; for a 24-megapixel picture that is tens of thousands of faults per
// buffer, which costs more than a simple conversion itself (much more in virtual machines).
// Advising the kernel to back the buffer with 2 MB pages removes almost all of them.

#include <cstddef>

namespace kivo {

// Advises huge pages for the 2 MB-aligned interior of [data, data + size), before the buffer is
// first written. Does nothing for buffers under a few megabytes or where the system does not
// support it; the buffer's contents and ownership are not affected.
void AdviseHugePages(void* data, size_t size);

}  // namespace kivo
