#include "AdvertisementMarkup.h"
#include "PageLoader.h"
#include "TestHttpServer.h"
#include "frmMain.h"

#include <QtGui>
#include <QtTest>
#include <QtWidgets>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace Qt::StringLiterals;

namespace {

QString repeated(const QString& piece, int times)
{
    QString out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

QString nestedTables(int depth)
{
    return repeated(u"<table><tr><td>"_s, depth) + u"deep"_s + repeated(u"</td></tr></table>"_s, depth);
}

QString hugeTable()
{
    return u"<table>"_s + repeated(u"<tr>"_s + repeated(u"<td>c</td>"_s, 50) + u"</tr>"_s, 4000)
        + u"</table>"_s;
}

// A document that counts the resources it is asked for instead of giving any.
class ResourceSpy : public QTextDocument
{
public:
    int m_requests = 0;

protected:
    QVariant loadResource(int, const QUrl&) override
    {
        ++m_requests;
        return {};
    }
};

struct Structure
{
    bool nestedProperly = true;
    int tableDepth = 0;
    int listDepth = 0;
    int cells = 0;
    int lineBreaks = 0;
};

// Reads the tags of the sanitiser's own output, which writes every tag in one plain form.
Structure structureOf(const QString& markup)
{
    static const QRegularExpression tag(u"<(/?)([a-z0-9]+)[^>]*>"_s);
    static const QStringList voids = { u"br"_s, u"hr"_s };
    static const QStringList lists = { u"ul"_s, u"ol"_s, u"dl"_s };
    Structure structure;
    QStringList open;
    for (const QRegularExpressionMatch& match : tag.globalMatch(markup)) {
        const QString name = match.captured(2);
        if (voids.contains(name)) {
            ++structure.lineBreaks;
            continue;
        }
        if (match.captured(1).isEmpty()) {
            open.append(name);
            structure.cells += name == u"td" || name == u"th";
        } else if (open.isEmpty() || open.takeLast() != name) {
            structure.nestedProperly = false;
        }
        structure.tableDepth = std::max(structure.tableDepth, int(open.count(u"table"_s)));
        int listDepth = 0;
        for (const QString& list : lists)
            listDepth += int(open.count(list));
        structure.listDepth = std::max(structure.listDepth, listDepth);
    }
    structure.nestedProperly = structure.nestedProperly && open.isEmpty();
    // The pages below hold line ends only in preformatted text.
    structure.lineBreaks += int(markup.count(u'\n'));
    return structure;
}

} // namespace

class tst_AdvertisementStrip : public QObject
{
    Q_OBJECT

private slots:
    void sanitisedPage_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("kept");

