#include "HeadlessSearch.h"

#include <QCoreApplication>
#include <QTimer>

HeadlessSearch::HeadlessSearch(const QString& siteBase, int timeoutMs, QTextStream& status, QObject* parent)
    : QObject(parent)
    , m_status(status)
    , m_search(*this, siteBase)
{
    m_web.setTimeout(timeoutMs);
    connect(&m_web, &PageLoader::DocumentComplete, this, [this] { m_search.Web_DocumentComplete(); });
}

void HeadlessSearch::start()
{
    m_search.cmdStart_Click();
}

void HeadlessSearch::SetStatusText(const QString& text)
{
    m_status << text << Qt::endl;
    if (text.startsWith(SearchController::CompleteText)) {
        // Let the page step that wrote the text return before anyone reacts.
        QTimer::singleShot(0, this, &HeadlessSearch::finished);
    }
}

void HeadlessSearch::DoEvents()
{
    QCoreApplication::processEvents();
}

QString HeadlessSearch::escapeField(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            escaped += QStringLiteral("\\\\");
            break;
        case u'\t':
            escaped += QStringLiteral("\\t");
            break;
        case u'\n':
            escaped += QStringLiteral("\\n");
            break;
        case u'\r':
            escaped += QStringLiteral("\\r");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QByteArray HeadlessSearch::formatTable(Format format) const
{
    const ProxyTableModel& model = m_list.model();
    QString out;
    for (qsizetype row = 0; row < model.size(); ++row) {
        if (format == Format::Plain) {
            out += escapeField(model.key(row));
        } else {
            for (int column = 0; column < ProxyTableModel::ColumnCount; ++column) {
                if (column > 0)
                    out += u'\t';
                out += escapeField(model.cellText(row, column));
            }
        }
        out += u'\n';
    }
    return out.toUtf8();
}
