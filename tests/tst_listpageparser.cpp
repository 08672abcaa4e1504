#include "ListPageCutter.h"
#include "ListPageParser.h"
#include "ListViewAdapter.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

const QString Row = QStringLiteral("<TR align=middle>\r\n<TD>");
const QString End = QStringLiteral("</TD>\r\n");

// A well-formed row as the list site writes it.
QString row(const QString& address, const QString& port, const QString& type, const QString& country)
{
    const QString tag = QStringLiteral("<TD>");
    return Row + address + End + tag + port + End + tag + type + End + tag + country + End
        + QStringLiteral("</TR>\r\n");
}

// Rows as "address|port|type|country", cut from the page's UTF-8.
QStringList cut(const QString& html)
{
    QStringList rows;
    const QByteArray bytes = html.toUtf8();
    ListPageCutter cutter(bytes);
    ProxyRecord r;
    while (cutter.next(r)) {
        rows.append(QStringList { QString::fromUtf8(r.address), QString::fromUtf8(r.port),
            QString::fromUtf8(r.type), QString::fromUtf8(r.country) }
                        .join(u'|'));
    }
    return rows;
}

// The splitting rules written the slow, obvious way, to compare the scanner against.
QStringList reference(const QString& html)
{
    QStringList rows;
    const QStringList pieces
        = html.split(QString::fromLatin1(ListPageCutter::RowStart), Qt::KeepEmptyParts, Qt::CaseInsensitive);
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        QStringList cells = pieces[i].split(
            QString::fromLatin1(ListPageCutter::CellEnd), Qt::KeepEmptyParts, Qt::CaseInsensitive);
        if (cells.size() < 4)
            continue;
        for (int c = 1; c <= 3; ++c)
            cells[c].replace(QStringLiteral("<TD>"), QString());
        rows.append(QStringList { cells[0], cells[1], cells[2], cells[3] }.join(u'|'));
    }
    return rows;
}

} // namespace

class tst_ListPageParser : public QObject
{
    Q_OBJECT

private slots:
    void cutting_data();
    void cutting();
    void matchesTheSplittingRules();
    void appendsInPageOrderAndKeepsTheFirstOfAKey();
};

