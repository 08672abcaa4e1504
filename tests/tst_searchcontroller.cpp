#include "Loader.h"
#include "ProxyTableModel.h"
#include "SearchController.h"
#include "SearchHost.h"
#include "TableRows.h"

#include <QtTest>

#include <algorithm>
#include <functional>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString Base = u"http://192.0.2.99:8047"_s;

class FakeLoader : public Loader
{
public:
    void Navigate(const QUrl& url) override
    {
        navigations.append(url.toString());
        // A load started over one in flight would drop that one unreported.
        startedOverALoad = startedOverALoad || inFlight.has_value();
        inFlight = url;
    }
    void Stop() override { inFlight.reset(); }
    QByteArrayView bodyHtml() const override { return body; }
    bool loadFailed() const override { return failed; }
    QString loadError() const override { return failed ? u"failed"_s : QString(); }

    QStringList navigations;
    std::optional<QUrl> inFlight;
    bool startedOverALoad = false;
    QByteArray body;
    bool failed = false;
};

class FakeHost : public SearchHost
{
public:
    QString caption() const override { return buttonCaption; }
    void setCaption(const QString& text) override { buttonCaption = text; }
    void setStatusText(const QString& text) override { statusTexts.append(text); }
    ResultList& list() override { return table; }
    Loader& Web() override { return web; }
    void pageFailed(qint16 pageIndex, const QUrl& url, const QString& reason) override
    {
        failures.append(QString::number(pageIndex) + u' ' + url.toString() + u' ' + reason);
    }
    void searchCompleted(const SearchSummary& summary) override { summaries.append(summary); }
    void processEvents() override
    {
        // Events queued while the page was cut run here, once.
        if (auto pending = std::exchange(duringYield, nullptr))
            pending();
    }

    QString buttonCaption = SearchController::StartCaption;
    QStringList statusTexts;
    QStringList failures;
    QList<SearchSummary> summaries;
    ProxyTableModel table;
    FakeLoader web;
    std::function<void()> duringYield;
};

// A row of three cells, then two rows, one key shared by every page.
QString page(int index)
{
    return u"<TABLE>\r\n<TR align=middle>\r\n<TD>203.0.113.9</TD>\r\n<TD>80</TD>\r\n"_s
        + TableRows::html(u"192.0.2.%1|80|anonymous|Germany"_s.arg(index + 1))
        + TableRows::html(u"198.51.100.1|80|anonymous|Germany"_s) + u"</TABLE>"_s;
}

QString pageAddress(int index)
{
    return Base + u"/proxy_list.php?showpage="_s + QString::number(index);
}

} // namespace

class tst_SearchController : public QObject
{
    Q_OBJECT

private slots:
    void wholeSearch();
    void toggleFollowsTheCaptionAlone_data();
    void toggleFollowsTheCaptionAlone();
    void randomInterleavings();
    void longPagePausesWhileCut_data();
    void longPagePausesWhileCut();
};

void tst_SearchController::wholeSearch()
{
    FakeHost host;
    SearchController search(host, Base + u'/');
    // Twice: a new search starts counting afresh. Pages 2 and 5 fail on the first run only. The random
    // interleavings check the pages asked for and the progress texts.
    for (int run = 0; run < 2; ++run) {
        search.cmdStart_Click();
        for (int i = 0; i < SearchController::PageCount; ++i) {
            host.web.failed = run == 0 && (i == 2 || i == 5);
            host.web.body = page(i).toUtf8();
            search.Web_DocumentComplete();
        }
        const int failed = run == 0 ? 2 : 0;
        QCOMPARE(host.statusTexts.last(), SearchController::completionText(failed));
        QCOMPARE(host.buttonCaption, SearchController::StartCaption);
        QCOMPARE(host.summaries.size(), run + 1);
        // Each page holds a short row and a key every page shares; a failed page adds nothing.
        const SearchSummary& summary = host.summaries.last();
        QCOMPARE(
            QList<qsizetype>({ summary.failedPages, summary.rows, summary.duplicates, summary.shortRows }),
            QList<qsizetype>({ failed, 8 - failed, 6 - failed, 7 - failed }));
    }
    QCOMPARE(TableRows::shown(host.table, { 0 }),
        QStringList({ "192.0.2.1", "198.51.100.1", "192.0.2.2", "192.0.2.3", "192.0.2.4", "192.0.2.5",
            "192.0.2.6", "192.0.2.7" }));
    QCOMPARE(
        host.failures, QStringList({ "2 " + pageAddress(2) + " failed", "5 " + pageAddress(5) + " failed" }));
    QCOMPARE(SearchController::completionText(2), SearchController::CompleteText + " (2 of 7 pages failed)");
}

void tst_SearchController::toggleFollowsTheCaptionAlone_data()
{
    QTest::addColumn<QString>("caption");
    QTest::newRow("other letter case") << SearchController::StartCaption.toLower();
    QTest::newRow("trailing space") << SearchController::StartCaption + u' ';
}

// Only the start caption starts a search; any other reads as the stop caption.
void tst_SearchController::toggleFollowsTheCaptionAlone()
{
    QFETCH(QString, caption);
    FakeHost host;
    host.buttonCaption = caption;
    SearchController search(host, Base);
    search.cmdStart_Click();
    QVERIFY(host.web.navigations.isEmpty());
    QCOMPARE(host.statusTexts.last(), SearchController::HaltedText);
    QCOMPARE(host.buttonCaption, SearchController::StartCaption);
}

