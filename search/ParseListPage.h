#pragma once

#include <QByteArrayView>

class ResultList;

struct ParseResult
{
    qsizetype added = 0;
    qsizetype duplicates = 0; // rows whose key the list already held; the first row stays
    qsizetype shortRows = 0; // rows with fewer than four cells
};

// Cuts one page's body (UTF-8) into rows and appends them to `list` in page order, each as soon as it is cut.
ParseResult ParseListPage(QByteArrayView html, ResultList& list);
