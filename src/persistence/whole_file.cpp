#include "persistence/whole_file.h"

#include <unistd.h>

#include <cerrno>

#include "common/ending.h"

namespace {

struct pending_file {
    std::FILE* stream = nullptr;
    std::string name;

    ~pending_file()
    {
        if (stream)
            std::fclose(stream);
        if (!name.empty()) {
            ::unlink(name.c_str());
            clear_pending_file();
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
    std::string name = temporary_name(path);
    tmp.stream = create_pending_file(name);
    if (!tmp.stream)
        throw system_failure(what, path, errno);
    tmp.name = name;
    errno = 0;
    if (!body(tmp.stream))
        throw system_failure(what, path, errno ? errno : EIO);
    if (std::fflush(tmp.stream) != 0 || std::ferror(tmp.stream))
        throw system_failure(what, path, errno ? errno : EIO);
    std::FILE* stream = tmp.stream;
    tmp.stream = nullptr;
    if (std::fclose(stream) != 0)
        throw system_failure(what, path, errno);
    if (std::rename(tmp.name.c_str(), path.c_str()) != 0)
        throw system_failure(what, path, errno);
    tmp.name.clear();
    clear_pending_file();
}
