#include "guards.h"

#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gmp.h>

#include "common/ending.h"
#include "common/pages.h"

namespace {

// GMP's blocks of mapped_apart_from bytes and more are mapped apart, and given
// back when freed (otherwise the heap keeps the holes between them and the peak
// grows by a third), on 2 MiB pages: with 4 KiB ones, their faults cost a tenth
// of a run on a virtual machine. GMP gives every block's size back when it frees
// or resizes it, so the size tells which blocks are mapped.
void* allocate(size_t bytes)
{
    if (bytes >= mapped_apart_from)
        return map_huge_pages(bytes);
    void* p = std::malloc(bytes);
    if (!p)
        end_out_of_memory(bytes);
    return p;
}

void release(void* p, size_t bytes)
{
    if (bytes >= mapped_apart_from)
        unmap_pages(p, bytes);
    else
        std::free(p);
}

void* reallocate(void* old, size_t old_bytes, size_t bytes)
{
    bool was_mapped = old_bytes >= mapped_apart_from, is_mapped = bytes >= mapped_apart_from;
    if (!was_mapped && !is_mapped) {
        void* p = std::realloc(old, bytes);
        if (!p)
            end_out_of_memory(bytes);
        return p;
    }
    if (was_mapped && is_mapped)
        return remap_pages(old, old_bytes, bytes);
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
    mallopt(M_MMAP_THRESHOLD, mapped_apart_from);
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
