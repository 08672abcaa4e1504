#pragma once

#include <QStringView>

// What the search needs of the result table. The window's list view adapter and the headless search's
// table both provide it; the search never sees a widget.
class ResultList
{
public:
    virtual ~ResultList() = default;

    // Removes every row.
    virtual void Clear() = 0;

    // Appends a row with this key and first-column text and returns its row number, or -1 when the list
    // already holds the key (the list is left unchanged then).
    virtual qsizetype Add(QStringView key, QStringView text) = 0;

    // Sets the text of column j + 1 (j = 1 to 3) of a row that Add returned.
    virtual void SetSubItem(qsizetype row, qint16 j, QStringView text) = 0;

    // Rows added between these two calls may reach a view as a single insertion.
    virtual void BeginPage() { }
    virtual void EndPage() { }
};
