#include "ListViewAdapter.h"

ListItem::SubItem::SubItem(ProxyTableModel& model, qsizetype row, qint16 j)
    : m_model(model)
    , m_row(row)
    , m_j(j)
{ }

ListItem::SubItem& ListItem::SubItem::operator=(QStringView text)
{
    if (m_j >= 1 && m_j < ProxyTableModel::ColumnCount)
        m_model.setCellText(m_row, m_j, text);
    return *this;
}

ListItem::SubItem::operator QString() const
{
    if (m_j < 1 || m_j >= ProxyTableModel::ColumnCount)
        return {};
    return m_model.cellText(m_row, m_j);
}

ListItem::ListItem(ProxyTableModel& model, qsizetype row)
    : m_model(&model)
    , m_row(row)
{ }

QString ListItem::Key() const
{
    return m_model->key(m_row);
}

QString ListItem::Text() const
{
    return m_model->cellText(m_row, 0);
}

ListItem::SubItem ListItem::SubItems(qint16 j) const
{
    return SubItem(*m_model, m_row, j);
}

ListViewAdapter::ListItemsCollection::ListItemsCollection(ListViewAdapter& list)
    : m_list(list)
{ }

void ListViewAdapter::ListItemsCollection::Clear()
{
    m_list.m_model.clear();
}

std::optional<ListItem> ListViewAdapter::ListItemsCollection::Add(QStringView Key, QStringView Text)
{
    const qsizetype row = m_list.m_model.append(Key, Text);
    if (row < 0)
        return std::nullopt;
    m_list.appended();
    return ListItem(m_list.m_model, row);
}

qsizetype ListViewAdapter::ListItemsCollection::Count() const
{
    return m_list.m_model.size();
}

ListItem ListViewAdapter::ListItemsCollection::Item(qsizetype index) const
{
    return ListItem(m_list.m_model, index - 1);
}

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
    , m_items(*this)
{ }

ListViewAdapter::ColumnHeader ListViewAdapter::ColumnHeaders(int index)
{
    Q_ASSERT(index >= 1 && index <= ProxyTableModel::ColumnCount);
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

void ListViewAdapter::Clear()
{
    m_items.Clear();
}

qsizetype ListViewAdapter::Add(QStringView key, QStringView text)
{
    const std::optional<ListItem> item = m_items.Add(key, text);
    return item ? item->Index() : -1;
}

void ListViewAdapter::SetSubItem(qsizetype row, qint16 j, QStringView text)
{
    ListItem(m_model, row).SubItems(j) = text;
}

void ListViewAdapter::BeginPage()
{
    m_inPage = true;
}

void ListViewAdapter::EndPage()
{
    m_inPage = false;
    m_model.flush();
    if (m_sorted)
        SetSorted(true);
}

void ListViewAdapter::appended()
{
    // Outside a page each row shows at once; inside, the page's rows show together at its end.
    if (!m_inPage)
        m_model.flush();
}
