#include "common/threads.h"

#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

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
