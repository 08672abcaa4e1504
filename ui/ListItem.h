#pragma once

#include <QString>
#include <QtGlobal>

class ProxyTableModel;

// One row of the list, as the list view's callers know it. Valid until the list is sorted or cleared.
class ListItem
{
public:
    QString Key() const;
    qsizetype index() const { return m_row; }

private:
    friend class ListViewAdapter;
    ListItem(const ProxyTableModel& model, qsizetype row);
    const ProxyTableModel* m_model;
    qsizetype m_row;
};
