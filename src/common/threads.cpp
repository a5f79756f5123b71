#include "common/threads.h"

#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>

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

struct offered_part {
    const std::function<void()>* run;
    std::thread::id owner;
    bool taken = false, done = false;
    std::exception_ptr error;
};

namespace {

// With the lock held, until done() holds: runs the parts another thread offers,
// oldest first, each marked taken and then done, and otherwise waits.
template <class Done>
void help_until(shared_work& work, std::unique_lock<std::mutex>& held, Done done)
{
    auto mine = std::this_thread::get_id();
    while (!done()) {
        auto other = std::find_if(work.offered.begin(), work.offered.end(),
                                  [mine](const offered_part* part) { return part->owner != mine; });
        if (other == work.offered.end()) {
            work.changed.wait(held);
            continue;
        }
        offered_part* part = *other;
        work.offered.erase(other);
        part->taken = true;
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
    help_until(*work, held, [&part] { return part.done; });
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
    help_until(work, held, [&work] { return work.busy == 0; });
}
