#include "Browser.h"
#include "ListViewAdapter.h"
#include "SearchController.h"
#include "SearchHost.h"

#include <QtTest>

#include <functional>
#include <optional>

namespace {

const QString Base = QStringLiteral("http://192.0.2.99:8047");

class FakeBrowser : public Browser
{
public:
    void Navigate(const QUrl& url) override
    {
        navigations.append(url.toString());
        // A load started over one in flight would drop that one unreported.
        startedOverALoad = startedOverALoad || inFlight.has_value();
        inFlight = url;
    }
    void Stop() override
    {
        ++stops;
        inFlight.reset();
    }
    QByteArrayView BodyHtml() const override { return body; }
    bool LoadFailed() const override { return failed; }
    QString LoadError() const override { return failed ? QStringLiteral("failed") : QString(); }

    QStringList navigations;
    int stops = 0;
    std::optional<QUrl> inFlight;
    bool startedOverALoad = false;
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
    void randomInterleavings();

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

namespace {

// What is wrong with a status line's history, or nothing: each search writes its progress texts in page
// order from page 0, then ends with the halt text, or after the last page with the halt and completion
// texts; a new search may start at any point.
QString statusHistoryProblem(const QStringList& texts)
{
    int nextPage = -1; // -1: no search under way
    bool completionMayFollow = false;
    for (const QString& text : texts) {
        if (text == SearchController::progressText(0)) {
            nextPage = 1;
            completionMayFollow = false;
        } else if (nextPage > 0 && text == SearchController::progressText(nextPage)) {
            ++nextPage;
        } else if (nextPage > 0 && text == SearchController::HaltedText) {
            completionMayFollow = nextPage == SearchController::PageCount;
            nextPage = -1;
        } else if (completionMayFollow && text.startsWith(SearchController::CompleteText)) {
            completionMayFollow = false;
        } else {
            return QStringLiteral("unexpected \"%1\" in %2").arg(text, texts.join(QStringLiteral(" | ")));
        }
    }
    return {};
}

} // namespace

void tst_SearchController::randomInterleavings()
{
    // Button presses, page ends (loaded, failed, and stale ones with no load in flight) and the window's
    // close, at the top level and during the yield, in random order. Each search's pages hold one row
    // that names the search and the page, so the list can be checked against what was loaded.
    const quint32 firstSeed = QRandomGenerator::global()->generate();
    for (quint32 run = 0; run < 1000; ++run) {
        const quint32 seed = firstSeed + run;
        QRandomGenerator random(seed);
        FakeHost host;
        SearchController search(host, Base);
        int searchNumber = 0;
        QList<int> loadedPages; // of the current search
        int failedPages = 0;
        bool closed = false;

        auto click = [&] {
            if (host.caption == SearchController::StartCaption) {
                ++searchNumber;
                loadedPages.clear();
                failedPages = 0;
            }
            search.cmdStart_Click();
        };
        auto close = [&] {
            closed = true;
            search.Form_Unload();
        };

        for (int step = 0; step < 60; ++step) {
            const QString where = QStringLiteral("seed %1, step %2").arg(seed).arg(step);
            const int event = random.bounded(closed ? 1 : 4);
            const QStringList textsBefore = host.statusTexts;
            if (event == 0 && !host.web.inFlight && search.state().halted) {
                // A late report of a load that was stopped changes nothing.
                const QStringList navigationsBefore = host.web.navigations;
                const qsizetype rowsBefore = host.list.model().size();
                search.Web_DocumentComplete();
                QVERIFY2(host.statusTexts == textsBefore && host.web.navigations == navigationsBefore
                        && host.list.model().size() == rowsBefore,
                    qPrintable(where));
            } else if (event <= 1 && host.web.inFlight) {
                const int page = search.state().pageIndex;
                QVERIFY2(*host.web.inFlight == QUrl(pageAddress(page)), qPrintable(where));
                host.web.failed = random.bounded(4) == 0;
                host.web.body
                    = QStringLiteral("<TR align=middle>\r\n<TD>s%1p%2</TD>\r\n<TD>80</TD>\r\n<TD>t</TD>\r\n"
                                     "<TD>c</TD>\r\n")
                          .arg(searchNumber)
                          .arg(page)
                          .toUtf8();
                if (host.web.failed)
                    ++failedPages;
                else
                    loadedPages.append(page);
                host.web.inFlight.reset();
                const int duringYield = random.bounded(6);
                if (duringYield == 0)
                    host.duringYield = click;
                else if (duringYield == 1)
                    host.duringYield = close;
                const bool lastPage = page == SearchController::PageCount - 1 && duringYield > 1;
                search.Web_DocumentComplete();
                host.duringYield = nullptr;
                if (lastPage)
                    QVERIFY2(host.statusTexts.last() == SearchController::completionText(failedPages),
                        qPrintable(where));
            } else if (event == 2) {
                click();
            } else if (event == 3) {
                close();
            }

            QVERIFY2(!host.web.startedOverALoad, qPrintable(where));
            const QString history = statusHistoryProblem(host.statusTexts);
            QVERIFY2(history.isEmpty(), qPrintable(where + u' ' + history));
            if (closed) {
                QVERIFY2(search.state().halted && !host.web.inFlight, qPrintable(where));
                continue;
            }
            if (searchNumber == 0) {
                // Before the first search nothing is halted, and nothing runs either.
                QVERIFY2(
                    host.caption == SearchController::StartCaption && !host.web.inFlight, qPrintable(where));
                continue;
            }
            QVERIFY2(
                (host.caption == SearchController::StopCaption) == !search.state().halted, qPrintable(where));
            // A search under way always has its current page loading.
            QVERIFY2(search.state().halted || host.web.inFlight, qPrintable(where));
            QStringList expectedRows;
            for (int page : loadedPages)
                expectedRows.append(QStringLiteral("s%1p%2").arg(searchNumber).arg(page));
            QVERIFY2(addresses(host.list) == expectedRows, qPrintable(where));
        }
    }
}

QTEST_GUILESS_MAIN(tst_SearchController)
#include "tst_searchcontroller.moc"
