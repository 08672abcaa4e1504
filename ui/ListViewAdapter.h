#pragma once

#include "ListItem.h"
#include "ProxyTableModel.h"
#include "ResultList.h"

#include <QObject>
#include <QPersistentModelIndex>

#include <array>
#include <functional>
#include <optional>

// The result table under the list view's published names, over the table model. It holds no widget:
// the window tells it the list's width and selection and applies the column widths it is given. Rows go
// to the table through it, so that a list kept sorted takes each page's rows into their places.
class ListViewAdapter : public QObject, public ResultList
{
    Q_OBJECT

public:
    enum SortOrderValue : qint32
    {
        lvwAscending = 0,
        lvwDescending = 1
    };

    class ColumnHeader
    {
    public:
        float Width() const;
        void SetWidth(float twips);

    private:
        friend class ListViewAdapter;
        ColumnHeader(ListViewAdapter& list, int index);
        ListViewAdapter& m_list;
        int m_index;
    };

    explicit ListViewAdapter(QObject* parent = nullptr);

    ProxyTableModel& model() { return m_model; }
    const ProxyTableModel& model() const { return m_model; }

    // 1 to 4, and 5 (Answer) once a check added it.
    ColumnHeader ColumnHeaders(int index);

    qint32 SortOrder() const { return m_sortOrder; }
    void SetSortOrder(qint32 order) { m_sortOrder = order; }
    qint16 SortKey() const { return m_sortKey; }
    void SetSortKey(qint16 column) { m_sortKey = column; }
    bool Sorted() const { return m_sorted; }
    // True sorts every row now by SortKey in SortOrder; False leaves the rows where they are.
    void SetSorted(bool sorted);

    // The list's outer width in twips, as the window reports it.
    float Width() const;
    void setWidthSource(std::function<float()> source) { m_widthSource = std::move(source); }

    // The selected row; no value when nothing is selected.
    std::optional<ListItem> SelectedItem();
    void setSelectedIndex(const QModelIndex& index);

    // ResultList, the one way rows are written: the table's.
    void Clear() override { m_model.Clear(); }
    bool Add(const ProxyRecord& record) override { return m_model.Add(record); }
    void foresee(const ProxyRecord& record) override { m_model.foresee(record); }
    void beginPage() override { m_model.beginPage(); }
    void endPage() override;

signals:
    // A column's width was written, in twips; a view shows it rounded to whole pixels.
    void columnWidthChanged(int index, float twips);

private:
    ProxyTableModel m_model;
    std::array<float, ProxyTableModel::ColumnCount + 1> m_columnWidths
        = { 2000.0f, 800.0f, 1440.0f, 1440.0f, 1440.0f };
    qint32 m_sortOrder = lvwDescending;
    qint16 m_sortKey = 0;
    bool m_sorted = false;
    std::function<float()> m_widthSource;
    QPersistentModelIndex m_selected;
};
