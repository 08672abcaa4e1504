#include "ListPageParser.h"
#include "ListViewAdapter.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString Row = u"<TR align=middle>\r\n<TD>"_s;
const QString End = u"</TD>\r\n"_s;

// A well-formed row as the list site writes it, from "address|port|type|country".
QString row(const QString& cells)
{
    return Row + cells.split(u'|').join(End + u"<TD>"_s) + End + u"</TR>\r\n"_s;
}

} // namespace

class tst_ListPageParser : public QObject
{
    Q_OBJECT

private slots:
    void cutting_data();
    void cutting();
};

void tst_ListPageParser::cutting_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("duplicates");
    QTest::addColumn<int>("shortRows");

    const QString germany = u"192.0.2.10|80|anonymous|Germany"_s;
    const QString brazil = u"192.0.2.11|8080|elite|Brazil"_s;
    const QString cells = u"192.0.2.10</TD>\r\n<TD>80</TD>\r\n<TD>anonymous</TD>\r\n<TD>Germany</TD>\r\n"_s;

    QTest::newRow("text before the first row ignored")
        << u"<TD>head</TD>\r\n<TD>1</TD>\r\n<TD>2</TD>\r\n<TD>3</TD>\r\n"_s + row(germany)
        << QStringList { germany } << 0 << 0;
    QTest::newRow("row start in any letter case")
        << u"<tR ALIGN=MiDdLe>\r\n<Td>"_s + cells << QStringList { germany } << 0 << 0;
    QTest::newRow("row start only as exact text") << u"<TR align=\"middle\">\r\n<TD>"_s + cells
            + u"<TR  align=middle>\r\n<TD>"_s + cells + u"<TR align=middle>\n<TD>"_s
            + cells << QStringList() << 0 << 0;
    QTest::newRow("cell end in any letter case, only with CR LF")
        << Row + u"192.0.2.10</td><TD>81</td>\r\n<TD>80</Td>\r\n<TD>anonymous</tD>\r\n<TD>Germany</td>\r\n"_s
        << QStringList { u"192.0.2.10</td><TD>81|80|anonymous|Germany"_s } << 0 << 0;
    QTest::newRow("upper-case cell tag removed everywhere in cells 1 to 3")
        << row(u"192.0.2.10|8<TD>0|<TD>anon<TD>ymous<TD>|Ger<TD>many"_s) << QStringList { germany } << 0 << 0;
    QTest::newRow("a cell tag formed by a removal stays")
        << row(u"192.0.2.10|<T<TD>D>80|anonymous|Germany"_s)
        << QStringList { u"192.0.2.10|<TD>80|anonymous|Germany"_s } << 0 << 0;
    QTest::newRow("lower-case cell tag kept")
        << row(u"192.0.2.10|<td>80|<Td>anonymous|Germany<tD>"_s)
        << QStringList { u"192.0.2.10|<td>80|<Td>anonymous|Germany<tD>"_s } << 0 << 0;
    QTest::newRow("address cell never cleaned")
        << row(u"<TD>192.0.2.10|80|anonymous|Germany"_s)
        << QStringList { u"<TD>192.0.2.10|80|anonymous|Germany"_s } << 0 << 0;
    QTest::newRow("short rows skipped and counted, the page goes on")
        << Row + u"192.0.2.1</TD>\r\n<TD>80</TD>\r\n<TD>anonymous"_s + row(germany) + Row + row(brazil)
        << QStringList { germany, brazil } << 0 << 2;
    QTest::newRow("repeated key: the first row stays, later ones counted")
        << row(germany) + row(brazil) + row(u"192.0.2.10|80|elite|Japan"_s) + row(u"192.0.2.10|81|x|y"_s)
        << QStringList { germany, brazil, u"192.0.2.10|81|x|y"_s } << 1 << 0;
    QTest::newRow("last row with the page tail keeps its first four cells")
        << row(brazil) + Row + cells + u"</TABLE>\r\n<P>Page 1 of 7</TD>\r\n</P></BODY>"_s
        << QStringList { brazil, germany } << 0 << 0;
    QTest::newRow("text beyond ASCII, markup and white space kept")
        << row(u" 192.0.2.10 |80\t|<B>élite</B>|<IMG src=at.gif> Österreich 🇦🇹\r\n"_s)
        << QStringList { u" 192.0.2.10 |80\t|<B>élite</B>|<IMG src=at.gif> Österreich 🇦🇹\r\n"_s } << 0 << 0;
}

void tst_ListPageParser::cutting()
{
    QFETCH(QString, html);
    QFETCH(QStringList, rows);
    QFETCH(int, duplicates);
    QFETCH(int, shortRows);
    ListViewAdapter list;
    const ProxyTableModel& model = list.model();
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    const ParseResult result = ParseListPage(html.toUtf8(), list);

    QStringList got;
    for (int r = 0; r < model.rowCount(); ++r)
        got.append(QStringList {
            model.cellText(r, 0), model.cellText(r, 1), model.cellText(r, 2), model.cellText(r, 3) }
                       .join(u'|'));
    QCOMPARE(got, rows);
    QCOMPARE(result.added, rows.size());
    QCOMPARE(result.duplicates, qsizetype(duplicates));
    QCOMPARE(result.shortRows, qsizetype(shortRows));
    // A page's rows reach the view as one insertion, whatever their number.
    QCOMPARE(inserted.size(), rows.isEmpty() ? 0 : 1);
}

QTEST_GUILESS_MAIN(tst_ListPageParser)
#include "tst_listpageparser.moc"