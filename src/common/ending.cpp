#include "common/ending.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <system_error>

namespace {

// Held while the pending file is named, created or renamed, so that an end at
// once sees either no file or a file it may remove.
std::mutex pending_lock;
int pending_dir = AT_FDCWD;
char pending[4096];

} // namespace

failure system_failure(const std::string& what, const std::string& path, int err)
{
    return failure(what + " " + path + " impossible : " + std::strerror(err));
}

int create_pending_file(int dir, const std::string& name, std::string& temporary)
{
    std::lock_guard<std::mutex> hold(pending_lock);
    for (;;) {
        unsigned int tag = 0;
        if (getrandom(&tag, sizeof tag, 0) != sizeof tag)
            tag = static_cast<unsigned int>(std::rand());
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".tmp-%d-%08x", static_cast<int>(getpid()), tag);
        temporary = name + suffix;
        int fd = openat(dir, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            pending_dir = dir;
            std::snprintf(pending, sizeof pending, "%s", temporary.c_str());
        }
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
}

void clear_pending_file()
{
    std::lock_guard<std::mutex> hold(pending_lock);
    pending[0] = '\0';
}

void end_at_once(const char* line, int status)
{
    if (write(2, line, std::strlen(line)) < 0) {
        // Nothing left to tell it on.
    }
    // The lock is never released: no other file can appear.
    pending_lock.lock();
    if (pending[0])
        ::unlinkat(pending_dir, pending, 0);
    // Straight to the kernel: a sanitizer's _exit flushes standard output first,
    // and would wait on a write that a stalled reader blocks.
    ::syscall(SYS_exit_group, status);
    ::_exit(status);
}

void end_out_of_memory(unsigned long bytes)
{
    // No allocation here: the line is formatted into a buffer on the stack.
    char line[160];
    std::snprintf(line, sizeof line, "mémoire épuisée : une allocation de %lu octets a échoué (calcul abandonné)\n",
                  bytes);
    end_at_once(line, 1);
}

int end_of_error()
{
    try {
        throw;
    } catch (const failure& e) {
        std::cerr << e.what() << std::endl;
    } catch (const std::bad_alloc&) {
        std::cerr << "mémoire épuisée : une allocation a échoué (calcul abandonné)" << std::endl;
    } catch (const std::system_error& e) {
        std::cerr << "démarrage d'un fil d'exécution impossible : " << e.what() << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "calcul abandonné : " << e.what() << std::endl;
    }
    return 1;
}
