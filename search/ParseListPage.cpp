#include "ParseListPage.h"

#include "ListPageCutter.h"
#include "ResultList.h"

ParseResult ParseListPage(QByteArrayView html, ResultList& list)
{
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
    for (int added = 0; added < cut; ++added) {
        if (cutter.next(records[cut % Ring])) {
            list.foresee(records[cut % Ring]);
            ++cut;
        }
        if (list.Add(records[added % Ring]))
            ++result.added;
        else
            ++result.duplicates;
    }
    list.endPage();
    result.shortRows = cutter.shortRows();
    return result;
}
