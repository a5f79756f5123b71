#include "pi.h"

int main(int argc, char** argv)
{
    return pi_main(argc, argv);
}
