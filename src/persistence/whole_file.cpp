#include "persistence/whole_file.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>

#include "common/ending.h"
#include "common/globals.h"

namespace {

struct summed {
    int fd;
    uint32_t* crc;
};

ssize_t summed_write(void* cookie, const char* data, size_t size)
{
    summed* s = static_cast<summed*>(cookie);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(s->fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return done ? static_cast<ssize_t>(done) : -1;
        *s->crc = static_cast<uint32_t>(crc32(*s->crc, reinterpret_cast<const Bytef*>(data + done),
                                              static_cast<uInt>(n)));
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

ssize_t summed_read(void* cookie, char* data, size_t size)
{
    summed* s = static_cast<summed*>(cookie);
    ssize_t n;
    do
        n = ::read(s->fd, data, size);
    while (n < 0 && errno == EINTR);
    if (n > 0)
        *s->crc = static_cast<uint32_t>(crc32(*s->crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(n)));
    return n;
}

int summed_close(void* cookie)
{
    summed* s = static_cast<summed*>(cookie);
    int r = ::close(s->fd);
    delete s;
    return r;
}

std::FILE* summed_stream(int fd, uint32_t* crc, const char* mode)
{
    *crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
    return fopencookie(new summed{fd, crc}, mode, {summed_read, summed_write, nullptr, summed_close});
}

struct pending_file {
    std::FILE* stream = nullptr;
    std::string name;

    ~pending_file()
    {
        if (stream)
            std::fclose(stream);
        if (!name.empty()) {
            ::unlinkat(pi_dir, name.c_str(), 0);
            clear_pending_file();
        }
    }
};

} // namespace

uint32_t write_whole_file(const std::string& name, const std::string& shown,
                          const std::function<bool(std::FILE*)>& body)
{
    const std::string what = "écriture du fichier";
    pending_file tmp;
    uint32_t crc = 0;
    int fd = create_pending_file(pi_dir, name, tmp.name);
    if (fd < 0) {
        tmp.name.clear();
        throw system_failure(what, shown, errno);
    }
    tmp.stream = summed_stream(fd, &crc, "w");
    if (!tmp.stream) {
        ::close(fd);
        throw system_failure(what, shown, errno);
    }
    errno = 0;
    if (!body(tmp.stream))
        throw system_failure(what, shown, errno ? errno : EIO);
    if (std::fflush(tmp.stream) != 0 || std::ferror(tmp.stream))
        throw system_failure(what, shown, errno ? errno : EIO);
    std::FILE* stream = tmp.stream;
    tmp.stream = nullptr;
    if (std::fclose(stream) != 0)
        throw system_failure(what, shown, errno);
    if (::renameat(pi_dir, tmp.name.c_str(), pi_dir, name.c_str()) != 0)
        throw system_failure(what, shown, errno);
    tmp.name.clear();
    clear_pending_file();
    return crc;
}

std::FILE* open_summed(const std::string& name, uint32_t* crc, int* fd)
{
    *fd = ::openat(pi_dir, name.c_str(), O_RDONLY | O_CLOEXEC);
    if (*fd < 0)
        return nullptr;
    std::FILE* in = summed_stream(*fd, crc, "r");
    if (!in)
        ::close(*fd);
    return in;
}
