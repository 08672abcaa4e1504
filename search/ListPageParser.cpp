#include "ListPageParser.h"

#include "ListPageCutter.h"
#include "ResultList.h"

ParseResult ParseListPage(QByteArrayView html, ResultList& list)
{
    ParseResult result;
    ListPageCutter cutter(html);
    ProxyRecord record;
    list.BeginPage();
    while (cutter.next(record)) {
        if (list.Add(record))
            ++result.added;
        else
            ++result.duplicates;
    }
    list.EndPage();
    result.shortRows = cutter.shortRows();
    return result;
}
