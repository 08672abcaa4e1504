#include "ListPageParser.h"

#include "ListPageCutter.h"
#include "ResultList.h"

ParseResult ParseListPage(QStringView html, ResultList& list)
{
    ParseResult result;
    ListPageCutter cutter(html);
    ProxyRecord record;
    list.BeginPage();
    while (cutter.next(record)) {
        const qsizetype row = list.Add(record.key, record.address);
        if (row < 0) {
            ++result.duplicates;
            continue;
        }
        list.SetSubItem(row, 1, record.port);
        list.SetSubItem(row, 2, record.type);
        list.SetSubItem(row, 3, record.country);
        ++result.added;
    }
    list.EndPage();
    result.shortRows = cutter.shortRows();
    return result;
}
