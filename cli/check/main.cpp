// tarnwick-check: which proxies of a list answer, for scripts.

#include "CheckProgram.h"
#include "CheckRun.h"

int main(int argc, char* argv[])
{
    return CheckProgram::main(argc, argv, &CheckRun::create);
}
