#include "SearchPage.h"

#include "ListView.h"
#include "ListViewAdapter.h"
#include "SearchController.h"
#include "TwipsLayout.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>

SearchPage::SearchPage(QTabWidget* tabs, ListViewAdapter& list)
    : TabPage(tabs, QStringLiteral("Proxy Search"))
    , m_LV1(new ListView(this))
{
    m_LV1->setObjectName(QStringLiteral("LV1"));
    m_LV1->setModel(&list.model());
    m_LV1->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_LV1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_LV1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_LV1->setSortingEnabled(false);
    // Headers answer a press like buttons. A click sorts through the window's LV1_ColumnClick alone: Qt's
    // own sorting stays off, it would keep the rows in order as they arrive.
    m_LV1->header()->setSectionsClickable(true);
    // A selected row is the whole row; the headers stay as they are.
    m_LV1->header()->setHighlightSections(false);
    m_LV1->header()->setStretchLastSection(false);
    m_LV1->header()->setSectionsMovable(false);
    m_LV1->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 1; column <= ProxyTableModel::ColumnCount; ++column)
        m_LV1->header()->resizeSection(
            column - 1, TwipsLayout::pixels(double(list.ColumnHeaders(column).Width())));
    addControl(m_LV1);

    list.setWidthSource([this] { return float(m_LV1->width() * TwipsLayout::TwipsPerPixel); });
    connect(&list, &ListViewAdapter::columnWidthChanged, this, [this](int index, float twips) {
        m_LV1->header()->resizeSection(index - 1, TwipsLayout::pixels(double(twips)));
    });
    connect(m_LV1->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this, &list] {
        const QModelIndexList rows = m_LV1->selectionModel()->selectedRows();
        list.setSelectedIndex(rows.isEmpty() ? QModelIndex() : rows.first());
    });

    m_cmdStart = new QPushButton(SearchController::StartCaption, this);
    m_cmdStart->setObjectName(QStringLiteral("cmdStart"));
    addControl(m_cmdStart);
}
