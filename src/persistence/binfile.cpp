#include "persistence/binfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/ending.h"
#include "persistence/whole_file.h"
#include "splitting/affine.h"

uint32_t bigint_to_binfile(const mpz_class& x, const std::string& name, const std::string& path)
{
    size_t bytes = (mpz_sizeinbase(x.get_mpz_t(), 2) + 7) / 8;
    if (mpz_sgn(x.get_mpz_t()) == 0)
        bytes = 0;
    if (bytes > raw_format_max_bytes)
        throw failure("écriture du fichier " + path + " impossible : l'entier de " + std::to_string(bytes) +
                      " octets dépasse les " + std::to_string(raw_format_max_bytes) +
                      " octets que le format brut peut compter");
    return write_whole_file(name, path, [&](std::FILE* out) { return mpz_out_raw(out, x.get_mpz_t()) == 4 + bytes; });
}

namespace {

struct closing {
    std::FILE* stream;
    ~closing() { std::fclose(stream); }
};

[[noreturn]] void damaged(const std::string& path, const std::string& why)
{
    throw failure("lecture du fichier " + path + " impossible : " + why);
}

} // namespace

void bigint_from_binfile(mpz_class& x, const std::string& name, const std::string& path, const uint32_t* expected)
{
    uint32_t crc = 0;
    int fd = -1;
    std::FILE* in = open_summed(name, &crc, &fd);
    if (!in)
        throw system_failure("lecture du fichier", path, errno);
    closing guard{in};

    // The count is checked against the file's size first, so that a damaged
    // count cannot make GMP allocate gigabytes for a file of a few bytes.
    unsigned char head[4];
    ssize_t got = pread(fd, head, 4, 0);
    if (got < 0)
        throw system_failure("lecture du fichier", path, errno);
    if (got != 4)
        damaged(path, "fichier tronqué (moins de 4 octets)");
    unsigned long count = (unsigned long)head[0] << 24 | (unsigned long)head[1] << 16 |
                          (unsigned long)head[2] << 8 | head[3];
    unsigned long magnitude = (count & 0x80000000ul) ? 0x100000000ul - count : count;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        unsigned long size = static_cast<unsigned long>(st.st_size);
        if (size < 4 + magnitude)
            damaged(path, "fichier tronqué (" + std::to_string(size) + " octets pour un entier de " +
                              std::to_string(magnitude) + " octets)");
        if (size > 4 + magnitude)
            damaged(path, "octets en trop après l'entier");
    }
    if (mpz_inp_raw(x.get_mpz_t(), in) != 4 + magnitude) {
        if (std::ferror(in))
            throw system_failure("lecture du fichier", path, errno);
        damaged(path, "fichier tronqué");
    }
    if (std::fgetc(in) != EOF)
        damaged(path, "octets en trop après l'entier");
    if (std::ferror(in))
        throw system_failure("lecture du fichier", path, errno);
    if (expected && crc != *expected)
        damaged(path, "contenu changé depuis son écriture (somme de contrôle CRC-32 différente)");
}

map_digest affine::to_binfiles(const std::string& prefix, const std::string& shown) const
{
    return {bigint_to_binfile(a, prefix + "_a", shown + "_a"), bigint_to_binfile(b, prefix + "_b", shown + "_b"),
            bigint_to_binfile(c, prefix + "_c", shown + "_c")};
}

affine::affine(const std::string& prefix, const std::string& shown, const map_digest* expected)
{
    bigint_from_binfile(a, prefix + "_a", shown + "_a", expected ? &(*expected)[0] : nullptr);
    bigint_from_binfile(b, prefix + "_b", shown + "_b", expected ? &(*expected)[1] : nullptr);
    bigint_from_binfile(c, prefix + "_c", shown + "_c", expected ? &(*expected)[2] : nullptr);
}
