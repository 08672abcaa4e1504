#include "KeyListText.h"
#include "ProxyRecord.h"
#include "ProxyTableModel.h"
#include "TableRows.h"

#include <QtTest>

#include <array>
#include <random>

using namespace Qt::StringLiterals;

namespace {

// Adds each "address|port|type|country" through the table's one way in; true when every row was taken.
bool fill(ProxyTableModel& table, const QStringList& rows)
{
    bool all = true;
    for (const QString& row : rows) {
        const QList<QByteArray> cells = row.toUtf8().split('|');
        all = table.Add(ProxyRecord { cells[0], cells[1], cells[2], cells[3] }) && all;
    }
    return all;
}

// Rows 192.0.2.0 up, one for each of `results`, the check's answers in order: "123" answered in 123 ms,
// "no: reason" no answer, "-" a row left out of the check.
void checkRows(ProxyTableModel& table, const QStringList& results)
{
    std::vector<quint32> rows;
    for (qsizetype n = 0; n < results.size(); ++n) {
        QVERIFY(fill(table, { u"192.0.2.%1|80|t|c"_s.arg(n) }));
        if (results[n] != u"-")
            rows.push_back(quint32(n));
    }
    table.beginCheck(rows);
    qsizetype index = 0;
    for (const QString& result : results) {
        if (result.startsWith(u"no:"))
            table.setCheckAnswer(index++, CheckResult::noAnswer(result.mid(4)));
        else if (result != u"-")
            table.setCheckAnswer(index++, CheckResult::answer(result.toInt(), Anonymity::Elite));
    }
}

QStringList addresses(const ProxyTableModel& table)
{
    return TableRows::shown(table, { 0 });
}

} // namespace

class tst_ProxyTableModel : public QObject
{
    Q_OBJECT

private slots:
    void keysStayRefusedAcrossGrowthAndSorting();
    void rowsLongerThanABlockOfText();
    void announcesRowsAsTheyBecomeVisible();
    void sortsEachColumnAsText_data();
    void sortsEachColumnAsText();
    void sortsManyRowsAsAStableSortWould_data();
    void sortsManyRowsAsAStableSortWould();
    void showsCellsMadeVisible_data();
    void showsCellsMadeVisible();
    void sortsByAnswer_data();
    void sortsByAnswer();
    void answersStayWithTheirRows();
    void keyListTextIsEveryShownKey();
};

void tst_ProxyTableModel::keysStayRefusedAcrossGrowthAndSorting()
{
    // Enough keys that the index grows; keys that differ only late or only in case.
    ProxyTableModel table;
    QStringList rows;
    for (int n = 0; n < 5000; ++n)
        rows.append(u"proxy-%1.example|%2|t|c"_s.arg(n % 1000).arg(n / 1000));
    rows.append(u"PROXY-1.example|0|t|c"_s);
    table.beginPage();
    QVERIFY(fill(table, rows));
    table.endPage();
    for (const QString& row : rows)
        QVERIFY(!fill(table, { row }));
    table.sort(3, Qt::DescendingOrder);
    table.sort(0, Qt::AscendingOrder);
    // After the rows moved, the index still finds each of them, and a refused row leaves the first alone.
    for (const QString& row : rows)
        QVERIFY(!fill(table, { QString(row).replace(u"|t|c"_s, u"|other|other"_s) }));
    QCOMPARE(TableRows::shown(table, { 2 }).count(u"t"_s), rows.size());
    QVERIFY(fill(table, { u"proxy-1.example|500|t|c"_s }));

    // The key is the address, ":" and the port as written, so these split differently but collide.
    QVERIFY(fill(table, { u"192.0.2.1:80||a|b"_s }));
    QVERIFY(!fill(table, { u"192.0.2.1|80:|a|b"_s }));
    // A cleared key can be added again.
    table.Clear();
    QVERIFY(fill(table, { rows.first() }));
    QCOMPARE(table.rowCount(), 1);
}

void tst_ProxyTableModel::rowsLongerThanABlockOfText()
{
    // Rows around and beyond the size of one block of the text store, between short ones, each kept whole
    // and apart from its neighbours.
    ProxyTableModel table;
    QStringList rows;
    for (const size_t size : { size_t(10), TextArena::FirstBlockBytes + 1, size_t(10),
             TextArena::BlockBytes + 3, TextArena::BlockBytes - 20, size_t(10) }) {
        const QChar letter(char16_t(u'a' + rows.size()));
        rows.append(u"192.0.2.%1|80|%2|c"_s.arg(rows.size()).arg(QString(qsizetype(size), letter)));
    }
    table.beginPage();
    QVERIFY(fill(table, rows));
    table.endPage();
    QCOMPARE(TableRows::shown(table), rows);
}

