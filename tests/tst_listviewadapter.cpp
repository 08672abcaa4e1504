#include "ListViewAdapter.h"
#include "ProxyRecord.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

struct Entry
{
    QString address;
    QString port;
    QString type;
    QString country;
};

// Adds each entry through the list's one way in; true when every row was taken.
bool fill(ListViewAdapter& list, const QList<Entry>& entries)
{
    bool all = true;
    for (const Entry& e : entries) {
        const QByteArray address = e.address.toUtf8(), port = e.port.toUtf8(), type = e.type.toUtf8(),
                         country = e.country.toUtf8();
        all = list.Add(ProxyRecord { address, port, type, country }) && all;
    }
    return all;
}

QStringList column(const ListViewAdapter& list, int c)
{
    QStringList texts;
    const ProxyTableModel& model = list.model();
    for (int r = 0; r < model.rowCount(); ++r)
        texts.append(model.data(model.index(r, c)).toString());
    return texts;
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
    void addRefusesADuplicateKeyWhole();
    void keysStayRefusedAcrossGrowthAndSorting();
    void announcesRowsAsTheyBecomeVisible();
    void sortsEachColumnAsText_data();
    void sortsEachColumnAsText();
    void sortsTextBeyondAsciiByItsFoldedForm();
    void rowsAddedAfterASortStayBelowIt();
};

void tst_ListViewAdapter::addRefusesADuplicateKeyWhole()
{
    ListViewAdapter list;
    QAbstractItemModelTester tester(&list.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(fill(list, { { "192.0.2.1", "80", "anonymous", "Germany" } }));
    QCOMPARE(list.SortOrder(), ListViewAdapter::lvwDescending);
    QVERIFY(!list.Sorted());

    QVERIFY(!fill(list, { { "192.0.2.1", "80", "other", "other" } }));
    QCOMPARE(list.model().size(), 1);
    QCOMPARE(column(list, 0), QStringList { "192.0.2.1" });
    QCOMPARE(column(list, 3), QStringList { "Germany" });
    // The key is the address, ":" and the port as written, so these split differently but collide.
    QVERIFY(fill(list, { { "192.0.2.1:80", "", "a", "b" } }));
    QVERIFY(!fill(list, { { "192.0.2.1", "80:", "a", "b" } }));
    // The same address on another port is another key; texts beyond ASCII come back as they went in.
    QVERIFY(fill(list, { { "192.0.2.1", "81", "élite", "Österreich 🇦🇹" } }));
    QCOMPARE(list.model().key(2), QStringLiteral("192.0.2.1:81"));
    QCOMPARE(list.model().keyUtf8(2), "192.0.2.1:81");
    QCOMPARE(list.model().cellUtf8(2, 1), "81");
    QCOMPARE(column(list, 3).last(), QStringLiteral("Österreich 🇦🇹"));

    list.Clear();
    QCOMPARE(list.model().rowCount(), 0);
    // A cleared key can be added again.
    QVERIFY(fill(list, { { "192.0.2.1", "80", "a", "b" } }));
    QCOMPARE(list.model().rowCount(), 1);
}

void tst_ListViewAdapter::keysStayRefusedAcrossGrowthAndSorting()
{
    // Enough keys that the index grows several times over; keys that differ only late or only in case.
    ListViewAdapter list;
    QList<Entry> entries;
    for (int n = 0; n < 5000; ++n)
        entries.append({ u"proxy-%1.example"_s.arg(n % 1000), QString::number(n / 1000), u"t"_s, u"c"_s });
    entries.append({ u"PROXY-1.example"_s, u"0"_s, u"t"_s, u"c"_s });
    list.BeginPage();
    QVERIFY(fill(list, entries));
    list.EndPage();
    QCOMPARE(list.model().size(), entries.size());
    for (const Entry& e : entries)
        QVERIFY(!fill(list, { e }));
    sortOnce(list, 0, ListViewAdapter::lvwAscending);
    // After the rows moved, the index still finds each of them and its key.
    for (const Entry& e : entries)
        QVERIFY(!fill(list, { e }));
    QCOMPARE(list.model().size(), entries.size());
    QVERIFY(fill(list, { { u"proxy-1.example"_s, u"5"_s, u"t"_s, u"c"_s } }));
    QCOMPARE(list.model().key(list.model().size() - 1), u"proxy-1.example:5"_s);
}

void tst_ListViewAdapter::announcesRowsAsTheyBecomeVisible()
{
    ListViewAdapter list;
    ProxyTableModel& model = list.model();
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QStringList seenOnInsert;
    connect(&model, &QAbstractItemModel::rowsInserted, this, [&](const QModelIndex&, int first, int last) {
        for (int r = first; r <= last; ++r)
            seenOnInsert.append(model.index(r, 1).data().toString());
    });

    // Outside a page a row shows at once; a refused row announces nothing.
    QVERIFY(fill(list, { { "192.0.2.1", "80", "a", "b" } }));
    QVERIFY(!fill(list, { { "192.0.2.1", "80", "a", "b" } }));
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted[0].mid(1), QVariantList({ 0, 0 }));

    // Inside a page, rows stay out of sight until the page ends, then show in one insertion.
    list.BeginPage();
    QVERIFY(fill(list, { { "192.0.2.2", "81", "a", "b" }, { "192.0.2.3", "82", "a", "b" } }));
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(inserted.size(), 1);
    list.EndPage();
    QCOMPARE(inserted.size(), 2);
    QCOMPARE(inserted[1].mid(1), QVariantList({ 1, 2 }));
    QCOMPARE(seenOnInsert, QStringList({ "80", "81", "82" }));

    // A sort moves the rows as one layout change, and a held index follows its row.
    QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
    const QPersistentModelIndex third = model.index(2, 3);
    sortOnce(list, 1, ListViewAdapter::lvwDescending);
    QCOMPARE(layout.size(), 1);
    QCOMPARE(third.row(), 0);
    QCOMPARE(third.column(), 3);
    QCOMPARE(model.key(0), QStringLiteral("192.0.2.3:82"));
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
    QVERIFY(fill(list,
        { { "192.0.2.10", "81", "elite", "austria" }, { "203.0.113.1", "80", "anonymous", "Brazil" },
            { "192.0.2.9", "443", "Elite", "Japan" }, { "Zed", "80", "transparent", "Chile" } }));
    sortOnce(list, sortKey, order);
    QCOMPARE(column(list, 0), addresses);
}

