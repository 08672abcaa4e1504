#pragma once

#include "SearchHost.h"

#include <QString>
#include <QtGlobal>

#include <chrono>

// The state of a search: besides these fields, the start button's caption, which lives in the host.
struct SearchState
{
    bool halted = false;
    qint16 pageIndex = 0;
};

// Runs a search over the list site's seven pages: the start/stop toggle, the page step and the unload
// step. It holds no widget; everything it touches goes through the host.
class SearchController
{
public:
    static constexpr qint16 PageCount = 7;
    static inline const QString StartCaption = QStringLiteral("Search Proxy Servers");
    static inline const QString StopCaption = QStringLiteral("Stop");
    static inline const QString HaltedText = QStringLiteral("Download Halted");
    static inline const QString CompleteText = QStringLiteral("Download Complete");

    explicit SearchController(SearchHost& host, const QString& siteBase);

    // The start button: starts a search when the caption reads the start caption, halts it otherwise.
    void cmdStart_Click();
    // The end of loading of the current page.
    void Web_DocumentComplete();
    // The window is closing.
    void Form_Unload();

    const SearchState& state() const { return m_state; }

    // How long a page is cut before the host's yield runs: the window stays answering while a long page
    // is cut. A halt, a new search or the window's close in such a yield stops the cutting there.
    static constexpr std::chrono::milliseconds CutStretch { 8 };
    void setCutStretch(std::chrono::nanoseconds stretch) { m_cutStretch = stretch; }

    static QString progressText(int pageIndex);
    static QString completionText(int failedPages);

private:
    SearchHost& m_host;
    QString m_siteBase;
    SearchState m_state;
    // Counts of the search under way, handed to the host when it completes.
    SearchSummary m_summary;
    // Moves on with every start, halt and unload, so a page step that yielded can tell that the search
    // it belongs to is over.
    quint64 m_generation = 0;
    std::chrono::nanoseconds m_cutStretch = CutStretch;
};