void tst_ProxyTableModel::announcesRowsAsTheyBecomeVisible()
{
    ProxyTableModel table;
    QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&table, &QAbstractItemModel::rowsInserted);

    // Outside a page a row shows at once; a refused row announces nothing.
    QVERIFY(fill(table, { u"192.0.2.1|80|a|b"_s }));
    QVERIFY(!fill(table, { u"192.0.2.1|80|a|b"_s }));
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted[0].mid(1), QVariantList({ 0, 0 }));

    // Inside a page, rows stay out of sight until the page ends, then show in one insertion.
    table.beginPage();
    QVERIFY(fill(table, { u"192.0.2.2|81|a|b"_s, u"192.0.2.3|82|a|b"_s }));
    QCOMPARE(table.rowCount(), 1);
    table.endPage();
    QCOMPARE(inserted.size(), 2);
    QCOMPARE(inserted[1].mid(1), QVariantList({ 1, 2 }));

    // A sort moves the rows as one layout change, and a held index follows its row.
    QSignalSpy layout(&table, &QAbstractItemModel::layoutChanged);
    const QPersistentModelIndex third = table.index(2, 3);
    table.sort(1, Qt::DescendingOrder);
    QCOMPARE(layout.size(), 1);
    QCOMPARE(third, table.index(0, 3));
    QCOMPARE(table.key(0), u"192.0.2.3:82"_s);
}

void tst_ProxyTableModel::sortsEachColumnAsText_data()
{
    QTest::addColumn<int>("sortKey");
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("texts");
    QTest::addColumn<QString>("sorted");
    // Letter case is ignored, and texts that are then equal keep their order, also in descending order.
    // The window's test sorts ports as text, and the fuzz target checks sorting in both directions.
    QTest::newRow("case ignored, stable, descending")
        << 2 << 1 << u"elite anon Elite ELITE"_s << u"elite Elite ELITE anon"_s;
    // Folded, the Kelvin sign is "k" and the capital E acute its small letter; a character beyond U+FFFF
    // (two UTF-16 code units from U+D800) comes before the fullwidth letters, as in a QString compare.
    QTest::newRow("beyond ASCII by the folded form")
        << 3 << 0 << u"\uFF21 \U0001D504 \u212A l j \u00C9 \u00E9 e F"_s
        << u"e F j \u212A l \u00C9 \u00E9 \U0001D504 \uFF21"_s;
}

