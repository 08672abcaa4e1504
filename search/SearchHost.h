#pragma once

#include <QString>

class Browser;
class ResultList;

// The window as the search sees it: the start button's caption, the status line, the result list, the
// hidden browser and the yield to pending window events. The window, the headless search and the tests
// each provide one, and all of them drive the same controller.
class SearchHost
{
public:
    virtual ~SearchHost() = default;

    virtual QString Caption() const = 0;
    virtual void SetCaption(const QString& caption) = 0;
    virtual void SetStatusText(const QString& text) = 0;
    virtual ResultList& List() = 0;
    virtual Browser& Web() = 0;
    // Runs every pending window event once (clicks, the window's close), then returns.
    virtual void DoEvents() = 0;
};