        QTest::newRow("ordinary formatting")
            << u"<H2 align=center>Kestrel</H2><P>Find <B>proxies</B> &amp; <i>more</i>.<P><A "
               u"href=\"http://www.example.com/?a=1&amp;b=2\">Get it</A><table border=1 "
               u"width=\"100%\"><tr><td "
               u"colspan=2>Home<td>free</table><ul><li>fast<li>small</ul><font color=#cc0000 size=+1>red</font>"_s
            << QStringList { u"<h2 align=\"center\">Kestrel</h2>"_s,
                   u"<p>Find <b>proxies</b> &amp; <i>more</i>.</p>"_s,
                   u"<a href=\"http://www.example.com/?a=1&amp;b=2\">Get it</a>"_s,
                   u"<table border=\"1\" width=\"100%\"><tr><td colspan=\"2\">Home</td><td>free</td></tr></table>"_s,
                   u"<ul><li>fast</li><li>small</li></ul>"_s,
                   u"<font color=\"#cc0000\" size=\"+1\">red</font>"_s };
        QTest::newRow("images in every address form")
            << u"<img src=\"file:///etc/hostname\"><IMG SRC=/etc/hostname><img src=x.png><img "
               u"src=\"//host/share/x.png\"><img src='/dev/stdin'><img/src=\"x.png\"><img\nsrc=x.png><input "
               u"type=image src=x.png>pictures"_s
            << QStringList { u"pictures"_s };
        QTest::newRow("backgrounds and style attributes")
            << u"<body background=x.png><table background=\"/x.png\"><tr><td background = "
               u"'x.png'>cell</td></tr>"
               u"</table><p style=\"background-image:url(x.png)\">framed</p><a href=\"http://example.com/\" "
               u"style=\"background:url(//host/share/x.png)\">link</a><ul style='list-style-image:url(x.png)'>"_s
            << QStringList { u"<td>cell</td>"_s, u"<p>framed</p>"_s,
                   u"<a href=\"http://example.com/\">link</a>"_s };
        QTest::newRow("style sheets") << u"<link rel=stylesheet href=\"/x.css\"><STYLE>@import url(/x.css); "
                                         u"p { background: url(x.png) }"
                                         u"</style><p>after</p>"_s
                                      << QStringList { u"<p>after</p>"_s };
        QTest::newRow("embedded content")
            << u"<script>document.write('<img src=x.png>')</script><object data=x.swf><param name=movie "
               u"value=x.swf><embed src=x.swf></object><iframe src=x.html><img "
               u"src=x.png></iframe><svg><image "
               u"href=\"x.png\"/></svg><!-- <img src=x.png> -->shown"_s
            << QStringList { u"shown"_s };
        QTest::newRow("tags hidden by quotes and stray brackets")
            << u"<a title=\"a><img src=x.png>\" href=\"http://example.com/\">t</a><<img src=x.png>>"
               u"<font face=\"Arial\" style=\"background:url(x.png)\">f</font>"_s
            << QStringList { u"<a href=\"http://example.com/\">t</a>"_s, u"&lt;&gt;"_s,
                   u"<font face=\"Arial\">f</font>"_s };
        QTest::newRow("tables nested 40 deep") << nestedTables(40) << QStringList { u"deep"_s };
        QTest::newRow("table of 4,000 x 50 cells") << hugeTable() << QStringList { u"<td>c</td>"_s };
        QTest::newRow("lists nested 1,000 deep")
            << repeated(u"<ul><li>item"_s, 1000) << QStringList { u"<ul><li>item"_s };
        QTest::newRow("20,000 line breaks") << repeated(u"x<br>"_s, 20000) << QStringList { u"x<br>x"_s };
        QTest::newRow("20,000 preformatted lines")
            << u"<pre>"_s + repeated(u"x\r\n"_s, 20000) << QStringList { u"<pre>x\nx"_s };
        QTest::newRow("2 MB of text")
            << repeated(u"some text "_s, 200 * 1024) << QStringList { u"some text"_s };
        QTest::newRow("2 MB word") << QString(2 * 1024 * 1024, u'w') << QStringList { u"www"_s };
        QTest::newRow("200 KB of accents on one letter")
            << u"a"_s + QString(200 * 1024, QChar(0x301)) << QStringList { u"a\u0301"_s };
    }

