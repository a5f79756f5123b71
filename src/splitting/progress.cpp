#include "splitting/progress.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "common/clock.h"

bool progress_shown()
{
    return isatty(2) == 1;
}

std::jthread start_progress(int k, unsigned long total, const std::atomic<unsigned long>& counter)
{
    if (!progress_shown())
        return {};
    double t0 = secondes();
    return std::jthread([k, total, &counter, t0](std::stop_token stop) {
        std::mutex m;
        std::condition_variable_any tick;
        std::unique_lock<std::mutex> hold(m);
        do {
            unsigned long done = counter.load(std::memory_order_relaxed);
            if (done > total)
                done = total;
            std::fprintf(stderr, "\rétape %d : %lu / %lu termes (%lu %%), %.1f s\033[K", k, done, total,
                         total ? 100 * done / total : 100, secondes() - t0);
            std::fflush(stderr);
        } while (!tick.wait_for(hold, stop, std::chrono::milliseconds(250), [] { return false; }) &&
                 !stop.stop_requested());
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    });
}

void stop_progress(std::jthread& ticker)
{
    if (!ticker.joinable())
        return;
    ticker.request_stop();
    ticker.join();
}