void tst_ListViewAdapter::sortsTextBeyondAsciiByItsFoldedForm()
{
    // Folded, the Kelvin sign is "k" and the capital E acute its small letter; a character beyond U+FFFF
    // (two UTF-16 code units from U+D800) comes before the fullwidth letters, as in a QString compare.
    const QStringList countries = { u"\uFF21"_s, u"\U0001D504"_s, u"\u212A"_s, u"l"_s, u"j"_s, u"\u00C9"_s,
        u"\u00E9"_s, u"e"_s, u"F"_s };
    ListViewAdapter list;
    for (qsizetype n = 0; n < countries.size(); ++n)
        QVERIFY(fill(list, { { QString::number(n), u"80"_s, u"t"_s, countries[n] } }));
    sortOnce(list, 3, ListViewAdapter::lvwAscending);
    QCOMPARE(column(list, 3),
        QStringList({ u"e"_s, u"F"_s, u"j"_s, u"\u212A"_s, u"l"_s, u"\u00C9"_s, u"\u00E9"_s, u"\U0001D504"_s,
            u"\uFF21"_s }));
}

void tst_ListViewAdapter::rowsAddedAfterASortStayBelowIt()
{
    ListViewAdapter list;
    QAbstractItemModelTester tester(&list.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(fill(list, { { "192.0.2.3", "80", "a", "b" }, { "192.0.2.1", "80", "a", "b" } }));
    sortOnce(list, 0, ListViewAdapter::lvwAscending);
    list.BeginPage();
    QVERIFY(fill(list, { { "192.0.2.9", "80", "a", "b" }, { "192.0.2.2", "80", "a", "b" } }));
    list.EndPage();
    QCOMPARE(column(list, 0), QStringList({ "192.0.2.1", "192.0.2.3", "192.0.2.9", "192.0.2.2" }));
    list.SetSorted(true);
    QCOMPARE(column(list, 0), QStringList({ "192.0.2.1", "192.0.2.2", "192.0.2.3", "192.0.2.9" }));
    // The key index follows the rows to their new places.
    for (const char* address : { "192.0.2.1", "192.0.2.2", "192.0.2.3", "192.0.2.9" })
        QVERIFY(!fill(list, { { address, "80", "again", "again" } }));
    // While the list is kept sorted, a page's rows take their places at its end.
    list.BeginPage();
    QVERIFY(fill(list, { { "192.0.2.0", "80", "a", "b" } }));
    list.EndPage();
    QCOMPARE(column(list, 0).first(), QStringLiteral("192.0.2.0"));
}

QTEST_GUILESS_MAIN(tst_ListViewAdapter)
#include "tst_listviewadapter.moc"
