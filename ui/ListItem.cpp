#include "ListItem.h"

#include "ProxyTableModel.h"

ListItem::ListItem(const ProxyTableModel& model, qsizetype row)
    : m_model(&model)
    , m_row(row)
{ }

QString ListItem::Key() const
{
    return m_model->key(m_row);
}
