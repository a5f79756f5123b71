#include "common/pages.h"

#include <sys/mman.h>

#include <cstdint>

#include "common/ending.h"

namespace {

constexpr std::uintptr_t huge = huge_page_bytes;

// What a mapping of bytes holds: whole 4 KiB pages.
std::size_t page_rounded(std::size_t bytes)
{
    return (bytes + 4095) & ~std::size_t{4095};
}

} // namespace

void* map_huge_pages(std::size_t bytes)
{
    std::size_t length = page_rounded(bytes);
    void* p = mmap(nullptr, length + huge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        end_out_of_memory(bytes);
    // The slack on either side of the aligned block goes back at once.
    auto base = reinterpret_cast<std::uintptr_t>(p);
    std::uintptr_t start = (base + huge - 1) & ~(huge - 1);
    if (start > base)
        munmap(p, start - base);
    if (std::uintptr_t end = base + length + huge; end > start + length)
        munmap(reinterpret_cast<void*>(start + length), end - (start + length));
    // The whole block, tail included: split in two by the advice, it could no
    // longer be resized by mremap.
    madvise(reinterpret_cast<void*>(start), length, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(start);
}

void* remap_pages(void* p, std::size_t old_bytes, std::size_t bytes)
{
    void* q = mremap(p, page_rounded(old_bytes), page_rounded(bytes), MREMAP_MAYMOVE);
    if (q == MAP_FAILED)
        end_out_of_memory(bytes);
    return q;
}

void unmap_pages(void* p, std::size_t bytes)
{
    munmap(p, page_rounded(bytes));
}

void advise_huge_pages(void* p, std::size_t bytes)
{
    if (bytes < mapped_apart_from)
        return;
    auto start = (reinterpret_cast<std::uintptr_t>(p) + huge - 1) & ~(huge - 1);
    auto end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(huge - 1);
    // Only advice: where it is refused the pages are simply small.
    if (end > start)
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}
