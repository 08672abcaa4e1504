#include "Browser.h"
#include "ListViewAdapter.h"
#include "SearchController.h"
#include "SearchHost.h"

#include <QtTest>

#include <functional>

namespace {

const QString Base = QStringLiteral("http://192.0.2.99:8047");

class FakeBrowser : public Browser
{
public:
    void Navigate(const QUrl& url) override { navigations.append(url.toString()); }
    void Stop() override { ++stops; }
    QByteArrayView BodyHtml() const override { return body; }
    bool LoadFailed() const override { return failed; }
    QString LoadError() const override { return failed ? QStringLiteral("failed") : QString(); }

    QStringList navigations;
    int stops = 0;
    QByteArray body;
    bool failed = false;
};

class FakeHost : public SearchHost
{
public:
    QString Caption() const override { return caption; }
    void SetCaption(const QString& text) override { caption = text; }
    void SetStatusText(const QString& text) override { statusTexts.append(text); }
    ResultList& List() override { return list; }
    Browser& Web() override { return web; }
    void PageFailed(qint16 pageIndex, const QUrl& url, const QString& reason) override
    {
        failures.append(QString::number(pageIndex) + u' ' + url.toString() + u' ' + reason);
    }
    void SearchCompleted(const SearchSummary& summary) override { summaries.append(summary); }
    void DoEvents() override
    {
        // Events queued while the page was cut run here, once.
        if (auto pending = std::exchange(duringYield, nullptr))
            pending();
    }

    QString caption = SearchController::StartCaption;
    QStringList statusTexts;
    QStringList failures;
    QList<SearchSummary> summaries;
    ListViewAdapter list;
    FakeBrowser web;
    std::function<void()> duringYield;
};

QString page(int index)
{
    // A row of three cells, then two rows, one key shared by every page.
    QString html
        = QStringLiteral("<TABLE>\r\n<TR align=middle>\r\n<TD>203.0.113.9</TD>\r\n<TD>80</TD>\r\n</TR>\r\n");
    for (const QString& address :
        { QStringLiteral("192.0.2.%1").arg(index + 1), QStringLiteral("198.51.100.1") })
        html += QStringLiteral("<TR align=middle>\r\n<TD>%1</TD>\r\n<TD>80</TD>\r\n<TD>anonymous</TD>\r\n"
                               "<TD>Germany</TD>\r\n</TR>\r\n")
                    .arg(address);
    return html + QStringLiteral("</TABLE>");
}

QString pageAddress(int index)
{
    return Base + QStringLiteral("/proxy_list.php?showpage=") + QString::number(index);
}

QStringList addresses(const ListViewAdapter& list)
{
    QStringList result;
    for (qsizetype row = 0; row < list.model().size(); ++row)
        result.append(list.model().cellText(row, 0));
    return result;
}

} // namespace

class tst_SearchController : public QObject
{
    Q_OBJECT

private slots:
    void wholeSearch();
    void failedPagesAreCountedNotHidden();
    void haltKeepsRowsAndIgnoresLatePages();
    void toggleFollowsTheCaptionAlone_data();
    void toggleFollowsTheCaptionAlone();
    void eventsDuringTheYield_data();
    void eventsDuringTheYield();
    void unload();

private:
    void completePage(SearchController& search, FakeHost& host, int index)
    {
        host.web.body = page(index).toUtf8();
        search.Web_DocumentComplete();
    }
};

