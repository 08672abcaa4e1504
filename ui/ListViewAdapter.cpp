#include "ListViewAdapter.h"

ListViewAdapter::ColumnHeader::ColumnHeader(ListViewAdapter& list, int index)
    : m_list(list)
    , m_index(index)
{ }

float ListViewAdapter::ColumnHeader::Width() const
{
    return m_list.m_columnWidths[size_t(m_index - 1)];
}

void ListViewAdapter::ColumnHeader::SetWidth(float twips)
{
    m_list.m_columnWidths[size_t(m_index - 1)] = twips;
    emit m_list.columnWidthChanged(m_index, twips);
}

ListViewAdapter::ListViewAdapter(QObject* parent)
    : QObject(parent)
{ }

ListViewAdapter::ColumnHeader ListViewAdapter::ColumnHeaders(int index)
{
    Q_ASSERT(index >= 1 && index <= m_model.columnCount());
    return ColumnHeader(*this, index);
}

void ListViewAdapter::SetSorted(bool sorted)
{
    m_sorted = sorted;
    if (sorted)
        m_model.sort(m_sortKey, m_sortOrder == lvwAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

float ListViewAdapter::Width() const
{
    return m_widthSource ? m_widthSource() : 0.0f;
}

std::optional<ListItem> ListViewAdapter::SelectedItem()
{
    if (!m_selected.isValid())
        return std::nullopt;
    return ListItem(m_model, m_selected.row());
}

void ListViewAdapter::setSelectedIndex(const QModelIndex& index)
{
    m_selected
        = index.isValid() ? QPersistentModelIndex(m_model.index(index.row(), 0)) : QPersistentModelIndex();
}

void ListViewAdapter::endPage()
{
    m_model.endPage();
    if (m_sorted)
        SetSorted(true);
}