void tst_ListPageParser::cutting_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QStringList>("rows");

    const QString germany = QStringLiteral("192.0.2.10|80|anonymous|Germany");
    const QString plain = row(QStringLiteral("192.0.2.10"), QStringLiteral("80"), QStringLiteral("anonymous"),
        QStringLiteral("Germany"));

    QTest::newRow("empty body") << QString() << QStringList();
    QTest::newRow("no row start") << QStringLiteral("<TABLE><TR><TD>x</TD></TR></TABLE>") << QStringList();
    QTest::newRow("page head ignored")
        << QStringLiteral("<TD>junk</TD>\r\n<TD>1</TD>\r\n<TD>2</TD>\r\n<TD>3</TD>\r\n") + plain
        << QStringList { germany };
    QTest::newRow("row start lower case") << QStringLiteral(
        "<tr align=middle>\r\n<td>192.0.2.10</TD>\r\n<TD>80</TD>\r\n<TD>anonymous</TD>\r\n"
        "<TD>Germany</TD>\r\n") << QStringList { germany };
    QTest::newRow("row start mixed case") << QStringLiteral(
        "<tR ALIGN=MiDdLe>\r\n<Td>192.0.2.10</TD>\r\n<TD>80</TD>\r\n<TD>anonymous</TD>\r\n"
        "<TD>Germany</TD>\r\n") << QStringList { germany };
    QTest::newRow("quoted attribute")
        << QString(plain).replace(QStringLiteral("middle"), QStringLiteral("\"middle\"")) << QStringList();
    QTest::newRow("other spacing") << QString(plain).replace(
        QStringLiteral("TR align"), QStringLiteral("TR  align"))
                                   << QStringList();
    QTest::newRow("line feed alone") << QString(plain).replace(QStringLiteral("middle>\r\n"),
        QStringLiteral("middle>\n")) << QStringList();
    QTest::newRow("cell end any case") << Row
            + QStringLiteral("192.0.2.10</td>\r\n<TD>80</Td>\r\n<TD>anonymous</tD>\r\n<TD>Germany</td>\r\n")
                                       << QStringList { germany };
    QTest::newRow("cell end without CR LF")
        << Row
            + QStringLiteral(
                "192.0.2.10</TD><TD>81</TD>\r\n<TD>80</TD>\r\n<TD>anonymous</TD>\r\n<TD>Germany</TD>\r\n")
        << QStringList { QStringLiteral("192.0.2.10</TD><TD>81|80|anonymous|Germany") };
    QTest::newRow("cell tag inside a cell") << row(QStringLiteral("192.0.2.10"), QStringLiteral("8<TD>0"),
        QStringLiteral("anon<TD>ymous<TD>"), QStringLiteral("Ger<TD>many"))
                                            << QStringList { germany };
    QTest::newRow("cell tag formed by a removal stays") << row(QStringLiteral("192.0.2.10"),
        QStringLiteral("<T<TD>D>80"), QStringLiteral("anonymous"),
        QStringLiteral("Germany")) << QStringList { QStringLiteral("192.0.2.10|<TD>80|anonymous|Germany") };
    QTest::newRow("lower-case cell tag kept")
        << Row
            + QStringLiteral("192.0.2.10</TD>\r\n<td>80</TD>\r\n<Td>anonymous</TD>\r\n<TD>Germany</TD>\r\n")
        << QStringList { QStringLiteral("192.0.2.10|<td>80|<Td>anonymous|Germany") };
    QTest::newRow("address never cleaned") << row(QStringLiteral("<TD>192.0.2.10"), QStringLiteral("80"),
        QStringLiteral("anonymous"),
        QStringLiteral("Germany")) << QStringList { QStringLiteral("<TD>192.0.2.10|80|anonymous|Germany") };
    QTest::newRow("markup and white space kept")
        << row(QStringLiteral(" 192.0.2.10 "), QStringLiteral("80\t"), QStringLiteral("<B>elite</B>"),
               QStringLiteral("<IMG src=de.gif> Germany\r\n"))
        << QStringList { QStringLiteral(" 192.0.2.10 |80\t|<B>elite</B>|<IMG src=de.gif> Germany\r\n") };
    QTest::newRow("fewer than four cells skipped, rest of page goes on")
        << Row + QStringLiteral("192.0.2.1</TD>\r\n<TD>80</TD>\r\n<TD>anonymous") + plain
        << QStringList { germany };
    QTest::newRow("three cell ends make four cells")
        << Row + QStringLiteral("192.0.2.1</TD>\r\n<TD>80</TD>\r\n<TD>anonymous</TD>\r\n") + plain
        << QStringList { QStringLiteral("192.0.2.1|80|anonymous|"), germany };
    QTest::newRow("empty row between two row starts") << Row + plain << QStringList { germany };
    QTest::newRow("more than four cells") << Row
            + QStringLiteral("192.0.2.10</TD>\r\n<TD>80</TD>\r\n<TD>anonymous</TD>\r\n<TD>Germany</TD>\r\n"
                             "<TD>extra</TD>\r\n<TD>more</TD>\r\n")
                                          << QStringList { germany };
    QTest::newRow("page tail in the last row")
        << plain + plain + QStringLiteral("</TABLE>\r\n<P>Page 1 of 7</TD>\r\n</P></BODY>")
        << QStringList { germany, germany };
    QTest::newRow("last row ends at the end of the text")
        << Row
            + QStringLiteral(
                "192.0.2.10</TD>\r\n<TD>80</TD>\r\n<TD>anonymous</TD>\r\n<TD>Germany</TD></TABLE>")
        << QStringList { QStringLiteral("192.0.2.10|80|anonymous|Germany</TD></TABLE>") };
}

void tst_ListPageParser::cutting()
{
    QFETCH(QString, html);
    QFETCH(QStringList, rows);
    // The cutter agrees with the slow reference on each case, and both with the expected rows.
    QCOMPARE(cut(html), reference(html));
    QCOMPARE(cut(html), rows);
}

