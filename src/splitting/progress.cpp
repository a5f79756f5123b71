#include "splitting/progress.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>

#include "common/clock.h"

bool progress_shown()
{
    return isatty(2) == 1;
}

namespace {

// Calls draw a few times a second on its own thread until stopped, then erases
// the line.
std::jthread redraw(std::function<void()> draw)
{
    return std::jthread([draw](std::stop_token stop) {
        std::mutex m;
        std::condition_variable_any tick;
        std::unique_lock<std::mutex> hold(m);
        do {
            draw();
            std::fflush(stderr);
        } while (!tick.wait_for(hold, stop, std::chrono::milliseconds(250), [] { return false; }) &&
                 !stop.stop_requested());
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    });
}

} // namespace

std::jthread start_progress(int k, unsigned long total, const std::atomic<unsigned long>& counter)
{
    if (!progress_shown())
        return {};
    double t0 = secondes();
    return redraw([k, total, &counter, t0] {
        unsigned long done = counter.load(std::memory_order_relaxed);
        if (done > total)
            done = total;
        std::fprintf(stderr, "\rétape %d : %lu / %lu termes (%lu %%), %.1f s\033[K", k, done, total,
                     total ? 100 * done / total : 100, secondes() - t0);
    });
}

std::jthread start_steps(const std::atomic<const char*>& step)
{
    if (!progress_shown())
        return {};
    return redraw([&step, shown = static_cast<const char*>(nullptr), t0 = 0.0]() mutable {
        const char* now = step.load();
        if (now != shown) {
            shown = now;
            t0 = secondes();
        }
        std::fprintf(stderr, "\r%s, %.1f s\033[K", now, secondes() - t0);
    });
}

void stop_progress(std::jthread& ticker)
{
    if (!ticker.joinable())
        return;
    ticker.request_stop();
    ticker.join();
}
