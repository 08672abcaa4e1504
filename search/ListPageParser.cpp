#include "ListPageParser.h"

#include "ListPageCutter.h"
#include "ResultList.h"

ParseResult ParseListPage(QByteArrayView html, ResultList& list)
{
    ParseResult result;
    ListPageCutter cutter(html);
    // The cutter runs one row ahead of the list, so the list can foresee each row while it adds the one
    // before.
    ProxyRecord records[2];
    int current = 0;
    list.BeginPage();
    for (bool more = cutter.next(records[current]); more; current ^= 1) {
        more = cutter.next(records[current ^ 1]);
        if (more)
            list.Foresee(records[current ^ 1]);
        if (list.Add(records[current]))
            ++result.added;
        else
            ++result.duplicates;
    }
    list.EndPage();
    result.shortRows = cutter.shortRows();
    return result;
}
