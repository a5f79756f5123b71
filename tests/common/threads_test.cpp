#include "common/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

// The sum of i^2 over [lo, hi), halved at every level through split_work; each
// leaf waits a little and counts the leaves run by a thread other than main.
long squares(shared_work* work, long lo, long hi, std::thread::id main, std::atomic<int>& elsewhere)
{
    if (hi - lo == 1) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (std::this_thread::get_id() != main)
            ++elsewhere;
        return lo * lo;
    }
    long mid = lo + (hi - lo) / 2, left = 0, right = 0;
    split_work(
        work, [&] { left = squares(work, lo, mid, main, elsewhere); },
        [&] { right = squares(work, mid, hi, main, elsewhere); });
    return left + right;
}

TEST(SharedWork, ARecursionSharedByTwoThreadsSumsAsOnOneAndBothRunParts)
{
    const long n = 300, expected = (n - 1) * n * (2 * n - 1) / 6;
    std::atomic<int> elsewhere{0};
    EXPECT_EQ(squares(nullptr, 0, n, std::this_thread::get_id(), elsewhere), expected);
    EXPECT_EQ(elsewhere, 0);

    // One thread has all the work, the other none: it can only help.
    shared_work work;
    long sum = 0;
    std::thread::id main = std::this_thread::get_id();
    both(
        [&] {
            sum = squares(&work, 0, n, main, elsewhere);
            help_until_done(work);
        },
        [&] { help_until_done(work); });
    EXPECT_EQ(sum, expected);
    EXPECT_GT(elsewhere, 0);
    EXPECT_TRUE(work.offered.empty());
}

TEST(SharedWork, AnErrorOfATakenPartReachesTheSplitThatOfferedItAndBothThreadsEnd)
{
    shared_work work;
    std::atomic<bool> ran{false};
    std::thread::id main = std::this_thread::get_id(), runner;
    bool caught = false;
    both(
        [&] {
            try {
                split_work(
                    &work,
                    [&] {
                        // Leaves the other thread time to take the second part.
                        for (int i = 0; i < 5000 && !ran; ++i)
                            std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    },
                    [&] {
                        runner = std::this_thread::get_id();
                        ran = true;
                        throw std::runtime_error("part failed");
                    });
            } catch (const std::runtime_error&) {
                caught = true;
            }
            help_until_done(work);
        },
        [&] { help_until_done(work); });
    EXPECT_TRUE(caught);
    EXPECT_NE(runner, main);
}

} // namespace
