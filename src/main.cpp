#include <cstdlib>
#include <new>

#include "common/ending.h"
#include "pi.h"

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// A failed C++ allocation ends the run as a failed GMP one does, with the byte
// count in the message; the sanitizers keep their own allocators.
void* operator new(std::size_t bytes)
{
    void* p = std::malloc(bytes ? bytes : 1);
    if (!p)
        end_out_of_memory(bytes);
    return p;
}

void* operator new[](std::size_t bytes)
{
    return operator new(bytes);
}
#endif

int main(int argc, char** argv)
{
    return pi_main(argc, argv);
}
