// The advertisement page as the strip's document gets it: plain formatting kept, nothing that names a
// resource, and bounded in size and nesting.
#include "AdvertisementMarkup.h"
#include "MarkupBounds.h"
#include "MarkupForm.h"

#include <QtGui>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// A document that counts the resources it is asked for instead of giving any.
struct ResourceSpy : QTextDocument
{
    int requests = 0;
    QVariant loadResource(int, const QUrl&) override { return ++requests, QVariant(); }
};

// The deepest nesting of the elements `names`, and how many of them open, in the sanitiser's output,
// which writes every tag in one plain form.
std::pair<int, int> nesting(const QString& markup, const QString& names)
{
    const QRegularExpression tag(u"<(/?)(%1)[ >]"_s.arg(names));
    int depth = 0, deepest = 0, opened = 0;
    for (const QRegularExpressionMatch& match : tag.globalMatch(markup)) {
        depth += match.captured(1).isEmpty() ? 1 : -1;
        opened += match.captured(1).isEmpty() ? 1 : 0;
        deepest = std::max(deepest, depth);
    }
    return { deepest, opened };
}

} // namespace

class tst_AdvertisementMarkup : public QObject
{
    Q_OBJECT

private slots:
    void sanitised_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("kept"); // pieces of the markup, separated by "|"
        const auto row = [](const char* name, const QString& page, const QString& kept) {
            QTest::newRow(name) << page << kept;
        };
        row("plain formatting",
            u"<H2 align=center>Kestrel</H2><P><B>Free</B> &amp; <A href=\"http://example.com/?a=1&amp;b=2\">"
            u"fast</A><table border=1><tr><td colspan=2>x<td>y</table><ul><li>z</ul><font color=#cc0000>r"_s,
            u"<h2 align=\"center\">Kestrel</h2>|<p><b>Free</b> &amp; <a href=\"http://example.com/?a=1&amp;"
            u"b=2\">fast</a></p>|<table border=\"1\"><tr><td colspan=\"2\">x</td><td>y</td></tr></table>|"
            u"<ul><li>z</li></ul>|<font color=\"#cc0000\">r</font>"_s);
        row("pictures in every form",
            u"<img src=\"file:///etc/hostname\"><IMG SRC=/etc/hostname><img "
            u"src='//host/x.png'><img/src=x.png>"
            u"<img\nsrc=x.png><input type=image src=x.png><table background=\"/x.png\"><tr><td background ="
            u" 'x.png'>cell</td></tr></table><p style=\"background-image:url(x.png)\">framed</p>"_s,
            u"<td>cell</td>|<p>framed</p>"_s);
        row("style sheets, scripts and embedded content",
            u"<link rel=stylesheet href=/x.css><STYLE>@import url(/x.css);</style><script>document.write("
            u"'<img src=x.png>')</script><object data=x.swf><embed src=x.swf></object><iframe src=x.html>"
            u"<img src=x.png></iframe><svg><image href=x.png /></svg><!-- <img src=x.png> -->shown"_s,
            u"shown"_s);
        row("tags hidden by quotes and stray brackets",
            u"<a title=\"a><img src=x.png>\" href=\"http://example.com/\">t</a><<img src=x.png>>"
            u"<font face=\"Arial\" style=\"background:url(x.png)\">f</font>"_s,
            u"<a href=\"http://example.com/\">t</a>|&lt;&gt;|<font face=\"Arial\">f</font>"_s);
        row("tables nested 40 deep", u"<table><tr><td>"_s.repeated(40) + u"deep"_s, u"deep"_s);
        row("table of 4,000 x 50 cells",
            u"<table>"_s + (u"<tr>"_s + u"<td>c</td>"_s.repeated(50)).repeated(4000), u"<td>c</td>"_s);
        row("lists nested 1,000 deep", u"<ul><li>item"_s.repeated(1000), u"<ul><li>item"_s);
        row("20,000 line breaks, some preformatted",
            u"x<br>"_s.repeated(20000) + u"<pre>"_s + u"y\r\n"_s.repeated(20000), u"x<br>x"_s);
        row("2 MB of text", u"some text "_s.repeated(200 * 1024), u"some text"_s);
        row("quotes inside an accepted value",
            u"<a href='http://example.com/\" style=\"background:url(x.png)\"'>q</a>"_s,
            u"<a href=\"http://example.com/&quot; style=&quot;background:url(x.png)&quot;\">q</a>"_s);
        row("elements open as deep as allowed, then more text than fits",
            u"<b>"_s.repeated(MarkupBounds::MaxOpenElements) + u"bold "_s.repeated(4000), u"<b><b>bold"_s);
        row("2 MB word", QString(2 * 1024 * 1024, u'w'), u"www"_s);
        row("200 KB of accents on one letter", u"a"_s + QString(200 * 1024, QChar(0x301)), u"a\u0301"_s);
    }

    void sanitised()
    {
        QFETCH(QString, page);
        QFETCH(QString, kept);
        const QString markup = AdvertisementMarkup::sanitised(page);
        for (const QString& piece : kept.split(u'|'))
            QVERIFY2(markup.contains(piece), qPrintable(piece + u" missing from "_s + markup.left(2000)));
        const QString fault = MarkupForm::fault(markup);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QVERIFY2(!markup.contains(u"/etc/"_s) && !markup.contains(u"//host"_s), qPrintable(markup));
        QCOMPARE(AdvertisementMarkup::sanitised(markup), markup);
        QVERIFY(markup.size() <= MarkupBounds::MaxMarkup);
        QVERIFY(nesting(markup, u"table"_s).first <= MarkupBounds::MaxTableDepth);
        QVERIFY(nesting(markup, u"ul|ol|dl"_s).first <= MarkupBounds::MaxListDepth);
        QVERIFY(nesting(markup, u"td|th"_s).second <= MarkupBounds::MaxTableCells);
        QVERIFY(markup.count(u"<br"_s) + markup.count(u'\n') <= MarkupBounds::MaxLineBreaks);

        // Laid out and drawn, the document asks for nothing.
        ResourceSpy document;
        document.setHtml(markup);
        document.setTextWidth(497);
        QImage canvas(497, 73, QImage::Format_RGB32);
        QPainter painter(&canvas);
        document.drawContents(&painter);
        QCOMPARE(document.requests, 0);
        // Neither a word nor a pile of accents grows past what the line breaker and shaper handle quickly.
        const QString text = document.toPlainText();
        QVERIFY(!text.contains(QRegularExpression(
            u"[^\\s\u200B]{%1}"_s.arg(MarkupBounds::MaxUnbrokenRun + MaxCombiningMarks + 1))));
        QVERIFY(!text.contains(QRegularExpression(u"\\p{M}{%1}"_s.arg(MaxCombiningMarks + 1))));
    }
};

QTEST_MAIN(tst_AdvertisementMarkup)
#include "tst_advertisementmarkup.moc"
