#pragma once

#include <QByteArrayView>
#include <QStringList>

class FileOutput;
class ProxyTableModel;

// Prints the rows of the result table in one of the output formats, as UTF-8, straight from the table's
// cells into the output's buffer. Rows may be selected by their type and country.
class TableWriter
{
public:
    enum class Format
    {
        Tsv, // address, port, type, country separated by tabs; each cell made visible (VisibleText.h)
        Plain, // the key, made visible the same way
        Csv, // RFC 4180 with a header line
        Json, // one array of objects
    };

    // An empty list selects every row; otherwise a row's cell must equal one of the texts, letter case
    // ignored.
    TableWriter(Format format, QStringList types, QStringList countries);

    // Prints every selected row in table order and returns how many it printed, or -1 once the output
    // failed (it stops there).
    qsizetype write(const ProxyTableModel& table, FileOutput& out) const;

private:
    bool selects(const ProxyTableModel& table, qsizetype row) const;
    // Writes the row at `at`, where the room suffices, and returns where it ends.
    char* putRow(char* at, const ProxyTableModel& table, qsizetype row) const;

    Format m_format;
    QStringList m_types;
    QStringList m_countries;
};
