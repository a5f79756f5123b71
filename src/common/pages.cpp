#include "common/pages.h"

#include <sys/mman.h>

#include <cstdint>

void advise_huge_pages(void* p, std::size_t bytes)
{
    if (bytes < mapped_apart_from)
        return;
    constexpr std::uintptr_t huge = std::uintptr_t(2) << 20;
    auto start = (reinterpret_cast<std::uintptr_t>(p) + huge - 1) & ~(huge - 1);
    auto end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(huge - 1);
    // Only advice: where it is refused the pages are simply small.
    if (end > start)
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}
