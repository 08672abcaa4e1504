#pragma once

#include <QString>
#include <QtGlobal>

class Loader;
class QUrl;
class ResultList;

// What a completed search loaded and passed over, counted over its seven pages.
struct SearchSummary
{
    int failedPages = 0;
    qsizetype rows = 0; // rows added to the list
    qsizetype duplicates = 0; // rows skipped because the list already held their key
    qsizetype shortRows = 0; // rows skipped because they had fewer than four cells
};

// The window as the search sees it: the start button's caption, the status line, the result list, the
// loader and the yield to pending window events. The window, the headless search and the tests
// each provide one, and all of them drive the same controller.
class SearchHost
{
public:
    virtual ~SearchHost() = default;

    virtual QString caption() const = 0;
    virtual void setCaption(const QString& caption) = 0;
    virtual void setStatusText(const QString& text) = 0;
    virtual ResultList& list() = 0;
    virtual Loader& Web() = 0;
    // Runs every pending window event once (clicks, the window's close), then returns.
    virtual void processEvents() = 0;

    // A page failed to load and adds no rows; the search goes on with the next page. `reason` is the
    // loader's, for people to read.
    virtual void pageFailed(qint16 pageIndex, const QUrl& url, const QString& reason)
    {
        Q_UNUSED(pageIndex);
        Q_UNUSED(url);
        Q_UNUSED(reason);
    }
    // The seventh page is done and the completion text is written. A halted search never completes.
    virtual void searchCompleted(const SearchSummary& summary) { Q_UNUSED(summary); }
};
