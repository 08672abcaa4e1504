// The engine the programs check with: the one place that names it, so that it can change with no change to
// the programs. The engine's library replaces this file.

#include "CheckRun.h"
#include "PendingCheckRun.h"

std::unique_ptr<CheckRun> CheckRun::create(CheckOptions options)
{
    // PLACEHOLDER: no engine yet; every allowed row ends "not checked: the checker is not built yet".
    return std::make_unique<PendingCheckRun>(std::move(options));
}
