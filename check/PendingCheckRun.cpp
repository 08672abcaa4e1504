#include "PendingCheckRun.h"

void PendingCheckRun::checkRows(const QList<qsizetype>& indices)
{
    for (const qsizetype index : indices)
        report(index, CheckResult::noAnswer(NotBuiltYet.toString()));
}