namespace {

// What is wrong with a status line's history, or nothing: each search writes its progress texts in page
// order from page 0, then ends with the halt text, or after the last page with the halt and completion
// texts; a new search starts only once the last one has ended.
QString statusHistoryProblem(const QStringList& texts)
{
    int nextPage = -1; // -1: no search under way
    bool completionMayFollow = false;
    for (const QString& text : texts) {
        if (nextPage < 0 && text == SearchController::progressText(0)) {
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
            return u"unexpected \"%1\" in %2"_s.arg(text, texts.join(u" | "_s));
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
            if (host.buttonCaption == SearchController::StartCaption) {
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
            const QString where = u"seed %1, step %2"_s.arg(seed).arg(step);
            const int event = random.bounded(closed ? 1 : 4);
            if (event == 0 && !host.web.inFlight && search.state().halted) {
                // A late report of a load that was stopped; the checks below find anything it changed.
                search.Web_DocumentComplete();
            } else if (event <= 1 && host.web.inFlight) {
                const int page = search.state().pageIndex;
                QVERIFY2(*host.web.inFlight == QUrl(pageAddress(page)), qPrintable(where));
                host.web.failed = random.bounded(4) == 0;
                host.web.body = TableRows::html(u"s%1p%2|80|a|b"_s.arg(searchNumber).arg(page)).toUtf8();
                if (host.web.failed)
                    ++failedPages;
                else
                    loadedPages.append(page);
                host.web.inFlight.reset();
                const int duringYield = random.bounded(6);
                host.duringYield = duringYield == 0 ? click
                    : duringYield == 1              ? close
                                                    : std::function<void()>();
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
                QVERIFY2(host.buttonCaption == SearchController::StartCaption && !host.web.inFlight,
                    qPrintable(where));
                continue;
            }
            QVERIFY2((host.buttonCaption == SearchController::StopCaption) == !search.state().halted,
                qPrintable(where));
            // A search under way always has its current page loading.
            QVERIFY2(search.state().halted || host.web.inFlight, qPrintable(where));
            QStringList expectedRows;
            for (int page : loadedPages)
                expectedRows.append(u"s%1p%2"_s.arg(searchNumber).arg(page));
            QVERIFY2(TableRows::shown(host.table, { 0 }) == expectedRows, qPrintable(where));
        }
    }
}

QTEST_GUILESS_MAIN(tst_SearchController)
#include "tst_searchcontroller.moc"

void tst_SearchController::longPagePausesWhileCut_data()
{
    QTest::addColumn<QString>("duringPause");
    QTest::newRow("nothing") << u"nothing"_s;
    QTest::newRow("halt") << u"halt"_s;
    QTest::newRow("new search") << u"new search"_s;
    QTest::newRow("close") << u"close"_s;
    QTest::newRow("sort") << u"sort"_s;
}

// A long page is cut in stretches with a yield between them; what happens in the first one decides
// whether the rest of the page is cut.
void tst_SearchController::longPagePausesWhileCut()
{
    QFETCH(QString, duringPause);
    FakeHost host;
    SearchController search(host, Base);
    search.setCutStretch(std::chrono::nanoseconds(0));
    search.cmdStart_Click();
    QString body;
    for (int row = 0; row < 3000; ++row)
        body += TableRows::html(u"192.0.2.1|%1|a|b"_s.arg(row + 1));
    host.web.body = body.toUtf8();
    int shownAtPause = -1;
    host.duringYield = [&] {
        shownAtPause = host.table.rowCount();
        if (duringPause == u"halt" || duringPause == u"new search")
            search.cmdStart_Click();
        if (duringPause == u"new search")
            search.cmdStart_Click();
        if (duringPause == u"close")
            search.Form_Unload();
        if (duringPause == u"sort")
            host.table.sort(1, Qt::DescendingOrder);
    };
    search.Web_DocumentComplete();

    // The rows cut before the pause were shown before it.
    QCOMPARE(shownAtPause, 1023);
    if (duringPause == u"nothing") {
        QCOMPARE(host.table.rowCount(), 3000);
        QCOMPARE(host.web.navigations.last(), pageAddress(1));
    } else if (duringPause == u"sort") {
        // The rows cut before the pause in their sorted places, the rest below them in page order.
        QStringList ports;
        for (int row = 1023; row >= 1; --row)
            ports << QString::number(row);
        ports.sort();
        std::reverse(ports.begin(), ports.end());
        for (int row = 1024; row <= 3000; ++row)
            ports << QString::number(row);
        QCOMPARE(TableRows::shown(host.table, { 1 }), ports);
    } else if (duringPause == u"new search") {
        // The old page's rest never reaches the new search's list.
        QCOMPARE(host.table.size(), 0);
        QCOMPARE(host.web.navigations, QStringList({ pageAddress(0), pageAddress(0) }));
        QCOMPARE(host.statusTexts.last(), SearchController::progressText(0));
    } else {
        QCOMPARE(host.table.rowCount(), 1023);
        QCOMPARE(host.table.size(), 1023);
        QCOMPARE(host.web.navigations, QStringList({ pageAddress(0) }));
        QVERIFY(search.state().halted);
    }
}
