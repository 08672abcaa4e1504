// Where a page's body lies: between the <body ...> start tag and the last </body>, the whole page without
// a body tag.
#include "HtmlBody.h"

#include <QtTest>

class tst_HtmlBody : public QObject
{
    Q_OBJECT

private slots:
    void bodyOf_data()
    {
        QTest::addColumn<QByteArray>("document"); // UTF-8
        QTest::addColumn<QByteArray>("body");
        const auto row = [](const char* name, const QByteArray& document, const QByteArray& body) {
            QTest::newRow(name) << document << body;
        };
        row("upper case, attributes", "<HTML><BODY bgcolor=white\r\n>\r\nrows\r\n</BODY>", "\r\nrows\r\n");
        row("quoted >", "<body onload=\"a>b\" class='c>d'>rows</body>", "rows");
        row("not a body tag", "<bodyguard>x</bodyguard>", "<bodyguard>x</bodyguard>");
        row("not a body tag, then one", "<bodyguard><body/>x</body>", "x");
        row("space beyond ASCII", "<body\xc2\xa0x>rows</body>", "rows");
        row("letter beyond ASCII", "<body\xc3\xa9>rows</body>", "<body\xc3\xa9>rows</body>");
        row("two end tags", "<body>a</body>b</BODY>", "a</body>b");
        row("end tag before the start tag", "</body><body>rows", "rows");
        row("unclosed start tag", "<body class=\"x>rows", "");
        row("ends in the tag name", "text<body", "text<body");
    }

    void bodyOf()
    {
        QFETCH(QByteArray, document);
        QFETCH(QByteArray, body);
        QCOMPARE(HtmlBody::bodyOf(document), body);
    }
};

QTEST_GUILESS_MAIN(tst_HtmlBody)
#include "tst_htmlbody.moc"