void tst_SearchController::wholeSearch()
{
    FakeHost host;
    SearchController search(host, Base + u'/');
    search.cmdStart_Click();
    QCOMPARE(host.caption, SearchController::StopCaption);
    for (int i = 0; i < 7; ++i)
        completePage(search, host, i);

    QCOMPARE(host.statusTexts,
        QStringList({ "Downloading Pages 0-1", "Downloading Pages 1-2", "Downloading Pages 2-3",
            "Downloading Pages 3-4", "Downloading Pages 4-5", "Downloading Pages 5-6",
            "Downloading Pages 6-7", "Download Halted", "Download Complete" }));
    QStringList expectedPages;
    for (int i = 0; i < 7; ++i)
        expectedPages.append(pageAddress(i));
    QCOMPARE(host.web.navigations, expectedPages);
    QCOMPARE(addresses(host.list),
        QStringList({ "192.0.2.1", "198.51.100.1", "192.0.2.2", "192.0.2.3", "192.0.2.4", "192.0.2.5",
            "192.0.2.6", "192.0.2.7" }));
    QCOMPARE(host.caption, SearchController::StartCaption);
    QCOMPARE(search.state().pageIndex, 7);
    QVERIFY(search.state().halted);
    QCOMPARE(host.web.stops, 1);
}

void tst_SearchController::failedPagesAreCountedNotHidden()
{
    FakeHost host;
    SearchController search(host, Base);
    search.cmdStart_Click();
    for (int i = 0; i < 7; ++i) {
        host.web.failed = i == 2 || i == 5;
        completePage(search, host, i);
    }
    // A failed page is one of the seven and adds nothing; the end text says how many failed.
    QCOMPARE(host.web.navigations.size(), 7);
    QCOMPARE(host.list.model().size(), 6);
    QCOMPARE(host.statusTexts.last(), QStringLiteral("Download Complete (2 of 7 pages failed)"));
    QCOMPARE(
        host.failures, QStringList({ "2 " + pageAddress(2) + " failed", "5 " + pageAddress(5) + " failed" }));
    QCOMPARE(host.summaries.size(), 1);
    QCOMPARE(host.summaries[0].failedPages, 2);
    QCOMPARE(host.summaries[0].rows, 6);
    QCOMPARE(host.summaries[0].duplicates, 4);
    QCOMPARE(host.summaries[0].shortRows, 5);

    // A new search starts counting afresh.
    host.web.failed = false;
    search.cmdStart_Click();
    for (int i = 0; i < 7; ++i)
        completePage(search, host, i);
    QCOMPARE(host.statusTexts.last(), QStringLiteral("Download Complete"));
    QCOMPARE(host.summaries.size(), 2);
    QCOMPARE(host.summaries[1].failedPages, 0);
    QCOMPARE(host.summaries[1].rows, 8);
    QCOMPARE(host.summaries[1].duplicates, 6);
    QCOMPARE(host.summaries[1].shortRows, 7);
}

void tst_SearchController::haltKeepsRowsAndIgnoresLatePages()
{
    FakeHost host;
    SearchController search(host, Base);
    search.cmdStart_Click();
    completePage(search, host, 0);
    completePage(search, host, 1);
    search.cmdStart_Click();
    QCOMPARE(host.caption, SearchController::StartCaption);
    QCOMPARE(host.statusTexts.last(), QStringLiteral("Download Halted"));
    QCOMPARE(host.web.stops, 1);
    QCOMPARE(addresses(host.list), QStringList({ "192.0.2.1", "198.51.100.1", "192.0.2.2" }));
    QCOMPARE(search.state().pageIndex, 2);
    QVERIFY(host.summaries.isEmpty());

    // A page that still completes after the halt changes nothing.
    const QStringList textsBefore = host.statusTexts;
    const QStringList navigationsBefore = host.web.navigations;
    completePage(search, host, 5);
    QCOMPARE(host.statusTexts, textsBefore);
    QCOMPARE(host.web.navigations, navigationsBefore);
    QCOMPARE(host.list.model().size(), 3);
    QCOMPARE(search.state().pageIndex, 2);

    // Pressing again starts over with an empty list at page 0.
    search.cmdStart_Click();
    QCOMPARE(host.list.model().size(), 0);
    QCOMPARE(host.statusTexts.last(), QStringLiteral("Downloading Pages 0-1"));
    QCOMPARE(host.web.navigations.last(), pageAddress(0));
    QCOMPARE(search.state().pageIndex, 0);
    QVERIFY(!search.state().halted);
}

