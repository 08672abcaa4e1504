#include "ProxyTableModel.h"

#include "FoldedTexts.h"
#include "ProxyRecord.h"
#include "RadixSort.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>
#include <optional>

namespace {

const std::array<QString, ProxyTableModel::ColumnCount + 1> Headers = {
    QStringLiteral("Address"),
    QStringLiteral("Port"),
    QStringLiteral("Type"),
    QStringLiteral("Country"),
    QStringLiteral("Answer"),
};

// Where each cell of the record's row ends, as a Row has it; 64 bits wide, for the caller to check.
std::array<qint64, ProxyTableModel::ColumnCount> rowEnds(const ProxyRecord& record)
{
    const qint64 keyEnd = record.address.size() + 1 + record.port.size();
    const qint64 typeEnd = keyEnd + 1 + record.type.size();
    return { record.address.size(), keyEnd, typeEnd, typeEnd + 1 + record.country.size() };
}

// Writes the record's texts to `at` as a row: address, ":", port, ":", type, ":", country.
void putRow(char* at, const ProxyRecord& record)
{
    const auto put = [&at](QByteArrayView text, char separator) {
        if (!text.isEmpty())
            std::memcpy(at, text.data(), size_t(text.size()));
        at += text.size();
        if (separator != 0)
            *at++ = separator;
    };
    put(record.address, ':');
    put(record.port, ':');
    put(record.type, ':');
    put(record.country, 0);
}

} // namespace

ProxyTableModel::ProxyTableModel(QObject* parent)
    : QAbstractTableModel(parent)
{ }

void ProxyTableModel::prefetchRow(qsizetype row) const
{
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(&rowAt(row));
#else
    (void)row;
#endif
}

int ProxyTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

int ProxyTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QVariant ProxyTableModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (index.column() == AnswerColumn) {
        if (role == Qt::DisplayRole)
            return answerText(index.row());
        if (role == Qt::ToolTipRole) {
            const QString tip = answerToolTip(index.row());
            return tip.isEmpty() ? QVariant() : QVariant(tip);
        }
        return {};
    }
    if (role == Qt::DisplayRole)
        return shownCell(index.row(), index.column());
    return {};
}

QVariant ProxyTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns)
        return {};
    if (role == Qt::DisplayRole)
        return Headers[size_t(section)];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags ProxyTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

std::optional<ProxyTableModel::Staged> ProxyTableModel::stage(const ProxyRecord& record)
{
    const auto ends = rowEnds(record);
    // Row offsets are 32 bits; a page body is far too small for that, so this only keeps a misuse from
    // corrupting the table.
    if (ends[3] > std::numeric_limits<quint32>::max())
        return std::nullopt;
    char* data = m_text.allocate(size_t(ends[3]));
    putRow(data, record);
    const Row row { data, { quint32(ends[0]), quint32(ends[1]), quint32(ends[2]), quint32(ends[3]) } };
    return Staged { row, m_keys.hashOf(row.key()) };
}

bool ProxyTableModel::Add(const ProxyRecord& record)
{
    if (!append(record))
        return false;
    // Outside a page each row shows at once; inside, the page's rows show together at its end.
    if (!m_inPage)
        flush();
    return true;
}

void ProxyTableModel::endPage()
{
    m_inPage = false;
    flush();
}

bool ProxyTableModel::append(const ProxyRecord& record)
{
    // A view shows at most INT_MAX rows.
    if (size() >= std::numeric_limits<int>::max())
        return false;
    if (m_foreseenFirst != m_foreseenEnd && m_foreseen[m_foreseenFirst % m_foreseen.size()].is(record)) {
        const Foreseen& foreseen = m_foreseen[m_foreseenFirst++ % m_foreseen.size()];
        const QByteArrayView key(foreseen.text.data(), foreseen.ends[1]);
        if (!m_keys.insert(
                key, foreseen.hash, quint32(m_size), [this](quint32 r) { return storedRow(r).key(); }))
            return false;
        char* data = m_text.allocate(foreseen.ends[3]);
        std::memcpy(data, foreseen.text.data(), foreseen.ends[3]);
        pushStored(Row { data, foreseen.ends });
        return true;
    }
    const std::optional<Staged> staged = stage(record);
    if (!staged)
        return false;
    if (!m_keys.insert(staged->row.key(), staged->hash, quint32(m_size),
            [this](quint32 r) { return storedRow(r).key(); })) {
        // The row staged just now is the arena's last allocation.
        m_text.giveBackLast(staged->row.ends[3]);
        return false;
    }
    pushStored(staged->row);
    return true;
}

