#include "ProxyTableModel.h"

#include "ProxyRecord.h"
#include "Utf8Unit.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

namespace {

const std::array<QString, ProxyTableModel::ColumnCount + 1> Headers = {
    QStringLiteral("Address"),
    QStringLiteral("Port"),
    QStringLiteral("Type"),
    QStringLiteral("Country"),
    QStringLiteral("Answer"),
};

// Appends `text` to `out` folded for sorting: comparing two folded texts byte by byte orders them as
// comparing their QString::toCaseFolded() forms code unit by code unit. ASCII folds by itself; any other
// text is folded as a QString, since some of its characters fold to ASCII (the Kelvin sign to 'k').
void appendFolded(QByteArrayView text, QByteArray& out)
{
    const qsizetype at = out.size();
    out.resize(at + text.size());
    char* folded = out.data() + at;
    unsigned char seen = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        seen |= c;
        folded[i] = char(unsigned(c - 'A') < 26u ? c + ('a' - 'A') : c);
    }
    if (seen < 0x80)
        return;
    // Each UTF-16 code unit is written on its own in UTF-8's pattern, surrogates included: then the byte
    // order is the code unit order, where whole characters in UTF-8 would put those beyond U+FFFF after
    // U+E000 to U+FFFF. A unit takes at most three bytes.
    const QString units = QString::fromUtf8(text).toCaseFolded();
    out.resize(at + units.size() * 3);
    char* end = out.data() + at;
    for (const QChar unit : units)
        end = putUtf8Unit(end, unit.unicode());
    out.resize(end - out.data());
}

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
        if (!m_keys.insert(key, foreseen.hash, quint32(m_size), [this](quint32 r) { return rowAt(r).key(); }))
            return false;
        char* data = m_text.allocate(foreseen.ends[3]);
        std::memcpy(data, foreseen.text.data(), foreseen.ends[3]);
        pushRow(m_rows, m_size++, Row { data, foreseen.ends });
        return true;
    }
    const std::optional<Staged> staged = stage(record);
    if (!staged)
        return false;
    if (!m_keys.insert(
            staged->row.key(), staged->hash, quint32(m_size), [this](quint32 r) { return rowAt(r).key(); })) {
        // The row staged just now is the arena's last allocation.
        m_text.giveBackLast(staged->row.ends[3]);
        return false;
    }
    pushRow(m_rows, m_size++, staged->row);
    return true;
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
    // Each text is folded once into one buffer, so the sort compares plain bytes instead of folding both
    // sides of every one of its n log n comparisons.
    struct Entry
    {
        qsizetype begin;
        quint32 size;
        quint32 row;
    };
    QByteArray folded;
    std::vector<Entry> entries;
    entries.reserve(size_t(m_size));
    for (qsizetype row = 0; row < m_size; ++row) {
        const qsizetype begin = folded.size();
        appendFolded(rowAt(row).cell(column), folded);
        entries.push_back(Entry { begin, quint32(folded.size() - begin), quint32(row) });
    }
    const char* base = folded.constData();
    const auto less = [base](const Entry& a, const Entry& b) {
        const int c = std::memcmp(base + a.begin, base + b.begin, std::min(a.size, b.size));
        return c < 0 || (c == 0 && a.size < b.size);
    };
    if (order == Qt::AscendingOrder)
        std::stable_sort(entries.begin(), entries.end(), less);
    else
        std::stable_sort(
            entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) { return less(b, a); });
    std::vector<quint32> rows(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        rows[i] = entries[i].row;
    return rows;
}

std::vector<quint32> ProxyTableModel::answerOrder(Qt::SortOrder order) const
{
    struct Entry
    {
        quint64 key;
        quint32 row;
    };
    std::vector<Entry> entries;
    entries.reserve(size_t(m_size));
    for (qsizetype row = 0; row < m_size; ++row)
        entries.push_back(Entry { m_answers.sortKey(row), quint32(row) });
    if (order == Qt::AscendingOrder)
        std::stable_sort(
            entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
    else
        std::stable_sort(
            entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return b.key < a.key; });
    std::vector<quint32> rows(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        rows[i] = entries[i].row;
    return rows;
}

void ProxyTableModel::reorder(const std::vector<quint32>& order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<quint32> newRowOf(static_cast<size_t>(m_size));
    Chunks sorted;
    for (qsizetype i = 0; i < m_size; ++i) {
        newRowOf[order[size_t(i)]] = quint32(i);
        pushRow(sorted, i, rowAt(order[size_t(i)]));
    }
    m_rows = std::move(sorted);
    m_keys.renumber(newRowOf);
    m_answers.renumber(newRowOf);
    // The views draw every row anew after the layout change; a range of changed answers named rows
    // that have moved.
    m_changedFirst = 0;
    m_changedLast = -1;
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before)
        after.append(index(int(newRowOf[size_t(old.row())]), old.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ProxyTableModel::beginCheck(std::vector<quint32> rows)
{
    if (!hasAnswerColumn()) {
        beginInsertColumns(QModelIndex(), AnswerColumn, AnswerColumn);
        m_columns = ColumnCount + 1;
        endInsertColumns();
    }
    for (const quint32 row : rows)
        answerChanged(row);
    m_answers.beginCheck(std::move(rows));
}

void ProxyTableModel::setCheckAnswer(qsizetype index, const CheckResult& result)
{
    setAnswer(m_answers.rowOfCheck(index), result);
}

void ProxyTableModel::setAnswer(qsizetype row, const CheckResult& result)
{
    if (row < 0 || row >= m_size)
        return;
    m_answers.set(row, result);
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
