#include "common/threads.h"

#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <system_error>

#include "common/ending.h"

namespace {

// Recursion is shallow; GMP's scratch on the stack stays far below this. A
// small stack keeps the address space the run reserves close to what it uses.
constexpr size_t stack_bytes = 2 << 20;

struct work {
    const std::function<void()>* body;
    std::exception_ptr error;
};

void* run_work(void* arg)
{
    work* w = static_cast<work*>(arg);
    try {
        (*w->body)();
    } catch (...) {
        w->error = std::current_exception();
    }
    return nullptr;
}

} // namespace

void both(const std::function<void()>& here, const std::function<void()>& there)
{
    size_t guard = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* stack = mmap(nullptr, stack_bytes + guard, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK,
                       -1, 0);
    if (stack == MAP_FAILED)
        end_out_of_memory(stack_bytes + guard);
    // The lowest page stays unmapped for reading and writing: an overflow faults.
    mprotect(stack, guard, PROT_NONE);
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstack(&attr, static_cast<char*>(stack) + guard, stack_bytes);
    work other{&there, nullptr};
    pthread_t thread;
    int err = pthread_create(&thread, &attr, run_work, &other);
    pthread_attr_destroy(&attr);
    if (err != 0) {
        munmap(stack, stack_bytes + guard);
        throw std::system_error(err, std::generic_category());
    }
    std::exception_ptr here_error;
    try {
        here();
    } catch (...) {
        here_error = std::current_exception();
    }
    pthread_join(thread, nullptr);
    munmap(stack, stack_bytes + guard);
    if (here_error)
        std::rethrow_exception(here_error);
    if (other.error)
        std::rethrow_exception(other.error);
}

namespace {

// The oldest part that another thread offered and nobody took, or null; with the lock held.
offered_part* take_offered(shared_work& work)
{
    auto mine = std::this_thread::get_id();
    for (offered_part* part : work.offered)
        if (!part->taken && part->owner != mine) {
            part->taken = true;
            std::erase(work.offered, part);
            return part;
        }
    return nullptr;
}

// Runs a taken part without the lock, then marks it done.
void run_taken(shared_work& work, offered_part* part, std::unique_lock<std::mutex>& held)
{
    held.unlock();
    try {
        (*part->run)();
    } catch (...) {
        part->error = std::current_exception();
    }
    held.lock();
    part->done = true;
    work.changed.notify_all();
}

} // namespace

void split_work(shared_work* work, const std::function<void()>& first, const std::function<void()>& second)
{
    if (!work) {
        first();
        second();
        return;
    }
    offered_part part{&second, std::this_thread::get_id(), false, false, nullptr};
    {
        std::lock_guard<std::mutex> held(work->lock);
        work->offered.push_back(&part);
    }
    work->changed.notify_all();
    std::exception_ptr error;
    try {
        first();
    } catch (...) {
        error = std::current_exception();
    }
    std::unique_lock<std::mutex> held(work->lock);
    if (!part.taken) {
        std::erase(work->offered, &part);
        held.unlock();
        if (error)
            std::rethrow_exception(error);
        second();
        return;
    }
    // Taken: the other thread runs it; meanwhile this one runs what that one offers.
    while (!part.done) {
        if (offered_part* other = take_offered(*work))
            run_taken(*work, other, held);
        else
            work->changed.wait(held);
    }
    if (!error)
        error = part.error;
    held.unlock();
    if (error)
        std::rethrow_exception(error);
}

void help_until_done(shared_work& work)
{
    std::unique_lock<std::mutex> held(work.lock);
    --work.busy;
    work.changed.notify_all();
    while (work.busy > 0) {
        if (offered_part* other = take_offered(work))
            run_taken(work, other, held);
        else
            work.changed.wait(held);
    }
}