void ProxyTableModel::pushStored(const Row& row)
{
    pushRow(m_rows, m_size, row);
    // A row added to a sorted list shows last until the next sort.
    if (!m_order.empty()) {
        if (m_shownAt.size() == m_order.size())
            m_shownAt.push_back(quint32(m_size));
        m_order.push_back(quint32(m_size));
    }
    ++m_size;
}

bool ProxyTableModel::Foreseen::is(const ProxyRecord& record) const
{
    const auto same
        = [](QByteArrayView a, QByteArrayView b) { return a.data() == b.data() && a.size() == b.size(); };
    return same(address, record.address) && same(port, record.port);
}

void ProxyTableModel::foresee(const ProxyRecord& record)
{
    const auto ends = rowEnds(record);
    if (ends[3] > Foreseen::MaxBytes)
        return;
    // Past the oldest entry when the ring is full: a caller that foresees more than it adds only loses
    // the saving.
    if (m_foreseenEnd - m_foreseenFirst == m_foreseen.size())
        ++m_foreseenFirst;
    Foreseen& foreseen = m_foreseen[m_foreseenEnd++ % m_foreseen.size()];
    foreseen.address = record.address;
    foreseen.port = record.port;
    foreseen.ends = { quint32(ends[0]), quint32(ends[1]), quint32(ends[2]), quint32(ends[3]) };
    putRow(foreseen.text.data(), record);
    foreseen.hash = m_keys.hashOf(QByteArrayView(foreseen.text.data(), ends[1]));
    m_keys.prefetch(foreseen.hash);
}

void ProxyTableModel::makeRoomForRow(Chunks& chunks, qsizetype size)
{
    if (size == 0) {
        chunks.push_back(BlockMemory::allocate(FirstChunkRows * sizeof(Row)));
    } else if (size == FirstChunkRows) {
        BlockMemory::Block whole = BlockMemory::allocate(BlockMemory::HugePageBytes);
        std::memcpy(whole.get(), chunks[0].get(), FirstChunkRows * sizeof(Row));
        chunks[0] = std::move(whole);
    } else {
        chunks.push_back(BlockMemory::allocate(BlockMemory::HugePageBytes));
    }
}

void ProxyTableModel::flush()
{
    if (size() == m_shown)
        return;
    beginInsertRows(QModelIndex(), m_shown, int(size()) - 1);
    m_shown = int(size());
    endInsertRows();
}

void ProxyTableModel::Clear()
{
    beginResetModel();
    m_rows.clear();
    m_size = 0;
    m_order = {};
    m_shownAt = {};
    m_keys.clear();
    m_text.clear();
    m_foreseenFirst = m_foreseenEnd = 0;
    m_shown = 0;
    m_answers.clear();
    m_changedFirst = 0;
    m_changedLast = -1;
    endResetModel();
}

void ProxyTableModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= m_columns)
        return;
    flush();
    reorder(column == AnswerColumn ? answerOrder(order) : textOrder(column, order));
}

std::vector<quint32> ProxyTableModel::textOrder(int column, Qt::SortOrder order) const
{
    // Ranks pay while the different texts are few: a handful of types, a few dozen countries, a few
    // hundred addresses. Past a few thousand, as a list's ports are, the radix sort of all the texts
    // takes less than numbering them (measured with bench_sort at a million rows), and at most an eighth
    // of the rows, so that numbering a short list's texts does not cost more than sorting it.
    constexpr qsizetype MostDistinct = 4096;
    FoldedTexts texts(m_size, std::min(MostDistinct, m_size / 8));
    // In the order stored, which is the order of the texts in the arena.
    for (qsizetype stored = 0; stored < m_size; ++stored)
        texts.append(storedRow(stored).cell(column));
    std::vector<quint32> identity;
    return RadixSort::byText(texts, storedInOrder(identity), order == Qt::DescendingOrder);
}

std::vector<quint32> ProxyTableModel::answerOrder(Qt::SortOrder order) const
{
    std::vector<quint32> keys(static_cast<size_t>(m_size));
    for (qsizetype stored = 0; stored < m_size; ++stored)
        keys[size_t(stored)] = m_answers.sortKey(stored);
    std::vector<quint32> identity;
    return RadixSort::byKey(keys, storedInOrder(identity), order == Qt::DescendingOrder);
}

