#include "ListViewAdapter.h"

#include <QtTest>

namespace {

struct Entry
{
    const char* address;
    const char* port;
    const char* type;
    const char* country;
};

void fill(ListViewAdapter& list, std::initializer_list<Entry> entries)
{
    for (const Entry& e : entries) {
        const QString address = QString::fromLatin1(e.address);
        const QString port = QString::fromLatin1(e.port);
        std::optional<ListItem> item = list.ListItems().Add(address + u':' + port, address);
        QVERIFY(item);
        item->SubItems(1) = port;
        item->SubItems(2) = QString::fromLatin1(e.type);
        item->SubItems(3) = QString::fromLatin1(e.country);
    }
}

QStringList column(const ListViewAdapter& list, int c)
{
    QStringList texts;
    const ProxyTableModel& model = list.model();
    for (int r = 0; r < model.rowCount(); ++r)
        texts.append(model.data(model.index(r, c)).toString());
    return texts;
}

} // namespace

class tst_ListViewAdapter : public QObject
{
    Q_OBJECT

private slots:
    void addRefusesADuplicateKeyWhole();
    void sortsEachColumnAsText_data();
    void sortsEachColumnAsText();
    void rowsAddedAfterASortStayBelowIt();
};

void tst_ListViewAdapter::addRefusesADuplicateKeyWhole()
{
    ListViewAdapter list;
    QAbstractItemModelTester tester(&list.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    fill(list, { { "192.0.2.1", "80", "anonymous", "Germany" } });
    QCOMPARE(list.SortOrder(), ListViewAdapter::lvwDescending);
    QVERIFY(!list.Sorted());

    QVERIFY(!list.ListItems().Add(u"192.0.2.1:80", u"other"));
    QCOMPARE(list.Add(u"192.0.2.1:80", u"other"), -1);
    QCOMPARE(list.ListItems().Count(), 1);
    QCOMPARE(column(list, 0), QStringList { "192.0.2.1" });
    QCOMPARE(column(list, 3), QStringList { "Germany" });
    // The same address on another port is another key.
    QVERIFY(list.ListItems().Add(u"192.0.2.1:81", u"192.0.2.1"));
    QCOMPARE(list.ListItems().Item(2).Key(), QStringLiteral("192.0.2.1:81"));

    list.ListItems().Clear();
    QCOMPARE(list.model().rowCount(), 0);
    // A cleared key can be added again.
    QVERIFY(list.ListItems().Add(u"192.0.2.1:80", u"192.0.2.1"));
    QCOMPARE(list.model().rowCount(), 1);
}

void tst_ListViewAdapter::sortsEachColumnAsText_data()
{
    QTest::addColumn<int>("sortKey");
    QTest::addColumn<int>("order");
    QTest::addColumn<QStringList>("addresses");
    QTest::newRow("address ascending")
        << 0 << 0 << QStringList { "192.0.2.10", "192.0.2.9", "203.0.113.1", "Zed" };
    QTest::newRow("address descending")
        << 0 << 1 << QStringList { "Zed", "203.0.113.1", "192.0.2.9", "192.0.2.10" };
    // Ports compare as text, and equal ports keep their order.
    QTest::newRow("port ascending") << 1 << 0
                                    << QStringList { "192.0.2.9", "203.0.113.1", "Zed", "192.0.2.10" };
    QTest::newRow("port descending") << 1 << 1
                                     << QStringList { "192.0.2.10", "203.0.113.1", "Zed", "192.0.2.9" };
    // Letter case is ignored: "Elite" and "elite" are equal and stay in list order.
    QTest::newRow("type ascending") << 2 << 0
                                    << QStringList { "203.0.113.1", "192.0.2.10", "192.0.2.9", "Zed" };
    QTest::newRow("country descending")
        << 3 << 1 << QStringList { "192.0.2.9", "Zed", "203.0.113.1", "192.0.2.10" };
}

void tst_ListViewAdapter::sortsEachColumnAsText()
{
    QFETCH(int, sortKey);
    QFETCH(int, order);
    QFETCH(QStringList, addresses);
    ListViewAdapter list;
    QAbstractItemModelTester tester(&list.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    fill(list,
        { { "192.0.2.10", "81", "elite", "austria" }, { "203.0.113.1", "80", "anonymous", "Brazil" },
            { "192.0.2.9", "443", "Elite", "Japan" }, { "Zed", "80", "transparent", "Chile" } });
    list.SetSortOrder(order);
    list.SetSortKey(qint16(sortKey));
    list.SetSorted(true);
    list.SetSorted(false);
    QCOMPARE(column(list, 0), addresses);
}

void tst_ListViewAdapter::rowsAddedAfterASortStayBelowIt()
{
    ListViewAdapter list;
    QAbstractItemModelTester tester(&list.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    fill(list, { { "192.0.2.3", "80", "a", "b" }, { "192.0.2.1", "80", "a", "b" } });
    list.SetSortOrder(ListViewAdapter::lvwAscending);
    list.SetSorted(true);
    list.SetSorted(false);
    list.BeginPage();
    fill(list, { { "192.0.2.9", "80", "a", "b" }, { "192.0.2.2", "80", "a", "b" } });
    list.EndPage();
    QCOMPARE(column(list, 0), QStringList({ "192.0.2.1", "192.0.2.3", "192.0.2.9", "192.0.2.2" }));
    list.SetSorted(true);
    QCOMPARE(column(list, 0), QStringList({ "192.0.2.1", "192.0.2.2", "192.0.2.3", "192.0.2.9" }));
    // The key index follows the rows to their new places.
    for (const char16_t* key : { u"192.0.2.1:80", u"192.0.2.2:80", u"192.0.2.3:80", u"192.0.2.9:80" })
        QVERIFY(!list.ListItems().Add(key, u"again"));
    // While the list is kept sorted, a page's rows take their places at its end.
    list.BeginPage();
    fill(list, { { "192.0.2.0", "80", "a", "b" } });
    list.EndPage();
    QCOMPARE(column(list, 0).first(), QStringLiteral("192.0.2.0"));
}

QTEST_GUILESS_MAIN(tst_ListViewAdapter)
#include "tst_listviewadapter.moc"
