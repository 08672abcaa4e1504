#include "ParseListPage.h"
#include "ProxyTableModel.h"
#include "TableRows.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString Row = u"<TR align=middle>\r\n<TD>"_s;
using TableRows::html;

} // namespace

class tst_ParseListPage : public QObject
{
    Q_OBJECT

private slots:
    void cutting_data();
    void cutting();
    void pageEndingInACellEnd();
};

void tst_ParseListPage::cutting_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("duplicates");
    QTest::addColumn<int>("shortRows");

    const QString germany = u"192.0.2.10|80|anonymous|Germany"_s;
    const QString brazil = u"192.0.2.11|8080|elite|Brazil"_s;
    const QString cells = u"192.0.2.10</TD>\r\n<TD>80</TD>\r\n<TD>anonymous</TD>\r\n<TD>Germany</TD>\r\n"_s;

    // The fuzz target checks the rest of the cutting rules against a plain reference cutter, from seeds
    // for the row start's letter case, upper- and lower-case cell tags, cell ends without CR and cells
    // past the fourth.
    QTest::newRow("row start only as exact text") << u"<TR align=\"middle\">\r\n<TD>"_s + cells
            + u"<TR  align=middle>\r\n<TD>"_s + cells + u"<TR align=middle>\n<TD>"_s
            + cells << QStringList() << 0 << 0;
    QTest::newRow("short rows skipped and counted, the page goes on")
        << Row + u"192.0.2.1</TD>\r\n<TD>80</TD>\r\n<TD>anonymous"_s + html(germany) + Row + html(brazil)
        << QStringList { germany, brazil } << 0 << 2;
    QTest::newRow("repeated key: the first row stays, later ones counted")
        << html(germany) + html(brazil) + html(u"192.0.2.10|80|elite|Japan"_s) + html(u"192.0.2.10|81|x|y"_s)
        << QStringList { germany, brazil, u"192.0.2.10|81|x|y"_s } << 1 << 0;
    // Rows whose cells hold further cell tags are cut into scratch space; the list sees each row while the
    // cutter is already one row ahead.
    QTest::newRow("further cell tags removed, row after row")
        << html(u"192.0.2.20|8<TD>0|el<TD>ite|Ja<TD>pan"_s)
            + html(u"192.0.2.21|3<TD>128|ano<TD>nymous|Pe<TD>ru"_s)
            + html(u"192.0.2.22|<TD>1<TD>080|<TD>x|Chile<TD>"_s)
        << QStringList { u"192.0.2.20|80|elite|Japan"_s, u"192.0.2.21|3128|anonymous|Peru"_s,
               u"192.0.2.22|1080|x|Chile"_s }
        << 0 << 0;
    QTest::newRow("text beyond ASCII, markup and white space kept")
        << html(u" 192.0.2.10 |80\t|<B>élite</B>|<IMG src=at.gif> Österreich 🇦🇹\r\n"_s)
        << QStringList { u" 192.0.2.10 |80\t|<B>élite</B>|<IMG src=at.gif> Österreich 🇦🇹\r\n"_s } << 0 << 0;
    QTest::newRow("three cell ends: the country runs to the next row start")
        << Row + u"192.0.2.12</TD>\r\n<TD>81</TD>\r\n<TD>x</TD>\r\n<TD>Peru"_s + html(brazil)
        << QStringList { u"192.0.2.12|81|x|Peru"_s, brazil } << 0 << 0;
    const QString longRow = u"192.0.2.30|80|"_s + QString(300, u'x') + u"|Chile"_s;
    QTest::newRow("one row again and again, short and long")
        << (html(germany) + html(longRow)).repeated(500) + html(brazil)
        << QStringList { germany, longRow, brazil } << 998 << 0;
}

void tst_ParseListPage::cutting()
{
    QFETCH(QString, page);
    QFETCH(QStringList, rows);
    QFETCH(int, duplicates);
    QFETCH(int, shortRows);
    ProxyTableModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    const ParseResult result = ParseListPage(page.toUtf8(), model);

    QCOMPARE(TableRows::shown(model), rows);
    QCOMPARE(result.added, rows.size());
    QCOMPARE(result.duplicates, qsizetype(duplicates));
    QCOMPARE(result.shortRows, qsizetype(shortRows));
    // A page's rows reach the view as one insertion, whatever their number.
    QCOMPARE(inserted.size(), rows.isEmpty() ? 0 : 1);

    // The text the table keeps is that of the rows it holds; the same page again adds nothing, and the
    // rows it refuses take no memory.
    const auto heldBytes = [&model] {
        qsizetype bytes = 0;
        for (qsizetype row = 0; row < model.size(); ++row)
            bytes += model.rowUtf8(row).size();
        return bytes;
    };
    QCOMPARE(model.textBytes(), heldBytes());
    const ParseResult again = ParseListPage(page.toUtf8(), model);
    QCOMPARE(again.added, 0);
    QCOMPARE(again.duplicates, result.added + result.duplicates);
    QCOMPARE(model.textBytes(), heldBytes());
}

void tst_ParseListPage::pageEndingInACellEnd()
{
    // The page's last byte is the line feed of a cell end, at each place it can take in a block of 64.
    for (int padding = 0; padding < 64; ++padding) {
        ProxyTableModel model;
        const QString page
            = QString(padding, u' ') + Row + u"192.0.2.1</TD>\r\n<TD>80</TD>\r\n<TD>t</TD>\r\n"_s;
        const ParseResult result = ParseListPage(page.toUtf8(), model);
        QCOMPARE(result.shortRows, 0);
        QCOMPARE(TableRows::shown(model), QStringList { u"192.0.2.1|80|t|"_s });
    }
}

QTEST_GUILESS_MAIN(tst_ParseListPage)
#include "tst_parselistpage.moc"