void tst_ProxyTableModel::sortsEachColumnAsText()
{
    QFETCH(int, sortKey);
    QFETCH(int, order);
    QFETCH(QString, texts);
    QFETCH(QString, sorted);
    ProxyTableModel table;
    const QStringList cellTexts = texts.split(u' ');
    for (qsizetype n = 0; n < cellTexts.size(); ++n) {
        QStringList cells(4, QString::number(n));
        cells[sortKey] = cellTexts[n];
        QVERIFY(fill(table, { cells.join(u'|') }));
    }
    table.sort(sortKey, order == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
    QCOMPARE(TableRows::shown(table, { sortKey }).join(u' '), sorted);
}

void tst_ProxyTableModel::sortsManyRowsAsAStableSortWould_data()
{
    QTest::addColumn<int>("sortKey");
    QTest::addColumn<int>("order");
    const std::array<const char*, ProxyTableModel::ColumnCount> names
        = { "address", "port", "type", "country" };
    for (int column = 0; column < ProxyTableModel::ColumnCount; ++column) {
        QTest::addRow("%s ascending", names[size_t(column)]) << column << 0;
        QTest::addRow("%s descending", names[size_t(column)]) << column << 1;
    }
}

// Thousands of rows whose texts share starts longer than one and two eight-byte digits, differ only in
// length or letter case, hold NUL bytes or text beyond ASCII, and repeat: some columns with many
// different texts, some with few, as a list's addresses and its countries. The table's order must be
// that of a stable sort of the case-folded texts, compared code unit by code unit.
void tst_ProxyTableModel::sortsManyRowsAsAStableSortWould()
{
    QFETCH(int, sortKey);
    QFETCH(int, order);
    const QStringList pieces = { u""_s, u"a"_s, u"A"_s, u"aaaaaaaa"_s, u"AAAAAAAAa"_s,
        u"shared-start-of-twenty-"_s, u"Shared-Start-"_s, u"\u00C9t\u00E9"_s, u"\u212Aelvin"_s,
        u"\U0001D504"_s, u"\uFF21"_s, u"x\0y"_s, u"\0"_s, u"z"_s, u"\u00DF"_s, u"9"_s, u"10"_s };
    std::mt19937 random(7);
    const auto text = [&](int parts) {
        QString t;
        for (int n = 0; n < parts; ++n)
            t += pieces[qsizetype(random() % quint32(pieces.size()))];
        return t;
    };
    const QStringList shortTexts = { u""_s, u"a"_s, u"Z"_s, u"x\0y"_s, u"\u212A"_s, u"\u00DF9"_s,
        u"aaaaaaaa"_s, u"AAAAAAAa"_s, u"a\0"_s };
    // A hundred texts for the type and country, a thousand and one repeated often for the address.
    QStringList few;
    QStringList many;
    for (int n = 0; n < 100; ++n)
        few << text(2);
    for (int n = 0; n < 1000; ++n)
        many << text(1 + n % 4);
    ProxyTableModel table;
    table.beginPage();
    for (int n = 0; n < 4000; ++n) {
        const QString address = n % 5 == 0 ? u"Shared-start-of-twenty-ONE"_s : many[random() % 1000];
        // Ports of at most eight bytes folded, the longest just eight.
        const QString port = n % 2 == 0 ? QString::number(n) : shortTexts[qsizetype(random() % 9)];
        table.Add(ProxyRecord { address.toUtf8(), port.toUtf8(), few[random() % 100].toUtf8(),
            (n % 3 == 0 ? many : few)[random() % 100].toUtf8() });
    }
    table.endPage();
    QVERIFY(table.size() > 3000);
    // Sorted once first, so that the sort checked starts from an order other than the rows' own.
    table.sort((sortKey + 1) % ProxyTableModel::ColumnCount, Qt::DescendingOrder);

    struct Row
    {
        QString folded;
        QString key;
    };
    std::vector<Row> expected;
    for (int row = 0; row < table.rowCount(); ++row)
        expected.push_back({ table.cellText(row, sortKey).toCaseFolded(), table.key(row) });
    std::stable_sort(expected.begin(), expected.end(),
        [&](const Row& a, const Row& b) { return order == 0 ? a.folded < b.folded : b.folded < a.folded; });
    table.sort(sortKey, order == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
    for (int row = 0; row < table.rowCount(); ++row)
        QCOMPARE(table.key(row), expected[size_t(row)].key);
}

void tst_ProxyTableModel::showsCellsMadeVisible_data()
{
    QTest::addColumn<QByteArray>("cell"); // UTF-8, or not
    QTest::addColumn<QString>("shown");
    QTest::newRow("backslash and line ends") << "a\nb\tc\rd\\e"_ba << uR"(a\nb\tc\rd\\e)"_s;
    QTest::newRow("other C0 and DEL")
        << "\x00\x01\x1b\x1f\x7f "_ba << uR"(\u{0000}\u{0001}\u{001B}\u{001F}\u{007F} )"_s;
    QTest::newRow("C1 and its neighbours")
        << "\u0080\u0085\u009f\u00a0\u00ff"_ba << u"\\u{0080}\\u{0085}\\u{009F}\u00a0\u00ff"_s;
    // U+200D, U+2010, U+2029, U+202F, U+2065 and U+206A stay as they are.
    QTest::newRow("bidirectional controls and their neighbours")
        << "\u200d\u200e\u200f\u2010\u2029\u202a\u202e\u202f\u2065\u2066\u2069\u206a \u2019\u20ac"_ba
        << u"\u200d\\u{200E}\\u{200F}\u2010\u2029\\u{202A}\\u{202E}\u202f\u2065\\u{2066}\\u{2069}\u206a "
           u"\u2019\u20ac"_s;
    // What is not UTF-8 shows as replacement characters, never as a control character.
    QTest::newRow("not UTF-8") << "\xe2\x80\n\xc0\x8a\xe2\x80\xc2\x85\x9f\xc2"_ba
                               << u"\uFFFD\uFFFD\\n\uFFFD\uFFFD\uFFFD\uFFFD\\u{0085}\uFFFD\uFFFD"_s;
}

// The list shows a cell's control and bidirectional characters as escapes; the table keeps the cell as it
// came.
void tst_ProxyTableModel::showsCellsMadeVisible()
{
    QFETCH(QByteArray, cell);
    QFETCH(QString, shown);
    ProxyTableModel table;
    QVERIFY(table.Add(ProxyRecord { cell, cell, "t", "c" }));
    QCOMPARE(table.index(0, 0).data().toString(), shown);
    QCOMPARE(table.cellUtf8(0, 0), cell);
}

void tst_ProxyTableModel::sortsByAnswer_data()
{
    QTest::addColumn<QString>("results"); // row n's, "|" between rows
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("sorted"); // the rows' numbers, in the order sorted
    // Equal keys keep their order in either direction: two answers of 300 ms, two without, two unchecked.
    const QString results = u"300|no: refused|-|20|no: timed out|300|-"_s;
    QTest::newRow("ascending: fastest first, then no answer, then unchecked") << results << 0 << u"3051426"_s;
    QTest::newRow("descending") << results << 1 << u"2614053"_s;
    QTest::newRow("milliseconds as numbers, not text") << u"100|9|1000"_s << 0 << u"102"_s;
}

void tst_ProxyTableModel::sortsByAnswer()
{
    QFETCH(QString, results);
    QFETCH(int, order);
    QFETCH(QString, sorted);
    ProxyTableModel table;
    checkRows(table, results.split(u'|'));
    table.sort(ProxyTableModel::AnswerColumn, order == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
    QStringList expected;
    for (const QChar n : sorted)
        expected << u"192.0.2.%1"_s.arg(n);
    QCOMPARE(addresses(table), expected);
}

// Answers move with their rows when any column is sorted, and the
// check's later answers find their rows where sorting took them; a reason shows as the cells do. Views
// learn of the answers of one turn of the event loop in one announcement.
void tst_ProxyTableModel::answersStayWithTheirRows()
{
    ProxyTableModel table;
    QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy changed(&table, &QAbstractItemModel::dataChanged);
    checkRows(table, { u"40"_s, u"-"_s, u"no: proxy said\n407"_s, u"-"_s });
    QCOMPARE(table.columnCount(), 5);
    QCOMPARE(changed.size(), 0);
    QTRY_COMPARE(changed.size(), 1);
    QCOMPARE(changed[0].mid(0, 2), QVariantList({ table.index(0, 4), table.index(2, 4) }));

    // Rows 1 and 3 checked anew, by indices 0 and 1, while the list is sorted by address, then by port.
    table.beginCheck({ 3, 1 });
    table.sort(0, Qt::DescendingOrder);
    table.setCheckAnswer(1, CheckResult::answer(7, Anonymity::Elite));
    QVERIFY(fill(table, { u"192.0.2.9|1|t|c"_s }));
    table.sort(1, Qt::AscendingOrder);
    table.setCheckAnswer(0, CheckResult::noAnswer(u"timed out"_s));
    // Announced where the sorts took the row.
    const int shownRow = int(addresses(table).indexOf(u"192.0.2.3"_s));
    QTRY_COMPARE(
        changed.last().mid(0, 2), QVariantList({ table.index(shownRow, 4), table.index(shownRow, 4) }));
    QStringList answers;
    for (const QString& address :
        { u"192.0.2.0"_s, u"192.0.2.1"_s, u"192.0.2.2"_s, u"192.0.2.3"_s, u"192.0.2.9"_s })
        answers << table.index(int(addresses(table).indexOf(address)), 4).data().toString();
    QCOMPARE(answers,
        QStringList({ u"40 ms"_s, u"7 ms"_s, uR"(no answer (proxy said\n407))"_s, u"no answer (timed out)"_s,
            QString() }));

    // A cleared table keeps its column; the check's answers no longer land anywhere.
    table.Clear();
    QVERIFY(fill(table, { u"192.0.2.5|80|t|c"_s }));
    table.setCheckAnswer(0, CheckResult::answer(1, Anonymity::Elite));
    QCOMPARE(table.columnCount(), 5);
    QCOMPARE(table.answerText(0), QString());
}

// Copy All's text: each shown key as the list shows it, a line each, also where escapes and text beyond
// ASCII make the text outgrow its first reservation; a row not yet announced is not copied.
void tst_ProxyTableModel::keyListTextIsEveryShownKey()
{
    ProxyTableModel table;
    QCOMPARE(keyListText(table), QByteArray());
    QString expected;
    table.beginPage();
    for (int n = 0; n < 300; ++n) {
        QByteArray address = "192.0.2." + QByteArray::number(n);
        if (n % 4 == 1)
            address += QByteArray(40, '\x1b');
        else if (n % 4 == 2)
            address += "\xc3\xa9\xe2\x80\xae\xf0\x9d\x94\x84";
        else if (n % 4 == 3)
            address += "\\";
        QVERIFY(table.Add(ProxyRecord { address, "80", "t", "c" }));
        expected += table.shownKey(n) + u'\n';
    }
    table.endPage();
    table.beginPage();
    QVERIFY(table.Add(ProxyRecord { "198.51.100.1", "80", "t", "c" }));
    QCOMPARE(QString::fromUtf8(keyListText(table)), expected);
    QCOMPARE(expected.count(u"\\u{001B}"_s), 75 * 40);
}

QTEST_GUILESS_MAIN(tst_ProxyTableModel)
#include "tst_proxytablemodel.moc"