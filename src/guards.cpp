#include "guards.h"

#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gmp.h>

#include "common/ending.h"
#include "common/pages.h"

namespace {

// GMP's blocks of this size and more are mapped apart, and given back when freed
// (otherwise the heap keeps the holes between them and the peak grows by a third).
// They start on a 2 MiB boundary and ask for pages of that size: a fresh block
// then faults once every 2 MiB instead of every 4 KiB, which on a virtual machine
// cost a tenth of a run. GMP gives every block's size back when it frees or
// resizes it, so the size tells which blocks are mapped.
constexpr size_t mapped_from = mapped_apart_from;
constexpr size_t huge_page = 2 << 20;

size_t mapped_length(size_t bytes)
{
    return (bytes + 4095) & ~size_t{4095};
}

void* map_block(size_t bytes)
{
    size_t length = mapped_length(bytes);
    void* p = mmap(nullptr, length + huge_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        end_out_of_memory(bytes);
    // The slack on either side of the aligned block goes back at once.
    auto base = reinterpret_cast<uintptr_t>(p);
    uintptr_t start = (base + huge_page - 1) & ~(huge_page - 1);
    if (start > base)
        munmap(p, start - base);
    if (uintptr_t end = base + length + huge_page; end > start + length)
        munmap(reinterpret_cast<void*>(start + length), end - (start + length));
    // The whole block, tail included: split in two by the advice, it could no
    // longer be resized by mremap.
    madvise(reinterpret_cast<void*>(start), length, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(start);
}

void* allocate(size_t bytes)
{
    if (bytes >= mapped_from)
        return map_block(bytes);
    void* p = std::malloc(bytes);
    if (!p)
        end_out_of_memory(bytes);
    return p;
}

void release(void* p, size_t bytes)
{
    if (bytes >= mapped_from)
        munmap(p, mapped_length(bytes));
    else
        std::free(p);
}

void* reallocate(void* old, size_t old_bytes, size_t bytes)
{
    bool was_mapped = old_bytes >= mapped_from, is_mapped = bytes >= mapped_from;
    if (!was_mapped && !is_mapped) {
        void* p = std::realloc(old, bytes);
        if (!p)
            end_out_of_memory(bytes);
        return p;
    }
    if (was_mapped && is_mapped) {
        // The pages move with their mapping: nothing is copied.
        void* p = mremap(old, mapped_length(old_bytes), mapped_length(bytes), MREMAP_MAYMOVE);
        if (p == MAP_FAILED)
            end_out_of_memory(bytes);
        return p;
    }
    void* p = allocate(bytes);
    std::memcpy(p, old, old_bytes < bytes ? old_bytes : bytes);
    release(old, old_bytes);
    return p;
}

// SIGUSR1 only wakes the watch to end it.
sigset_t watched_signals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGQUIT);
    sigaddset(&set, SIGUSR1);
    return set;
}

} // namespace

void install_memory_guard()
{
    // Small blocks come from malloc like GMP's own, so that the few made before
    // (the coefficients, never as large as a mapped block) stay freeable.
    mp_set_memory_functions(allocate, reallocate, release);
    // The other large buffers are mapped apart too, for the same reason.
    mallopt(M_MMAP_THRESHOLD, mapped_from);
    // Two arenas, so that the splitting's two threads seldom wait for each other's
    // allocations (the stages took 10% longer with one). Each further arena
    // reserves 64 MiB of address space the run never fills, which makes an
    // address-space limit fail far above the need.
    mallopt(M_ARENA_MAX, 2);
    // The stages make and free small integers by the million: a heap that gave its
    // top back each time faulted the same pages in again (some 4% of a run).
    // The composition of the stages sets it back.
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
}

std::jthread start_interrupt_watch()
{
    sigset_t set = watched_signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    return std::jthread([set] {
        int sig = 0;
        while (sigwait(&set, &sig) == 0) {
            if (sig == SIGUSR1)
                return;
            char line[96];
            std::snprintf(line, sizeof line, "calcul interrompu par le signal SIG%s\n", sigabbrev_np(sig));
            end_at_once(line, 128 + sig);
        }
    });
}

void stop_interrupt_watch(std::jthread& watch)
{
    pthread_kill(watch.native_handle(), SIGUSR1);
    watch.join();
}
