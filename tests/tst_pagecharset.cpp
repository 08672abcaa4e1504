// A page's text as UTF-8 and decoded: the charset from a byte order mark, else the Content-Type, else a
// <meta> tag, else windows-1252.
#include "PageCharset.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class tst_PageCharset : public QObject
{
    Q_OBJECT

private slots:
    void text_data()
    {
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        const auto row
            = [](const char* name, const char* type, const QByteArray& bytes, const QString& text) {
                  QTest::newRow(name) << QByteArray(type) << bytes << text;
              };
        const QString word = u"Gr\u00fc\u00df \u20ac"_s;
        const QByteArray utf8 = "Gr\xc3\xbc\xc3\x9f \xe2\x82\xac", latin = "Gr\xfc\xdf \x80";
        const char* html = "text/html";
        row("no charset", html, latin, word);
        row("ASCII without a charset", html, "<body>rows</body>", u"<body>rows</body>"_s);
        row("unknown charset", "text/html; charset=x-no-such", latin, word);
        row("Latin-1 label", "text/html; charset=\"ISO-8859-1\"", "\x80\x9f\xa0\xff",
            u"\u20ac\u0178\u00a0\u00ff"_s);
        row("other known charset", "text/html; charset=koi8-r", "\xc1", u"\u0430"_s);
        row("meta charset", html, "<meta charset=\"utf-8\"><body>" + utf8,
            u"<meta charset=\"utf-8\"><body>"_s + word);
        row("meta http-equiv", html,
            "<META http-equiv=Content-Type content='text/html; charset=UTF-8'>" + utf8,
            u"<META http-equiv=Content-Type content='text/html; charset=UTF-8'>"_s + word);
        row("header wins over meta", "text/html; charset=windows-1252", "<meta charset=utf-8>\xfc",
            u"<meta charset=utf-8>\u00fc"_s);
        row("byte order mark wins", "text/html; charset=windows-1252", "\xef\xbb\xbf<body>" + utf8,
            u"<body>"_s + word);
        row("utf-8 header, invalid bytes", "text/html; charset=UTF-8", "a\xff\xc3z", u"a\ufffd\ufffdz"_s);
    }

    // The page as UTF-8 for the cutter, and decoded whole for the strip, read alike.
    void text()
    {
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QByteArray converted;
        QCOMPARE(QString::fromUtf8(PageCharset::utf8(bytes, contentType, converted)), text);
        QCOMPARE(PageCharset::decode(bytes, contentType), text);
    }
};

QTEST_GUILESS_MAIN(tst_PageCharset)
#include "tst_pagecharset.moc"
