#pragma once

#include "CheckRow.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QStringList>

#include <optional>
#include <utility>

// The proxies tarnwick-check reads, one a line: "address:port" ("[address]:port" for IPv6), or a row as
// tarnwick-search's tsv writes it, four fields separated by tabs with its escapes ("\\", "\t", "\n",
// "\r", "\u{XXXX}"). Blank lines are passed over; any other line that is neither is skipped with a
// diagnostic.
class CheckInput
{
public:
    struct Row
    {
        // The fields as read, UTF-8, escapes undone; type and country empty for "address:port", the
        // address without brackets.
        QByteArray address;
        QByteArray port;
        QByteArray type;
        QByteArray country;
        // What is checked: the address and port without blanks round them, the kind the type names.
        CheckRow check;
    };

    // Reads every line of `text`.
    static CheckInput read(QByteArrayView text);
    // Reads one line, without its line feed: the row, or none with `error` telling why.
    static std::optional<Row> readLine(QByteArrayView line, QString& error);

    const QList<Row>& rows() const { return m_rows; }
    QList<Row> takeRows() { return std::exchange(m_rows, {}); }
    // "line N: reason" for each line skipped.
    const QStringList& diagnostics() const { return m_diagnostics; }

private:
    QList<Row> m_rows;
    QStringList m_diagnostics;
};