void tst_ListPageParser::matchesTheSplittingRules()
{
    // Pages glued from delimiters, their near misses and plain text, in many orders.
    const QStringList fragments = {
        QStringLiteral("<tr align=middle>\r\n<td>"),
        QStringLiteral("<TR ALIGN=MIDDLE>\r\n<TD>"),
        QStringLiteral("</td>\r\n"),
        QStringLiteral("</TD>\r\n"),
        QStringLiteral("<TD>"),
        QStringLiteral("<td>"),
        QStringLiteral("<T"),
        QStringLiteral("D>"),
        QStringLiteral("</td>"),
        QStringLiteral("\r\n"),
        QStringLiteral("\n"),
        QStringLiteral("\r"),
        QStringLiteral("<tr align=middle>\n<td>"),
        QStringLiteral("<"),
        QStringLiteral("192.0.2.7"),
        QStringLiteral("8080"),
        QStringLiteral("é"),
        QStringLiteral("\U0001D504"),
        QStringLiteral("middle>\r\n<td>"),
    };
    QRandomGenerator random(20261206);
    for (int page = 0; page < 3000; ++page) {
        QString html;
        const int length = random.bounded(1, 60);
        for (int i = 0; i < length; ++i)
            html += fragments[random.bounded(int(fragments.size()))];
        const QStringList got = cut(html);
        const QStringList expected = reference(html);
        if (got != expected)
            QFAIL(qPrintable(QStringLiteral("differs on: ")
                + QString(html).replace(u'\r', QStringLiteral("\\r")).replace(u'\n', QStringLiteral("\\n"))));
    }
}

void tst_ListPageParser::appendsInPageOrderAndKeepsTheFirstOfAKey()
{
    ListViewAdapter list;
    QAbstractItemModelTester tester(&list.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QString page1 = row(QStringLiteral("192.0.2.1"), QStringLiteral("80"), QStringLiteral("anonymous"),
                              QStringLiteral("Germany"))
        + row(QStringLiteral("192.0.2.2"), QStringLiteral("8080"), QStringLiteral("transparent"),
            QStringLiteral("Brazil"))
        + row(QStringLiteral("192.0.2.1"), QStringLiteral("80"), QStringLiteral("elite"),
            QStringLiteral("Japan"));
    const QString page2
        = row(QStringLiteral("192.0.2.2"), QStringLiteral("8080"), QStringLiteral("x"), QStringLiteral("y"))
        + Row + QStringLiteral("192.0.2.3</TD>\r\n<TD>80</TD>\r\n")
        + row(QStringLiteral("192.0.2.1"), QStringLiteral("81"), QStringLiteral("elite"),
            QStringLiteral("Japan"));

    QSignalSpy inserted(&list.model(), &QAbstractItemModel::rowsInserted);
    ParseResult first = ParseListPage(page1.toUtf8(), list);
    QCOMPARE(first.added, 2);
    QCOMPARE(first.duplicates, 1);
    ParseResult second = ParseListPage(page2.toUtf8(), list);
    QCOMPARE(second.added, 1);
    QCOMPARE(second.duplicates, 1);
    QCOMPARE(second.shortRows, 1);
    // One insertion per page, whatever its size.
    QCOMPARE(inserted.size(), 2);

    const ProxyTableModel& model = list.model();
    QCOMPARE(model.rowCount(), 3);
    const QStringList expected = { QStringLiteral("192.0.2.1:80|192.0.2.1|80|anonymous|Germany"),
        QStringLiteral("192.0.2.2:8080|192.0.2.2|8080|transparent|Brazil"),
        QStringLiteral("192.0.2.1:81|192.0.2.1|81|elite|Japan") };
    for (int r = 0; r < model.rowCount(); ++r) {
        QStringList fields { model.key(r) };
        for (int c = 0; c < model.columnCount(); ++c)
            fields.append(model.data(model.index(r, c)).toString());
        QCOMPARE(fields.join(u'|'), expected[r]);
    }
}

QTEST_GUILESS_MAIN(tst_ListPageParser)
#include "tst_listpageparser.moc"
