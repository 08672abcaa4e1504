#pragma once

#include "ProxyTableModel.h"

#include <QStringList>

// Rows as the list site writes them and as the table shows them, each written "address|port|type|country".
namespace TableRows {

// A well-formed row of a list page.
inline QString html(const QString& cells)
{
    const QString end = QStringLiteral("</TD>\r\n");
    return QStringLiteral("<TR align=middle>\r\n<TD>") + cells.split(u'|').join(end + QStringLiteral("<TD>"))
        + end + QStringLiteral("</TR>\r\n");
}

// The cells of `columns` in each row the views have been told of, joined by "|".
inline QStringList shown(const ProxyTableModel& model, const QList<int>& columns = { 0, 1, 2, 3 })
{
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList cells;
        for (int column : columns)
            cells.append(model.cellText(row, column));
        rows.append(cells.join(u'|'));
    }
    return rows;
}

} // namespace TableRows
