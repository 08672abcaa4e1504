#include "ListPageParser.h"

#include "ListPageCutter.h"
#include "ResultList.h"

#include <QString>

ParseResult ParseListPage(QByteArrayView html, ResultList& list)
{
    ParseResult result;
    const QString text = QString::fromUtf8(html);
    ListPageCutter cutter(text);
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
