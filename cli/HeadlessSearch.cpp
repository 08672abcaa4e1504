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

namespace {

// The two-character escape of a backslash, tab, line feed or carriage return; nullptr for the rest.
const char* escapeFor(char16_t c)
{
    switch (c) {
    case u'\\':
        return "\\\\";
    case u'\t':
        return "\\t";
    case u'\n':
        return "\\n";
    case u'\r':
        return "\\r";
    default:
        return nullptr;
    }
}

// Appends `text` as UTF-8 with the four escapes. Plain ASCII, by far the usual case, is copied byte by
// byte; anything else goes through the UTF-8 encoder.
void appendField(QByteArray& out, QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (const char* escape = escapeFor(c)) {
            out.append(escape, 2);
            continue;
        }
        if (c < 0x80) {
            out.append(char(c));
            continue;
        }
        // A run of non-ASCII characters, surrogate pairs kept together.
        qsizetype end = i + 1;
        while (end < text.size() && text[end].unicode() >= 0x80)
            ++end;
        out.append(text.sliced(i, end - i).toUtf8());
        i = end - 1;
    }
}

} // namespace

QByteArray HeadlessSearch::formatTable(Format format) const
{
    const ProxyTableModel& model = m_list.model();
    QByteArray out;
    out.reserve(model.size() * 64);
    for (qsizetype row = 0; row < model.size(); ++row) {
        if (format == Format::Plain) {
            appendField(out, model.keyView(row));
        } else {
            for (int column = 0; column < ProxyTableModel::ColumnCount; ++column) {
                if (column > 0)
                    out.append('\t');
                appendField(out, model.cellView(row, column));
            }
        }
        out.append('\n');
    }
    return out;
}
