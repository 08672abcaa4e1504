#include "TableWriter.h"

#include "FileOutput.h"
#include "ProxyTableModel.h"

#include <array>

namespace {

constexpr int TypeColumn = 2;
constexpr int CountryColumn = 3;

// Appends the UTF-8 `text`. Each ASCII character goes through `ascii(out, c)`, which writes it or its
// escape; the bytes of other characters are copied as they are (the table holds valid UTF-8 only).
template <typename Ascii> void appendUtf8(std::string& out, QByteArrayView text, Ascii ascii)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x80)
            ascii(out, c);
        else
            out += c;
    }
}

// tsv and plain: a field never holds a separator or a line end of its own.
void appendEscaped(std::string& out, QByteArrayView text)
{
    appendUtf8(out, text, [](std::string& to, char c) {
        switch (c) {
        case '\\':
            to += "\\\\";
            break;
        case '\t':
            to += "\\t";
            break;
        case '\n':
            to += "\\n";
            break;
        case '\r':
            to += "\\r";
            break;
        default:
            to += c;
        }
    });
}

void appendCsvField(std::string& out, QByteArrayView text)
{
    bool quote = false;
    for (const char c : text)
        quote = quote || c == ',' || c == '"' || c == '\r' || c == '\n';
    if (!quote) {
        appendUtf8(out, text, [](std::string& to, char c) { to += c; });
        return;
    }
    out += '"';
    appendUtf8(out, text, [](std::string& to, char c) {
        if (c == '"')
            to += '"';
        to += c;
    });
    out += '"';
}

void appendJsonString(std::string& out, QByteArrayView text)
{
    out += '"';
    appendUtf8(out, text, [](std::string& to, char c) {
        if (c == '"' || c == '\\') {
            to += '\\';
            to += c;
        } else if (c < 0x20) {
            static constexpr char Hex[] = "0123456789abcdef";
            to += "\\u00";
            to += Hex[c >> 4];
            to += Hex[c & 0xF];
        } else {
            to += c;
        }
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
