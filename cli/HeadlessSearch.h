#pragma once

#include "PageLoader.h"
#include "ProxyTableModel.h"
#include "SearchController.h"
#include "SearchHost.h"

#include <QObject>

// Runs one search with no window: the same controller, cutter, table and loader as the window. The
// status texts and the reasons pages failed go to stderr.
class HeadlessSearch : public QObject, public SearchHost
{
    Q_OBJECT

public:
    HeadlessSearch(const QString& siteBase, int timeoutMs, QObject* parent = nullptr);

    // Starts the search; completed() follows once the seventh page is done.
    void start();

    const ProxyTableModel& rows() const { return m_rows; }
    const SearchSummary& summary() const { return m_summary; }

    QString caption() const override { return m_caption; }
    void setCaption(const QString& caption) override { m_caption = caption; }
    void setStatusText(const QString& text) override;
    ResultList& list() override { return m_rows; }
    Loader& Web() override { return m_web; }
    void processEvents() override;
    void pageFailed(qint16 pageIndex, const QUrl& url, const QString& reason) override;
    void searchCompleted(const SearchSummary& summary) override;

signals:
    void completed();

private:
    ProxyTableModel m_rows;
    PageLoader m_web;
    SearchController m_search;
    QString m_caption = SearchController::StartCaption;
    SearchSummary m_summary;
};
