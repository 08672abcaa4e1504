#include "TableWriter.h"

#include "FileOutput.h"
#include "ProxyTableModel.h"

#include <array>

namespace {

constexpr int TypeColumn = 2;
constexpr int CountryColumn = 3;

// Appends the UTF-8 `text`: each byte for which `special` holds through `escape(out, c)`, the runs
// between them as they are. Every byte that needs care is ASCII, so a run never splits a character.
template <typename Special, typename Escape>
void appendUtf8(std::string& out, QByteArrayView text, Special special, Escape escape)
{
    const char* run = text.data();
    const char* const end = run + text.size();
    for (const char* p = run; p != end; ++p) {
        if (!special(*p))
            continue;
        out.append(run, size_t(p - run));
        escape(out, *p);
        run = p + 1;
    }
    out.append(run, size_t(end - run));
}

// tsv and plain: a field never holds a separator or a line end of its own.
void appendEscaped(std::string& out, QByteArrayView text)
{
    appendUtf8(
        out, text, [](char c) { return c == '\\' || c == '\t' || c == '\n' || c == '\r'; },
        [](std::string& to, char c) {
            to += '\\';
            to += c == '\t' ? 't' : c == '\n' ? 'n' : c == '\r' ? 'r' : '\\';
        });
}

void appendCsvField(std::string& out, QByteArrayView text)
{
    bool quote = false;
    for (const char c : text)
        quote = quote || c == ',' || c == '"' || c == '\r' || c == '\n';
    if (!quote) {
        out.append(text.data(), size_t(text.size()));
        return;
    }
    out += '"';
    appendUtf8(
        out, text, [](char c) { return c == '"'; }, [](std::string& to, char) { to += "\"\""; });
    out += '"';
}

void appendJsonString(std::string& out, QByteArrayView text)
{
    out += '"';
    appendUtf8(
        out, text, [](char c) { return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20; },
        [](std::string& to, char c) {
            if (c == '"' || c == '\\') {
                to += '\\';
                to += c;
                return;
            }
            static constexpr char Hex[] = "0123456789abcdef";
            to += "\\u00";
            to += Hex[c >> 4];
            to += Hex[c & 0xF];
        });
    out += '"';
}

constexpr std::array<const char*, 4> JsonNames
    = { "{\"address\":", ",\"port\":", ",\"type\":", ",\"country\":" };

bool equalsOneOf(QByteArrayView utf8, const QStringList& texts)
{
    const QString cell = QString::fromUtf8(utf8);
    for (const QString& text : texts) {
        if (cell.compare(text, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

TableWriter::TableWriter(Format format, QStringList types, QStringList countries)
    : m_format(format)
    , m_types(std::move(types))
    , m_countries(std::move(countries))
{ }

bool TableWriter::selects(const ProxyTableModel& table, qsizetype row) const
{
    return (m_types.isEmpty() || equalsOneOf(table.cellUtf8(row, TypeColumn), m_types))
        && (m_countries.isEmpty() || equalsOneOf(table.cellUtf8(row, CountryColumn), m_countries));
}

void TableWriter::appendRow(std::string& out, const ProxyTableModel& table, qsizetype row) const
{
    switch (m_format) {
    case Format::Plain:
        appendEscaped(out, table.keyUtf8(row));
        out += '\n';
        return;
    case Format::Tsv:
    case Format::Csv: {
        const bool csv = m_format == Format::Csv;
        for (int column = 0; column < ProxyTableModel::ColumnCount; ++column) {
            if (column > 0)
                out += csv ? ',' : '\t';
            (csv ? appendCsvField : appendEscaped)(out, table.cellUtf8(row, column));
        }
        out += csv ? "\r\n" : "\n";
        return;
    }
    case Format::Json:
        for (int column = 0; column < ProxyTableModel::ColumnCount; ++column) {
            out += JsonNames[size_t(column)];
            appendJsonString(out, table.cellUtf8(row, column));
        }
        out += '}';
        return;
    }
}

qsizetype TableWriter::write(const ProxyTableModel& table, FileOutput& out) const
{
    std::string& buffer = out.buffer();
    if (m_format == Format::Csv)
        buffer += "address,port,type,country\r\n";
    else if (m_format == Format::Json)
        buffer += '[';
    qsizetype printed = 0;
    for (qsizetype row = 0; row < table.size(); ++row) {
        if (!selects(table, row))
            continue;
        if (m_format == Format::Json)
            buffer += printed == 0 ? "\n" : ",\n";
        appendRow(buffer, table, row);
        ++printed;
        if (!out.flushIfFull())
            return -1;
    }
    if (m_format == Format::Json)
        buffer += printed == 0 ? "]\n" : "\n]\n";
    return out.flush() ? printed : -1;
}
