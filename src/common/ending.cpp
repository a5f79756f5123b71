#include "common/ending.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <system_error>

namespace {

// Held while the pending file is named, created or renamed, so that an end at
// once sees either no file or a file it may remove.
std::mutex pending_lock;
char pending[4096];

} // namespace

failure system_failure(const std::string& what, const std::string& path, int err)
{
    return failure(what + " " + path + " impossible : " + std::strerror(err));
}

std::FILE* create_pending_file(const std::string& path)
{
    std::lock_guard<std::mutex> hold(pending_lock);
    std::FILE* stream = std::fopen(path.c_str(), "w");
    if (stream)
        std::snprintf(pending, sizeof pending, "%s", path.c_str());
    return stream;
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
        ::unlink(pending);
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
