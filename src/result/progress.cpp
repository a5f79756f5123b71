#include "result/progress.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "result/evaluation.h"
#include "result/limits.h"
#include "splitting/compose.h"

bool progress_shown()
{
    return isatty(2) == 1;
}

std::string cost_line(unsigned long n)
{
    char line[160];
    std::snprintf(line, sizeof line, "estimation : pic de mémoire %.0f Mo, disque %.0f Mo, %lu termes\n",
                  estimated_peak_bytes(n) / 1e6, estimated_disk_bytes(n) / 1e6, term_count(n) + 1);
    return line;
}

std::jthread start_progress(int k, unsigned long total)
{
    if (!progress_shown())
        return {};
    // Read here, before the stage starts, not when the thread happens to run.
    unsigned long first = terms_evaluated.load(std::memory_order_relaxed);
    double t0 = secondes();
    return std::jthread([k, total, first, t0](std::stop_token stop) {
        std::mutex m;
        std::condition_variable_any tick;
        std::unique_lock<std::mutex> hold(m);
        do {
            unsigned long done = terms_evaluated.load(std::memory_order_relaxed) - first;
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