std::span<const quint32> ProxyTableModel::storedInOrder(std::vector<quint32>& identity) const
{
    if (!m_order.empty())
        return m_order;
    identity.resize(static_cast<size_t>(m_size));
    std::iota(identity.begin(), identity.end(), 0u);
    return identity;
}

void ProxyTableModel::reorder(std::vector<quint32> order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<quint32> held;
    held.reserve(size_t(before.size()));
    for (const QModelIndex& old : before)
        held.push_back(quint32(storedAt(old.row())));
    m_order = std::move(order);
    // The row shown of each stored row is made again only when asked for, by a check's answer: a write
    // to anywhere in megabytes for each row, where the views hold a few indices.
    m_shownAt.clear();
    const std::vector<quint32> shownHeld = shownRowsOf(held);
    // The views draw every row anew after the layout change; a range of changed answers named rows
    // that have moved.
    m_changedFirst = 0;
    m_changedLast = -1;
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after.append(index(int(shownHeld[size_t(i)]), before[i].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

std::vector<quint32> ProxyTableModel::shownRowsOf(const std::vector<quint32>& stored)
{
    std::vector<quint32> shown(stored.size());
    // A view holds an index for its current row and two for each selected range; past a few, making the
    // whole inverse costs less than looking for each of them at every row.
    constexpr size_t MostLookedFor = 8;
    if (stored.size() > MostLookedFor) {
        for (size_t i = 0; i < stored.size(); ++i)
            shown[i] = quint32(shownAt(stored[i]));
        return shown;
    }
    // One pass over the order, a 64-bit filter passing most rows over without a look at the list.
    quint64 filter = 0;
    for (const quint32 row : stored)
        filter |= quint64(1) << (row & 63);
    for (size_t row = 0; row < m_order.size(); ++row) {
        const quint32 s = m_order[row];
        if (((filter >> (s & 63)) & 1) == 0)
            continue;
        for (size_t i = 0; i < stored.size(); ++i) {
            if (stored[i] == s)
                shown[i] = quint32(row);
        }
    }
    return shown;
}

qsizetype ProxyTableModel::shownAt(qsizetype stored)
{
    if (m_order.empty())
        return stored;
    if (m_shownAt.size() != m_order.size()) {
        m_shownAt.resize(m_order.size());
        for (size_t row = 0; row < m_order.size(); ++row)
            m_shownAt[m_order[row]] = quint32(row);
    }
    return qsizetype(m_shownAt[size_t(stored)]);
}

void ProxyTableModel::beginCheck(std::vector<quint32> rows)
{
    if (!hasAnswerColumn()) {
        beginInsertColumns(QModelIndex(), AnswerColumn, AnswerColumn);
        m_columns = ColumnCount + 1;
        endInsertColumns();
    }
    for (quint32& row : rows) {
        answerChanged(row);
        if (row < m_size)
            row = quint32(storedAt(row));
    }
    m_answers.beginCheck(std::move(rows));
}

void ProxyTableModel::setCheckAnswer(qsizetype index, const CheckResult& result)
{
    const qsizetype stored = m_answers.rowOfCheck(index);
    if (stored < 0 || stored >= m_size)
        return;
    m_answers.set(stored, result);
    answerChanged(shownAt(stored));
}

void ProxyTableModel::setAnswer(qsizetype row, const CheckResult& result)
{
    if (row < 0 || row >= m_size)
        return;
    m_answers.set(storedAt(row), result);
    answerChanged(row);
}

void ProxyTableModel::answerChanged(qsizetype row)
{
    m_changedFirst = m_changedFirst > m_changedLast ? row : std::min(m_changedFirst, row);
    m_changedLast = std::max(m_changedLast, row);
    // One announcement per turn: a check of thousands of rows may answer many of them in one turn, and
    // a view finds a single changed cell by a search through its rows.
    if (!m_announcing) {
        m_announcing = true;
        QMetaObject::invokeMethod(this, &ProxyTableModel::announceAnswers, Qt::QueuedConnection);
    }
}

void ProxyTableModel::announceAnswers()
{
    m_announcing = false;
    const qsizetype last = std::min(m_changedLast, qsizetype(m_shown) - 1);
    if (m_changedFirst <= last)
        emit dataChanged(index(int(m_changedFirst), AnswerColumn), index(int(last), AnswerColumn),
            { Qt::DisplayRole, Qt::ToolTipRole });
    m_changedFirst = 0;
    m_changedLast = -1;
}
