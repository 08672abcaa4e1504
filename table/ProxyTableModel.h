#pragma once

#include "AnswerStore.h"
#include "BlockMemory.h"
#include "KeyIndex.h"
#include "ResultList.h"
#include "TextArena.h"
#include "VisibleText.h"

#include <QAbstractTableModel>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <optional>
#include <span>
#include <vector>

struct ProxyRecord;

// The rows of the result table: an address, three further columns and a key (address, ":" and port)
// unique within the table. The texts are kept once, as UTF-8, and become QStrings only for the cells a
// view asks for. Rows are written only through ResultList, the table's one way in. The rows added between
// beginPage() and endPage() reach attached views as one insertion at endPage() (the cutter calls the pair
// once a page, and again at each of its pauses in a long one), so twenty thousand rows are one insertion
// for the view, not twenty thousand; a row added outside a page shows at once.
//
// The first check adds a fifth column, Answer (AnswerStore), which stays until the table goes. Its cells
// reach views batched: all that change in one turn of the event loop are announced at its end.
class ProxyTableModel : public QAbstractTableModel, public ResultList
{
    Q_OBJECT

public:
    // The columns of text every row has.
    static constexpr int ColumnCount = 4;
    // The check's answers, once a check began.
    static constexpr int AnswerColumn = ColumnCount;

    explicit ProxyTableModel(QObject* parent = nullptr);

    // Without the two virtual calls of the base class's check: the view asks for an index per row each
    // time it lays out the list.
    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override
    {
        return !parent.isValid() && unsigned(row) < unsigned(m_shown)
                && unsigned(column) < unsigned(m_columns)
            ? createIndex(row, column)
            : QModelIndex();
    }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Stable, comparing the column's text ignoring letter case; the Answer column as AnswerStore orders it.
    // The answers move with their rows.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Every row, announced or not. Column 0 is the address, 1 the port, 2 the type, 3 the country.
    qsizetype size() const { return m_size; }
    QByteArrayView keyUtf8(qsizetype row) const { return rowAt(row).key(); }
    QByteArrayView cellUtf8(qsizetype row, int column) const { return rowAt(row).cell(column); }
    // Every text of the row in one view, for a pass over all its bytes or a copy at once: the address,
    // port, type and country, each but the last followed by ":", at the offsets separatorsOf(row).
    QByteArrayView rowUtf8(qsizetype row) const { return rowAt(row).whole(); }
    std::array<quint32, ColumnCount - 1> separatorsOf(qsizetype row) const
    {
        const Row& r = rowAt(row);
        return { r.ends[0], r.ends[1], r.ends[2] };
    }
    // Starts fetching row `row`'s place, for a pass over the rows in the order shown: after a sort they
    // lie anywhere in the table's memory.
    void prefetchRow(qsizetype row) const;
    QString key(qsizetype row) const { return QString::fromUtf8(keyUtf8(row)); }
    QString cellText(qsizetype row, int column) const { return QString::fromUtf8(cellUtf8(row, column)); }
    // Bytes of the text store in use, the rows' separators included.
    qsizetype textBytes() const { return qsizetype(m_text.bytesInUse()); }
    // As the list shows them (VisibleText.h): what a view displays and what the window copies. The key
    // shown is the shown address, ":" and the shown port, since ":" never takes part in an escape.
    QString shownCell(qsizetype row, int column) const { return visibleText(cellUtf8(row, column)); }
    QString shownKey(qsizetype row) const { return visibleText(keyUtf8(row)); }

    // A check of `rows`, which the check's index i names as rows[i] wherever sorting takes it: shows the
    // Answer column and empties their answers.
    void beginCheck(std::vector<quint32> rows);
    // The answer to the check's index `index`; ignored once the table was cleared or another check began.
    void setCheckAnswer(qsizetype index, const CheckResult& result);
    // The answer of row `row` itself, for a row that is not checked (AnswerStore::set).
    void setAnswer(qsizetype row, const CheckResult& result);
    bool hasAnswerColumn() const { return m_columns > ColumnCount; }
    QString answerText(qsizetype row) const { return m_answers.text(storedAt(row)); }
    QString answerToolTip(qsizetype row) const { return m_answers.toolTip(storedAt(row)); }

    // ResultList. A foreseen record is copied aside and its key index slot fetched, for its Add() soon
    // after.
    void Clear() override;
    bool Add(const ProxyRecord& record) override;
    void foresee(const ProxyRecord& record) override;
    void beginPage() override { m_inPage = true; }
    void endPage() override;

private:
    // Appends the record as a row and returns true, or returns false when its key is already in the
    // table. The row stays out of the views' sight until the next flush().
    bool append(const ProxyRecord& record);
    // Announces the rows appended since the last flush as one insertion.
    void flush();
    // The rows in the order a sort by `column` puts them: the stored row of each row shown.
    std::vector<quint32> textOrder(int column, Qt::SortOrder order) const;
    std::vector<quint32> answerOrder(Qt::SortOrder order) const;
    // The stored row of each row, in the order shown: m_order, or `identity` made so while rows show as
    // added.
    std::span<const quint32> storedInOrder(std::vector<quint32>& identity) const;
    // Shows the rows in `order`, telling the views and moving their held indices.
    void reorder(std::vector<quint32> order);
    // Marks row `row`'s answer changed, announced at the end of this turn of the event loop.
    void answerChanged(qsizetype row);
    void announceAnswers();

