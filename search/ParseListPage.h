#pragma once

#include <QByteArrayView>

#include <chrono>
#include <functional>

class ResultList;

struct ParseResult
{
    qsizetype added = 0;
    qsizetype duplicates = 0; // rows whose key the list already held; the first row stays
    qsizetype shortRows = 0; // rows with fewer than four cells
    bool stopped = false; // a pause said to stop; the rest of the page was not cut
};

// Breaks in the cutting of a long page, so that the event loop gets its turns while a page of a hundred
// thousand rows is cut. After the first few rows (loading the page took its own time), and then after each
// stretch of `every`, the rows cut so far are announced (the list's endPage) and `pause` runs; it returns
// false to stop cutting the page there, true to go on.
struct CutPauses
{
    std::function<bool()> pause;
    std::chrono::nanoseconds every { 0 };
};

// Cuts one page's body (UTF-8) into rows and appends them to `list` in page order, each as soon as it is cut.
// With `pauses`, the body must stay unchanged as long as the pause answers true.
ParseResult ParseListPage(QByteArrayView html, ResultList& list, const CutPauses& pauses = {});
