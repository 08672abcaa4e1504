#pragma once

#include "ListViewAdapter.h"
#include "PageLoader.h"
#include "SearchController.h"
#include "SearchHost.h"

#include <QObject>
#include <QTextStream>

// Runs one search with no window: the same controller, cutter, table and loader as the window, with the
// status texts going to a text stream instead of a status line.
class HeadlessSearch : public QObject, public SearchHost
{
    Q_OBJECT

public:
    enum class Format
    {
        Tsv,
        Plain
    };

    HeadlessSearch(const QString& siteBase, int timeoutMs, QTextStream& status, QObject* parent = nullptr);

    // Starts the search; finished() follows once the seventh page is done.
    void start();

    const ListViewAdapter& table() const { return m_list; }
    int failedPages() const { return m_search.failedPages(); }

    // One line per row in table order, UTF-8, with backslash, tab, line feed and carriage return escaped.
    QByteArray formatTable(Format format) const;

    QString Caption() const override { return m_caption; }
    void SetCaption(const QString& caption) override { m_caption = caption; }
    void SetStatusText(const QString& text) override;
    ResultList& List() override { return m_list; }
    Browser& Web() override { return m_web; }
    void DoEvents() override;

signals:
    void finished();

private:
    QTextStream& m_status;
    ListViewAdapter m_list;
    PageLoader m_web;
    SearchController m_search;
    QString m_caption = SearchController::StartCaption;
};