    void sanitisedPage()
    {
        QFETCH(QString, page);
        QFETCH(QStringList, kept);
        const QString markup = AdvertisementMarkup::sanitised(page);

        for (const QString& piece : kept)
            QVERIFY2(markup.contains(piece), qPrintable(piece + u" missing from "_s + markup.left(2000)));
        for (const QString& resource : { u"<img"_s, u"<link"_s, u"<style"_s, u"<script"_s, u"<object"_s,
                 u"<embed"_s, u"<iframe"_s, u"<input"_s, u"<svg"_s, u"<body"_s, u"src"_s, u"url("_s,
                 u"@import"_s, u"background"_s, u"style"_s, u"x.png"_s, u"/etc/"_s, u"/dev/"_s, u"//host"_s })
            QVERIFY2(
                !markup.contains(resource, Qt::CaseInsensitive), qPrintable(resource + u" in "_s + markup));

        QVERIFY(markup.size() <= AdvertisementMarkup::MaxMarkup);
        const Structure structure = structureOf(markup);
        QVERIFY(structure.nestedProperly);
        QVERIFY(structure.tableDepth <= AdvertisementMarkup::MaxTableDepth);
        QVERIFY(structure.listDepth <= AdvertisementMarkup::MaxListDepth);
        QVERIFY(structure.cells <= AdvertisementMarkup::MaxTableCells);
        QVERIFY(structure.lineBreaks <= AdvertisementMarkup::MaxLineBreaks);

        // Laid out and drawn, the document asks for nothing and holds no image or background picture.
        ResourceSpy document;
        document.setHtml(markup);
        document.setTextWidth(497);
        QImage canvas(497, 73, QImage::Format_RGB32);
        QPainter painter(&canvas);
        document.drawContents(&painter);
        QVERIFY(document.pageCount() > 0);
        QCOMPARE(document.m_requests, 0);
        for (const QTextFormat& format : document.allFormats()) {
            QVERIFY(!format.isImageFormat());
            QVERIFY(!format.hasProperty(QTextFormat::BackgroundImageUrl));
        }
        // Neither a word nor a pile of accents grows past what the line breaker and shaper handle quickly.
        static const QRegularExpression unbroken(u"[^\\s\u200B]{%1}"_s.arg(
            AdvertisementMarkup::MaxUnbrokenRun + AdvertisementMarkup::MaxCombiningMarks + 1));
        static const QRegularExpression piled(
            u"\\p{M}{%1}"_s.arg(AdvertisementMarkup::MaxCombiningMarks + 1));
        const QString text = document.toPlainText();
        QVERIFY(!text.contains(unbroken));
        QVERIFY(!text.contains(piled));
    }

    void hostilePageLeavesWindowResponsive_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("shown");
        QTest::newRow("tables nested 22 deep") << nestedTables(22) << u"deep"_s;
        QTest::newRow("table of 4,000 x 50 cells") << hugeTable() << u"c"_s;
#ifdef Q_OS_UNIX
        // Opening a FIFO for reading waits for a writer, and none comes.
        static QTemporaryDir directory;
        const QString fifo = directory.filePath(u"banner.png"_s);
        QVERIFY(QFile::exists(fifo) || mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QTest::newRow("images naming a FIFO")
            << u"<img src=\"%1\">banner<img src=\"file://%1\"><table background=\"%1\"><tr><td>x</table>"_s
                   .arg(fifo)
            << u"banner"_s;
#endif
    }

    void hostilePageLeavesWindowResponsive()
    {
        QFETCH(QString, page);
        QFETCH(QString, shown);
        TestHttpServer server;
        QVERIFY(server.listen());
        server.setPage(u"/toolads.php"_s, page.toUtf8(), "text/html; charset=utf-8");
        frmMain window(server.base());
        auto* loader = window.findChild<PageLoader*>(u"WebBrowser1Loader"_s);
        QElapsedTimer sinceRequest;
        connect(&server, &TestHttpServer::requestReceived, this, [&] { sinceRequest.start(); });
        qint64 handled = -1;
        // Connected after the window's own handler, so this runs once the strip has its page.
        connect(loader, &PageLoader::DocumentComplete, this, [&] { handled = sinceRequest.elapsed(); });
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(handled >= 0, 20000);

        bool turned = false;
        QTimer::singleShot(0, this, [&] { turned = true; });
        QTRY_VERIFY_WITH_TIMEOUT(turned, 5000);
        window.repaint();
        // Generous: the page itself takes a few milliseconds; an unbounded one took minutes or forever.
        QVERIFY2(handled < 5000, qPrintable(QString::number(handled)));
        QVERIFY(window.findChild<QTextBrowser*>(u"WebBrowser1"_s)->toPlainText().contains(shown));
    }
};

QTEST_MAIN(tst_AdvertisementStrip)
#include "tst_advertisementstrip.moc"
