#include "ParseListPage.h"

#include "ListPageCutter.h"
#include "ResultList.h"

ParseResult ParseListPage(QByteArrayView html, ResultList& list, const CutPauses& pauses)
{
    using Clock = std::chrono::steady_clock;
    // The clock is read once per this many rows: often enough for a stretch of milliseconds, seldom
    // enough to cost nothing.
    constexpr int RowsPerClockReading = 1024;
    ParseResult result;
    ListPageCutter cutter(html);
    // The cutter runs a few rows ahead of the list, so the list can foresee each row some time before it
    // is added: long enough to fetch what placing it needs.
    constexpr int Ring = ListPageCutter::Lookahead + 1;
    ProxyRecord records[Ring];
    int cut = 0;
    while (cut < ListPageCutter::Lookahead && cutter.next(records[cut])) {
        list.foresee(records[cut]);
        ++cut;
    }
    list.beginPage();
    // The first pause comes after the first few rows: loading the page has taken its own time already.
    Clock::time_point stretchBegan = Clock::now() - pauses.every;
    for (int added = 0; added < cut; ++added) {
        if (pauses.pause && added % RowsPerClockReading == RowsPerClockReading - 1
            && Clock::now() - stretchBegan >= pauses.every) {
            list.endPage();
            if (!pauses.pause()) {
                result.stopped = true;
                break;
            }
            list.beginPage();
            stretchBegan = Clock::now();
        }
        if (cutter.next(records[cut % Ring])) {
            list.foresee(records[cut % Ring]);
            ++cut;
        }
        if (list.Add(records[added % Ring]))
            ++result.added;
        else
            ++result.duplicates;
    }
    if (!result.stopped)
        list.endPage();
    result.shortRows = cutter.shortRows();
    return result;
}
