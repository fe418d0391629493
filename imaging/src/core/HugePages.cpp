#include "core/HugePages.h"

#include <sys/mman.h>

#include <cstdint>

namespace kivo {

void AdviseHugePages(void* data, size_t size) {
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t HugePage = uintptr_t(2) << 20;
    if (!data || size < 2 * HugePage) return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + HugePage - 1) & ~(HugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(HugePage - 1);
    // Only a hint: a kernel without transparent huge pages refuses it and nothing changes.
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

}  // namespace kivo
