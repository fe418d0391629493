#include "Memory.h"

#include <malloc.h>

void KeepPictureMemory() {
    // 1 GiB: above any single picture the pixel limit allows at 32 bits per pixel.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    // Keep up to 512 MiB of freed memory instead of trimming it back at once.
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
}