void tst_SearchController::toggleFollowsTheCaptionAlone_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("starts");
    QTest::newRow("start caption") << QStringLiteral("Search Proxy Servers") << true;
    QTest::newRow("stop caption") << QStringLiteral("Stop") << false;
    QTest::newRow("other letter case") << QStringLiteral("search proxy servers") << false;
    QTest::newRow("trailing space") << QStringLiteral("Search Proxy Servers ") << false;
    QTest::newRow("empty") << QString() << false;
}

void tst_SearchController::toggleFollowsTheCaptionAlone()
{
    QFETCH(QString, caption);
    QFETCH(bool, starts);
    FakeHost host;
    host.caption = caption;
    SearchController search(host, Base);
    search.cmdStart_Click();
    QCOMPARE(host.web.navigations.size(), starts ? 1 : 0);
    QCOMPARE(host.statusTexts.last(),
        starts ? QStringLiteral("Downloading Pages 0-1") : QStringLiteral("Download Halted"));
    QCOMPARE(host.caption, starts ? SearchController::StopCaption : SearchController::StartCaption);
}

void tst_SearchController::eventsDuringTheYield_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("event");
    for (int page : { 0, 3, 6 }) {
        for (const char* event : { "halt", "restart", "close" })
            QTest::addRow("%s after page %d", event, page) << page << QString::fromLatin1(event);
    }
}

void tst_SearchController::eventsDuringTheYield()
{
    QFETCH(int, page);
    QFETCH(QString, event);
    FakeHost host;
    SearchController search(host, Base);
    search.cmdStart_Click();
    for (int i = 0; i < page; ++i)
        completePage(search, host, i);

    host.duringYield = [&] {
        if (event == u"close") {
            search.Form_Unload();
        } else {
            search.cmdStart_Click();
            if (event == u"restart")
                search.cmdStart_Click();
        }
    };
    completePage(search, host, page);
    QVERIFY(!host.duringYield);

    // The step that yielded ends with the yield: no text, navigation or toggle of its own.
    if (event == u"halt") {
        QCOMPARE(host.statusTexts.last(), QStringLiteral("Download Halted"));
        QCOMPARE(host.caption, SearchController::StartCaption);
        QCOMPARE(host.web.navigations.size(), page + 1);
        QCOMPARE(search.state().pageIndex, page + 1);
        QVERIFY(search.state().halted);
    } else if (event == u"restart") {
        QCOMPARE(host.statusTexts.last(), QStringLiteral("Downloading Pages 0-1"));
        QCOMPARE(host.caption, SearchController::StopCaption);
        QCOMPARE(host.web.navigations.last(), pageAddress(0));
        QCOMPARE(host.web.navigations.size(), page + 2);
        QCOMPARE(search.state().pageIndex, 0);
        QCOMPARE(host.list.model().size(), 0);
        // The new search runs on normally.
        completePage(search, host, 0);
        QCOMPARE(host.statusTexts.last(), QStringLiteral("Downloading Pages 1-2"));
    } else {
        QCOMPARE(host.statusTexts.last(), SearchController::progressText(page));
        QCOMPARE(host.web.navigations.size(), page + 1);
        QVERIFY(search.state().halted);
    }
}

void tst_SearchController::unload()
{
    FakeHost host;
    SearchController search(host, Base);
    search.cmdStart_Click();
    completePage(search, host, 0);
    search.Form_Unload();
    QVERIFY(search.state().halted);
    QCOMPARE(host.web.stops, 1);
    QCOMPARE(host.caption, SearchController::StopCaption);

    const QStringList texts = host.statusTexts;
    completePage(search, host, 1);
    QCOMPARE(host.statusTexts, texts);
    QCOMPARE(host.web.navigations.size(), 2);
    QCOMPARE(host.list.model().size(), 2);
}

QTEST_GUILESS_MAIN(tst_SearchController)
#include "tst_searchcontroller.moc"
