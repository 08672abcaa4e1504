#pragma once

#include "KeyIndex.h"
#include "TextArena.h"

#include <QAbstractTableModel>
#include <QString>

#include <array>
#include <vector>

// The rows of the result table: an address, three further columns and a key unique within the table.
// Rows that are added reach attached views in batches (see flush()), so a page of twenty thousand rows
// is one insertion for the view, not twenty thousand.
class ProxyTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int ColumnCount = 4;

    explicit ProxyTableModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Stable, comparing the column's text ignoring letter case.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Appends a row and returns its number, or -1 when the key is already in the table. The row stays
    // out of the views' sight until the next flush().
    qsizetype append(QStringView key, QStringView text);
    // Column 0 is the row's text; a key never changes.
    void setCellText(qsizetype row, int column, QStringView text);
    // Announces the rows appended since the last flush as one insertion.
    void flush();
    void clear();

    // Every row, announced or not.
    qsizetype size() const { return qsizetype(m_rows.size()); }
    QString key(qsizetype row) const { return keyView(row).toString(); }
    QStringView keyView(qsizetype row) const { return m_rows[size_t(row)].segment(0); }
    QString cellText(qsizetype row, int column) const { return cellView(row, column).toString(); }
    QStringView cellView(qsizetype row, int column) const { return m_rows[size_t(row)].segment(column + 1); }

private:
    // A row's key and four cells back to back in the text arena.
    struct Row
    {
        const char16_t* data;
        std::array<quint32, ColumnCount + 1> ends; // where the key and each cell end within data

        QStringView segment(int i) const
        {
            const quint32 begin = i == 0 ? 0 : ends[size_t(i - 1)];
            return QStringView(data + begin, qsizetype(ends[size_t(i)] - begin));
        }
    };

    std::vector<Row> m_rows;
    TextArena m_text;
    KeyIndex m_keys;
    int m_shown = 0; // rows the views have been told about
};
