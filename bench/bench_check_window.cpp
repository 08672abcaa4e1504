// The window's responsiveness while it checks 10,000 loopback proxies after a search: the longest single
// event-loop turn from Check All to "Check Complete", against the 16 ms goal. The stand-in site lists 1,000
// proxies that answer after 0 to 200 ms and 100 that never answer; 8,900 rows on loopback addresses where
// nothing listens (refused) are added to the list after the search. Checks go to loopback only.
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "ProxyRecord.h"
#include "TimedApplication.h"
#include "frmMain.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

int run(TimedApplication& app)
{
    QProcess site;
    site.start(QStringLiteral(TARNWICK_LISTSITE),
        { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--rows"), QStringLiteral("0"),
            QStringLiteral("--proxy-mix"), QStringLiteral("http-slow=1000,silent=100") });
    if (!site.waitForStarted() || !site.waitForReadyRead(30000))
        return 1;
    const QByteArray port = site.readLine().trimmed().mid(5);
    frmMain window(QStringLiteral("http://127.0.0.1:") + QString::fromLatin1(port));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    if (!searchToTheEnd(window, 120000))
        return 1;
    QLabel* status = window.findChild<QStatusBar*>(QStringLiteral("S"))->findChild<QLabel*>();

    // Addresses on 127.31.0.0/16 where nothing listens: each check is refused at once.
    ListViewAdapter& list = window.LV1();
    list.beginPage();
    for (int i = 0; i < 8900; ++i) {
        const QByteArray address
            = "127.31." + QByteArray::number(i / 250) + '.' + QByteArray::number(i % 250 + 1);
        list.Add(ProxyRecord { address, "9", "high anonymity", "Nowhere" });
    }
    list.endPage();
    const qsizetype rows = list.model().size();

    app.resetTurns();
    app.m_timing = true;
    QElapsedTimer whole;
    whole.start();
    window.checkAllRows();
    if (!runUntil([&] { return status->text().startsWith(QStringLiteral("Check Complete")); }, 300000))
        return 1;
    app.m_timing = false;
    std::printf("checking %lld rows in the window: %.1f s, %s\n", static_cast<long long>(rows),
        double(whole.elapsed()) / 1000, qPrintable(status->text()));
    std::printf("longest event-loop turn while checking: %.1f ms (goal <= 16 ms; %s)\n", app.m_longest,
        qPrintable(app.m_longestWhat));
    site.terminate();
    site.waitForFinished();
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A benchmark checks loopback only.
    qputenv("TARNWICK_CHECK_NETWORKS", "127.0.0.0/8,::1/128");
    TimedApplication app(argc, argv);
    return run(app);
}
