#include "KeyListText.h"

#include "ProxyTableModel.h"
#include "VisibleText.h"

#include <algorithm>

QByteArray keyListText(const ProxyTableModel& table)
{
    const int rows = table.rowCount();
    // "255.255.255.255:65535" and its line feed: one reservation holds the usual list.
    constexpr qsizetype UsualLineLength = 22;
    QByteArray text;
    text.resize(qsizetype(rows) * UsualLineLength);
    qsizetype at = 0;
    // Sorting leaves the rows, and their texts, out of order in memory: fetching a few rows ahead hides
    // that. Where a key's text lies is read from its row, so the row is fetched twice as far ahead.
    constexpr int Ahead = 16;
    for (int row = 0; row < rows; ++row) {
        if (row + 2 * Ahead < rows)
            table.prefetchRow(row + 2 * Ahead);
#if defined(__GNUC__) || defined(__clang__)
        if (row + Ahead < rows)
            __builtin_prefetch(table.keyUtf8(row + Ahead).data());
#endif
        const QByteArrayView key = table.keyUtf8(row);
        const qsizetype most = key.size() * MostVisibleBytesPerByte + 1;
        if (text.size() - at < most)
            text.resize(std::max(text.size() * 2, at + most));
        at = putVisible(text.data() + at, key) - text.constData();
        text[at++] = '\n';
    }
    text.truncate(at);
    return text;
}
