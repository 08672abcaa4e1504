#include "ProxyTableModel.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {

const std::array<QString, ProxyTableModel::ColumnCount> Headers = {
    QStringLiteral("Address"),
    QStringLiteral("Port"),
    QStringLiteral("Type"),
    QStringLiteral("Country"),
};

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
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ProxyTableModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role == Qt::DisplayRole)
        return cellText(index.row(), index.column());
    return {};
}

QVariant ProxyTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
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

qsizetype ProxyTableModel::append(QStringView key, QStringView text)
{
    const auto next = quint32(m_rows.size());
    if (!m_keys.insert(key, next, [this](quint32 row) { return m_rows[row].segment(0); }))
        return -1;
    char16_t* data = m_text.allocate(size_t(key.size() + text.size()));
    std::memcpy(data, key.utf16(), size_t(key.size()) * sizeof(char16_t));
    std::memcpy(data + key.size(), text.utf16(), size_t(text.size()) * sizeof(char16_t));
    const auto keyEnd = quint32(key.size());
    const auto textEnd = quint32(key.size() + text.size());
    m_rows.push_back(Row { data, { keyEnd, textEnd, textEnd, textEnd, textEnd } });
    return size() - 1;
}

void ProxyTableModel::setCellText(qsizetype row, int column, QStringView text)
{
    if (row < 0 || row >= size() || column < 0 || column >= ColumnCount)
        return;
    Row& r = m_rows[size_t(row)];
    const auto segment = size_t(column) + 1;
    const quint32 begin = r.ends[segment - 1];
    const quint32 end = r.ends[segment];
    const quint32 total = r.ends[ColumnCount];
    // The usual case: the cells are filled in order right after the row was added, so the new text goes
    // straight after the row's last character. Otherwise the row moves to fresh room.
    if (!(begin == end && end == total && m_text.extend(r.data + total, text))) {
        const auto newTotal = size_t(total - (end - begin)) + size_t(text.size());
        char16_t* moved = m_text.allocate(newTotal);
        std::memcpy(moved, r.data, begin * sizeof(char16_t));
        std::memcpy(moved + begin, text.utf16(), size_t(text.size()) * sizeof(char16_t));
        std::memcpy(moved + begin + text.size(), r.data + end, (total - end) * sizeof(char16_t));
        r.data = moved;
    }
    const auto grownBy = quint32(text.size()) - (end - begin); // wraps as intended when the text shrinks
    for (size_t i = segment; i < r.ends.size(); ++i)
        r.ends[i] += grownBy;
    if (row < m_shown) {
        const QModelIndex changed = index(int(row), column);
        emit dataChanged(changed, changed, { Qt::DisplayRole });
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

void ProxyTableModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_keys.clear();
    m_text.clear();
    m_shown = 0;
    endResetModel();
}

void ProxyTableModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    flush();
    // Each text is folded once, so the sort compares plain code units instead of folding both sides of
    // every one of its n log n comparisons. Folding then comparing orders as a case-insensitive compare.
    std::vector<QString> folded(m_rows.size());
    for (size_t row = 0; row < m_rows.size(); ++row) {
        const QStringView text = cellView(qsizetype(row), column);
        folded[row] = QString::fromRawData(text.data(), text.size()).toCaseFolded();
    }
    std::vector<qsizetype> permutation(m_rows.size());
    std::iota(permutation.begin(), permutation.end(), qsizetype(0));
    if (order == Qt::AscendingOrder) {
        std::stable_sort(permutation.begin(), permutation.end(),
            [&](qsizetype a, qsizetype b) { return folded[size_t(a)] < folded[size_t(b)]; });
    } else {
        std::stable_sort(permutation.begin(), permutation.end(),
            [&](qsizetype a, qsizetype b) { return folded[size_t(b)] < folded[size_t(a)]; });
    }

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(m_rows.size());
    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    for (size_t i = 0; i < permutation.size(); ++i) {
        newRowOf[size_t(permutation[i])] = int(i);
        sorted.push_back(std::move(m_rows[size_t(permutation[i])]));
    }
    m_rows = std::move(sorted);
    m_keys.renumber(newRowOf);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before)
        after.append(index(newRowOf[size_t(old.row())], old.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
