#include "persistence/whole_file.h"

#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "failure.h"

namespace {

// The temporary file being written, if any. The lock is held while the file is
// created and while it is renamed, so that an interruption sees either no file
// or a file it may remove.
std::mutex pending_lock;
std::string pending;

struct pending_file {
    std::FILE* stream = nullptr;
    std::string name;

    ~pending_file()
    {
        if (stream)
            std::fclose(stream);
        if (!name.empty()) {
            std::lock_guard<std::mutex> hold(pending_lock);
            ::unlink(name.c_str());
            pending.clear();
        }
    }
};

// The temporary name of path for this process, so that a user can tell whose it is.
std::string temporary_name(const std::string& path)
{
    return path + ".tmp-" + std::to_string(::getpid());
}

} // namespace

void write_whole_file(const std::string& path, const std::function<bool(std::FILE*)>& body)
{
    const std::string what = "écriture du fichier";
    pending_file tmp;
    {
        std::lock_guard<std::mutex> hold(pending_lock);
        std::string name = temporary_name(path);
        tmp.stream = std::fopen(name.c_str(), "w");
        if (!tmp.stream)
            throw system_failure(what, path, errno);
        tmp.name = name;
        pending = name;
    }
    errno = 0;
    if (!body(tmp.stream))
        throw system_failure(what, path, errno ? errno : EIO);
    if (std::fflush(tmp.stream) != 0 || std::ferror(tmp.stream))
        throw system_failure(what, path, errno ? errno : EIO);
    std::FILE* stream = tmp.stream;
    tmp.stream = nullptr;
    if (std::fclose(stream) != 0)
        throw system_failure(what, path, errno);
    std::lock_guard<std::mutex> hold(pending_lock);
    if (std::rename(tmp.name.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.name.c_str());
        tmp.name.clear();
        pending.clear();
        throw system_failure(what, path, err);
    }
    tmp.name.clear();
    pending.clear();
}

void remove_pending_and_exit(int status)
{
    // The lock is never released: the writer cannot create another file.
    pending_lock.lock();
    if (!pending.empty())
        ::unlink(pending.c_str());
    std::fflush(stdout);
    ::_exit(status);
}
