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

// Appends `text` as UTF-8 with the four escapes, writing straight into `out` (a table of a hundred
// thousand rows is millions of characters). A lone surrogate becomes U+FFFD.
void appendField(QByteArray& out, QStringView text)
{
    const qsizetype start = out.size();
    out.resize(start + text.size() * 3); // the most one UTF-16 unit can take
    auto* p = reinterpret_cast<unsigned char*>(out.data() + start);
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (c < 0x80) {
            if (const char* escape = escapeFor(char16_t(c))) {
                *p++ = static_cast<unsigned char>(escape[0]);
                *p++ = static_cast<unsigned char>(escape[1]);
            } else {
                *p++ = static_cast<unsigned char>(c);
            }
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(char16_t(c), text[++i].unicode());
        } else if (QChar::isSurrogate(c)) {
            c = QChar::ReplacementCharacter;
        }
        if (c < 0x800) {
            *p++ = static_cast<unsigned char>(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            *p++ = static_cast<unsigned char>(0xE0 | (c >> 12));
            *p++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        } else {
            *p++ = static_cast<unsigned char>(0xF0 | (c >> 18));
            *p++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
            *p++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        }
        *p++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
    out.resize(reinterpret_cast<char*>(p) - out.data());
}

} // namespace

QByteArray HeadlessSearch::formatTable(Format format) const
{
    const ProxyTableModel& model = m_list.model();
    QByteArray out;
    out.reserve(model.size() * 64);
    for (qsizetype row = 0; row < model.size(); ++row) {
        if (format == Format::Plain) {
            appendField(out, model.key(row));
        } else {
            for (int column = 0; column < ProxyTableModel::ColumnCount; ++column) {
                if (column > 0)
                    out.append('\t');
                appendField(out, model.cellText(row, column));
            }
        }
        out.append('\n');
    }
    return out;
}
