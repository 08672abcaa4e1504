#include "HeadlessSearch.h"

#include "StandardError.h"

#include <QCoreApplication>

HeadlessSearch::HeadlessSearch(const QString& siteBase, int timeoutMs, QObject* parent)
    : QObject(parent)
    , m_search(*this, siteBase)
{
    m_web.setTimeout(timeoutMs);
    connect(&m_web, &PageLoader::DocumentComplete, this, [this] { m_search.Web_DocumentComplete(); });
}

void HeadlessSearch::start()
{
    m_search.cmdStart_Click();
}

void HeadlessSearch::setStatusText(const QString& text)
{
    StandardError::printLine(text);
}

void HeadlessSearch::processEvents()
{
    QCoreApplication::processEvents();
}

void HeadlessSearch::pageFailed(qint16 pageIndex, const QUrl& url, const QString& reason)
{
    StandardError::printDiagnostic(QStringLiteral("page %1 (%2): %3")
                                       .arg(QString::number(pageIndex), url.toString(),
                                           reason.isEmpty() ? QStringLiteral("failed") : reason));
}

void HeadlessSearch::searchCompleted(const SearchSummary& summary)
{
    m_summary = summary;
    emit completed();
}
