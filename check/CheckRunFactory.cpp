// The engine the programs check with: the one place that names it, so that it can change with no change to
// the programs.

#include "CheckRun.h"
#include "CurlCheckRun.h"

std::unique_ptr<CheckRun> CheckRun::create(CheckOptions options)
{
    return std::make_unique<CurlCheckRun>(std::move(options));
}
