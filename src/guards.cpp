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

namespace {

void* allocate(size_t bytes)
{
    void* p = std::malloc(bytes);
    if (!p)
        end_out_of_memory(bytes);
    return p;
}

void* reallocate(void* old, size_t, size_t bytes)
{
    void* p = std::realloc(old, bytes);
    if (!p)
        end_out_of_memory(bytes);
    return p;
}

void release(void* p, size_t)
{
    std::free(p);
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
    // malloc-based like GMP's own functions, so blocks allocated before stay freeable.
    mp_set_memory_functions(allocate, reallocate, release);
    // Big integers of 4 MiB and more get pages of their own, given back when freed:
    // otherwise the heap keeps the holes between them and the peak grows by a third.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
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
