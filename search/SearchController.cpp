#include "SearchController.h"

#include "ListSite.h"
#include "Loader.h"
#include "ParseListPage.h"
#include "ResultList.h"
#include "SearchHost.h"

#include <utility>

namespace {

// The toggle drops a step that fails and goes on with the next one.
template <typename Step> void guarded(Step&& step) noexcept
{
    try {
        std::forward<Step>(step)();
    } catch (...) { }
}

} // namespace

SearchController::SearchController(SearchHost& host, const QString& siteBase)
    : m_host(host)
    , m_siteBase(ListSite::normalisedBase(siteBase))
{ }

QString SearchController::progressText(int pageIndex)
{
    return QStringLiteral("Downloading Pages ") + QString::number(pageIndex) + u'-'
        + QString::number(pageIndex + 1);
}

QString SearchController::completionText(int failedPages)
{
    if (failedPages == 0)
        return CompleteText;
    return CompleteText + QStringLiteral(" (") + QString::number(failedPages) + QStringLiteral(" of ")
        + QString::number(PageCount) + QStringLiteral(" pages failed)");
}

void SearchController::cmdStart_Click()
{
    bool start = false;
    guarded([&] { start = m_host.caption() == StartCaption; });
    if (start) {
        guarded([&] { m_host.list().Clear(); });
        m_state.halted = false;
        ++m_generation;
        m_summary = SearchSummary();
        guarded([&] { m_host.setCaption(StopCaption); });
        m_state.pageIndex = 0;
        guarded([&] { m_host.setStatusText(progressText(m_state.pageIndex)); });
        guarded([&] { m_host.Web().Navigate(ListSite::pageAddress(m_siteBase, m_state.pageIndex)); });
        return;
    }
    guarded([&] { m_host.setCaption(StartCaption); });
    m_state.halted = true;
    ++m_generation;
    guarded([&] { m_host.Web().Stop(); });
    guarded([&] { m_host.setStatusText(HaltedText); });
}

void SearchController::Web_DocumentComplete()
{
    if (m_state.halted)
        return;
    Loader& web = m_host.Web();
    const quint64 generation = m_generation;
    if (web.loadFailed()) {
        ++m_summary.failedPages;
        m_host.pageFailed(
            m_state.pageIndex, ListSite::pageAddress(m_siteBase, m_state.pageIndex), web.loadError());
    } else {
        const CutPauses pauses { [this, generation] {
                                    m_host.processEvents();
                                    return generation == m_generation;
                                },
            m_cutStretch };
        const ParseResult page = ParseListPage(web.bodyHtml(), m_host.list(), pauses);
        // The search this page belongs to was halted, replaced or closed in a pause.
        if (page.stopped)
            return;
        m_summary.rows += page.added;
        m_summary.duplicates += page.duplicates;
        m_summary.shortRows += page.shortRows;
    }
    ++m_state.pageIndex;

    m_host.processEvents();
    // A halt, a new search or the window's close handled during the yield ends this step here.
    if (generation != m_generation)
        return;

    if (m_state.pageIndex > PageCount - 1) {
        const SearchSummary summary = m_summary;
        cmdStart_Click();
        m_host.setStatusText(completionText(summary.failedPages));
        m_host.searchCompleted(summary);
        return;
    }
    m_host.setStatusText(progressText(m_state.pageIndex));
    web.Navigate(ListSite::pageAddress(m_siteBase, m_state.pageIndex));
}

void SearchController::Form_Unload()
{
    m_state.halted = true;
    ++m_generation;
    // Nothing may be fetched for a window that is gone.
    guarded([&] { m_host.Web().Stop(); });
}
