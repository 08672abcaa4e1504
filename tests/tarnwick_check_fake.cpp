// tarnwick-check with the fake engine of support/FakeCheckRun.h in place of the real one, built only with
// the tests: the program's whole work, end to end, connecting nowhere.

#include "CheckProgram.h"
#include "FakeCheckRun.h"

int main(int argc, char* argv[])
{
    return CheckProgram::main(argc, argv, [](CheckOptions options) -> std::unique_ptr<CheckRun> {
        return std::make_unique<FakeCheckRun>(std::move(options));
    });
}