    // A row's texts back to back in the arena: address, ":", port, ":", type, ":", country. The key is the
    // first three, so it is stored once with the cells it is made of.
    struct Row
    {
        const char* data;
        std::array<quint32, ColumnCount> ends; // where each cell ends; a ":" follows all but the last

        QByteArrayView key() const { return QByteArrayView(data, ends[1]); }
        QByteArrayView whole() const { return QByteArrayView(data, ends[3]); }
        QByteArrayView cell(int column) const
        {
            const quint32 begin = column == 0 ? 0 : ends[size_t(column - 1)] + 1;
            return QByteArrayView(data + begin, qsizetype(ends[size_t(column)] - begin));
        }
    };

    // Rows live in chunks that never move, so a growing table neither copies its rows nor touches twice
    // their size of fresh memory at once.
    static constexpr qsizetype ChunkRows = qsizetype(BlockMemory::HugePageBytes / sizeof(Row));
    using Chunks = std::vector<BlockMemory::Block>;
    static Row& rowIn(const Chunks& chunks, qsizetype row)
    {
        return reinterpret_cast<Row*>(chunks[size_t(row / ChunkRows)].get())[row % ChunkRows];
    }
    // A whole huge page per chunk, so that filling it costs one page fault where the system allows; but
    // the first chunk starts small and moves once, when it outgrows that, so a short list costs little.
    static constexpr qsizetype FirstChunkRows = 1024;
    static void pushRow(Chunks& chunks, qsizetype size, const Row& row)
    {
        if (size % ChunkRows == 0 || size == FirstChunkRows)
            makeRoomForRow(chunks, size);
        rowIn(chunks, size) = row;
    }
    static void makeRoomForRow(Chunks& chunks, qsizetype size);
    // Rows stay where they were added, so that their keys' index and their answers keep naming them; a
    // sort orders only the rows' numbers, four bytes a row where a row takes twenty-four.
    qsizetype storedAt(qsizetype row) const
    {
        return m_order.empty() ? row : qsizetype(m_order[size_t(row)]);
    }
    // The row shown of a stored row.
    qsizetype shownAt(qsizetype stored);
    // Those of each of `stored`, the rows views hold indices to.
    std::vector<quint32> shownRowsOf(const std::vector<quint32>& stored);
    const Row& rowAt(qsizetype row) const { return rowIn(m_rows, storedAt(row)); }
    const Row& storedRow(qsizetype stored) const { return rowIn(m_rows, stored); }
    void pushStored(const Row& row);

    Chunks m_rows; // as added
    qsizetype m_size = 0;
    // The stored row of each row shown; empty until a sort, while the rows show as added. Its inverse,
    // the row shown of each stored row, is made when needed and empty until then.
    std::vector<quint32> m_order;
    std::vector<quint32> m_shownAt;
    TextArena m_text;
    KeyIndex m_keys;
    int m_shown = 0; // rows the views have been told about
    bool m_inPage = false;
    int m_columns = ColumnCount;
    AnswerStore m_answers;
    // The rows whose answers changed since the views were last told; none when first > last.
    qsizetype m_changedFirst = 0;
    qsizetype m_changedLast = -1;
    bool m_announcing = false;
    // A row's texts and its key's hash: all that append() needs before it asks the key index.
    struct Staged
    {
        Row row;
        quint32 hash;
    };
    // Copies the record into the arena. Empty when the row is too long to store.
    std::optional<Staged> stage(const ProxyRecord& record);

    // The rows foresee() staged and append() has not yet met, oldest first. A record is known by where
    // its address and port lie, which stay unchanged until it is added. Its texts wait here, not in the
    // arena: a row refused as a repeated key must leave nothing behind, and a foreseen row is not the
    // arena's last allocation once the next one is foreseen.
    struct Foreseen
    {
        // Longer rows are rare and are staged when they are added instead.
        static constexpr qsizetype MaxBytes = 240;

        QByteArrayView address;
        QByteArrayView port;
        quint32 hash;
        std::array<quint32, ColumnCount> ends;
        std::array<char, MaxBytes> text;

        bool is(const ProxyRecord& record) const;
    };
    std::array<Foreseen, 4> m_foreseen;
    size_t m_foreseenFirst = 0; // counters; the entry of counter n is m_foreseen[n % size()]
    size_t m_foreseenEnd = 0;
};
