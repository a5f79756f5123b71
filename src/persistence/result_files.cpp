#include "persistence/result_files.h"

#include <sstream>

#include "common/globals.h"
#include "persistence/binfile.h"
#include "persistence/whole_file.h"

std::string result_name(unsigned long n)
{
    std::ostringstream name;
    name << "pi-" << n;
    return name.str();
}

void write_raw_result(const mpz_class& T, const std::string& name)
{
    bigint_to_binfile(T, name, "pi/" + name);
}

void write_text_result(const std::string& s, const std::string& name)
{
    write_whole_file(name + ".txt", pi_path + "/" + name + ".txt", [&s](std::FILE* out) {
        return std::fwrite(s.data(), 1, 1, out) == 1 && std::fputc('.', out) != EOF &&
               std::fwrite(s.data() + 1, 1, s.size() - 1, out) == s.size() - 1;
    });
}
