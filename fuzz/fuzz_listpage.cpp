// Fuzzes the cutter and the result table against a plain reference: a cutter written straight from the
// cutting rules, with no speed tricks, must give the same rows in the same order; every key must be the
// address, ":" and the port and stand once; sorting must be stable and ignore letter case.
//
// The first input byte picks the column and direction of the sort; the rest is the page, made valid
// UTF-8 as the loader hands it on.

#include "ParseListPage.h"
#include "ProxyTableModel.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using Row = std::array<QByteArray, 4>;

// Splits at every occurrence of `delimiter`, letters compared without regard to case (ASCII), the scan
// going on after each occurrence. Read as Latin-1, no byte but an ASCII letter folds to an ASCII letter.
std::vector<QByteArray> split(const QByteArray& text, const QString& delimiter)
{
    std::vector<QByteArray> pieces;
    for (const QString& piece :
        QString::fromLatin1(text).split(delimiter, Qt::KeepEmptyParts, Qt::CaseInsensitive))
        pieces.push_back(piece.toLatin1());
    return pieces;
}

std::vector<Row> referenceRows(const QByteArray& page)
{
    std::vector<Row> rows;
    QSet<QByteArray> keys;
    // Every upper-case "<TD>" goes in one left-to-right scan; what a removal brings together stays.
    const auto withoutCellTags = [](QByteArray cell) { return cell.replace("<TD>", QByteArray()); };
    const std::vector<QByteArray> pieces = split(page, QStringLiteral("<tr align=middle>\r\n<td>"));
    for (size_t i = 1; i < pieces.size(); ++i) {
        const std::vector<QByteArray> cells = split(pieces[i], QStringLiteral("</td>\r\n"));
        if (cells.size() < 4)
            continue;
        const Row row
            = { cells[0], withoutCellTags(cells[1]), withoutCellTags(cells[2]), withoutCellTags(cells[3]) };
        const QByteArray key = row[0] + ':' + row[1];
        if (keys.contains(key))
            continue;
        keys.insert(key);
        rows.push_back(row);
    }
    return rows;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int column = data[0] & 3;
    const bool ascending = (data[0] & 4) != 0;
    const QByteArray page
        = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)).toUtf8();

    std::vector<Row> expected = referenceRows(page);
    ProxyTableModel model;
    ParseListPage(page, model);
    check(model.size() == qsizetype(expected.size()));
    // The reference keeps each key once, so keys equal to its keys stand once too.
    for (qsizetype row = 0; row < model.size(); ++row) {
        for (int c = 0; c < 4; ++c)
            check(model.cellUtf8(row, c) == expected[size_t(row)][size_t(c)]);
        check(model.keyUtf8(row) == expected[size_t(row)][0] + ':' + expected[size_t(row)][1]);
    }

    // A stable sort on the case-folded text, as a user sees the list sorted by a header click.
    auto folded = [&](const Row& row) { return QString::fromUtf8(row[size_t(column)]).toCaseFolded(); };
    std::stable_sort(expected.begin(), expected.end(), [&](const Row& a, const Row& b) {
        return ascending ? folded(a) < folded(b) : folded(b) < folded(a);
    });
    model.sort(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    for (qsizetype row = 0; row < model.size(); ++row)
        check(model.keyUtf8(row) == expected[size_t(row)][0] + ':' + expected[size_t(row)][1]);
    return 0;
}
