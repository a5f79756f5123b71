#include "common/globals.h"

#include <fcntl.h>

unsigned long N = 0;
// Built first and destroyed last of the program's globals (the coefficient
// table and dixExpN come after it).
std::string pi_path __attribute__((init_priority(1000)));

int pi_dir = AT_FDCWD;

void fix_run(unsigned long n, const std::string& path, int dir)
{
    N = n;
    pi_path = path;
    pi_dir = dir;
}
