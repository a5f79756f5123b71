// Fresh memory in 2 MiB pages where the system allows: a buffer then faults once
// every 2 MiB instead of every 4 KiB, which on a virtual machine can cost more
// than writing the buffer.
#pragma once
#include <cstddef>

// The size of a large page.
constexpr std::size_t huge_page_bytes = std::size_t(2) << 20;

// Blocks of this size and more are mapped apart: malloc's threshold is set to
// it, and GMP's large blocks are mapped by the run itself.
constexpr std::size_t mapped_apart_from = std::size_t(4) << 20;

// A mapping of bytes > 0 of its own, starting on a 2 MiB boundary and asking for
// 2 MiB pages over all of it; a failure ends the run as out of memory.
void* map_huge_pages(std::size_t bytes);
// The mapping p of map_huge_pages(old_bytes) resized to bytes, moved if need be
// (its pages move with it); a failure ends the run as out of memory.
void* remap_pages(void* p, std::size_t old_bytes, std::size_t bytes);
// Gives back the mapping p of map_huge_pages(bytes) or remap_pages(..., bytes).
void unmap_pages(void* p, std::size_t bytes);

// For a block of bytes >= mapped_apart_from with a mapping of its own (as malloc
// gives such blocks), not yet written: asks for 2 MiB pages over its 2 MiB-aligned
// part. Smaller blocks may share the heap's mapping, which advice would cut up,
// and are left as they are.
void advise_huge_pages(void* p, std::size_t bytes);
