#include "ListViewAdapter.h"
#include "ProxyRecord.h"
#include "TableRows.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Adds each "address|port|type|country" through the list's one way in; true when every row was taken.
bool fill(ListViewAdapter& list, const QStringList& rows)
{
    bool all = true;
    for (const QString& row : rows) {
        const QList<QByteArray> cells = row.toUtf8().split('|');
        all = list.Add(ProxyRecord { cells[0], cells[1], cells[2], cells[3] }) && all;
    }
    return all;
}

void sortOnce(ListViewAdapter& list, int sortKey, int order)
{
    list.SetSortOrder(order);
    list.SetSortKey(qint16(sortKey));
    list.SetSorted(true);
    list.SetSorted(false);
}

} // namespace

class tst_ListViewAdapter : public QObject
{
    Q_OBJECT

private slots:
    void publishedSortSelectionAndWidths();
};

void tst_ListViewAdapter::publishedSortSelectionAndWidths()
{
    ListViewAdapter list;
    QAbstractItemModelTester tester(&list.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(fill(list, { u"192.0.2.3|80|a|b"_s, u"192.0.2.1|80|a|b"_s }));
    list.setSelectedIndex(list.model().index(1, 2));
    // Not kept sorted, rows added after a sort stay below it.
    sortOnce(list, 0, ListViewAdapter::lvwAscending);
    QVERIFY(fill(list, { u"192.0.2.2|80|a|b"_s }));
    QCOMPARE(TableRows::shown(list.model(), { 0 }).join(u' '), u"192.0.2.1 192.0.2.3 192.0.2.2"_s);
    // Kept sorted, each page's rows take their places when it ends; the selection follows its row.
    list.SetSortOrder(ListViewAdapter::lvwDescending);
    list.SetSorted(true);
    list.beginPage();
    QVERIFY(fill(list, { u"192.0.2.0|80|a|b"_s, u"192.0.2.8|80|a|b"_s }));
    list.endPage();
    QVERIFY(list.Sorted());
    QCOMPARE(TableRows::shown(list.model(), { 0 }).join(u' '),
        u"192.0.2.8 192.0.2.3 192.0.2.2 192.0.2.1 192.0.2.0"_s);
    QCOMPARE(list.SelectedItem()->Key(), u"192.0.2.1:80"_s);
    QCOMPARE(list.SelectedItem()->index(), 3);
    list.Clear();
    QVERIFY(!list.SelectedItem());

    // Widths are twips kept with their fractions; the view hears of each one written.
    QSignalSpy changed(&list, &ListViewAdapter::columnWidthChanged);
    list.ColumnHeaders(2).SetWidth(743.75f);
    QCOMPARE(list.ColumnHeaders(2).Width(), 743.75f);
    QCOMPARE(changed.takeFirst(), QVariantList({ 2, 743.75f }));
}

QTEST_GUILESS_MAIN(tst_ListViewAdapter)
#include "tst_listviewadapter.moc"