#pragma once

#include "ProxyTableModel.h"
#include "ResultList.h"

#include <QObject>
#include <QPersistentModelIndex>

#include <array>
#include <functional>
#include <optional>

class ListViewAdapter;

// One row of the list, as the list view's callers know it. Valid until the list is sorted or cleared.
class ListItem
{
public:
    // The text of column j + 1 (j = 1 to 3), read and written: item.SubItems(1) = port;
    class SubItem
    {
    public:
        SubItem& operator=(QStringView text);
        operator QString() const;

    private:
        friend class ListItem;
        SubItem(ProxyTableModel& model, qsizetype row, qint16 j);
        ProxyTableModel& m_model;
        qsizetype m_row;
        qint16 m_j;
    };

    QString Key() const;
    QString Text() const;
    SubItem SubItems(qint16 j) const;
    qsizetype Index() const { return m_row; }

private:
    friend class ListViewAdapter;
    ListItem(ProxyTableModel& model, qsizetype row);
    ProxyTableModel* m_model;
    qsizetype m_row;
};

// The result table under the list view's published names, over the table model. It holds no widget:
// the window tells it the list's width and selection and applies the column widths it is given.
class ListViewAdapter : public QObject, public ResultList
{
    Q_OBJECT

public:
    enum SortOrderValue : qint32
    {
        lvwAscending = 0,
        lvwDescending = 1
    };

    class ListItemsCollection
    {
    public:
        void Clear();
        // Appends a row; no value (a failure the caller must check) when the key is already in the list.
        std::optional<ListItem> Add(QStringView Key, QStringView Text);
        qsizetype Count() const;
        // 1-based, as the list view counts its rows.
        ListItem Item(qsizetype index) const;

    private:
        friend class ListViewAdapter;
        explicit ListItemsCollection(ListViewAdapter& list);
        ListViewAdapter& m_list;
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

    ListItemsCollection& ListItems() { return m_items; }
    // 1 to 4.
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

    // ResultList
    void Clear() override;
    qsizetype Add(QStringView key, QStringView text) override;
    void SetSubItem(qsizetype row, qint16 j, QStringView text) override;
    void BeginPage() override;
    void EndPage() override;

signals:
    // A column's width was written, in twips; a view shows it rounded to whole pixels.
    void columnWidthChanged(int index, float twips);

private:
    void appended();

    ProxyTableModel m_model;
    ListItemsCollection m_items;
    std::array<float, ProxyTableModel::ColumnCount> m_columnWidths = { 2000.0f, 800.0f, 1440.0f, 1440.0f };
    qint32 m_sortOrder = lvwDescending;
    qint16 m_sortKey = 0;
    bool m_sorted = false;
    bool m_inPage = false;
    std::function<float()> m_widthSource;
    QPersistentModelIndex m_selected;
};
