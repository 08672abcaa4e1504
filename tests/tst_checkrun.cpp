#include "CheckRun.h"
#include "FakeCheckRun.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class tst_CheckRun : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
    void cancel_data();
    void cancel();
};

void tst_CheckRun::run_data()
{
    QTest::addColumn<QString>("networks"); // null: no guard
    QTest::addColumn<QString>("judge");
    QTest::addColumn<int>("forcedKind"); // -1: none
    QTest::addColumn<QStringList>("addresses"); // checked as http, socks4, socks5, http, ...
    QTest::addColumn<QStringList>("reasons"); // the run's own refusals; "fake: ..." where the engine checked

    const QString none;
    const QString judge = u"http://127.0.0.1:9/judge"_s;
    const QString reserved = CheckNetworks::ReservedAddress.toString();
    const QString outside = CheckNetworks::OutsideNetworks.toString();
    const auto fake = [](const QString& kind) {
        return u"fake: %1 5000 ms 64 at once http://127.0.0.1:9/judge"_s.arg(kind);
    };

    QTest::newRow("no rows") << none << judge << -1 << QStringList() << QStringList();
    QTest::newRow("no guard: reserved refused, names and loopback checked")
        << none << judge << -1 << QStringList { u"127.0.0.1"_s, u"192.0.2.1"_s, u"proxy.example"_s, u"::1"_s }
        << QStringList { fake(u"http"_s), reserved, fake(u"socks5"_s), fake(u"http"_s) };
    QTest::newRow("guard: outside and names refused")
        << u"127.0.0.0/9"_s << judge << -1
        << QStringList { u"127.0.0.1"_s, u"127.200.0.1"_s, u"proxy.example"_s, u"203.0.113.9"_s }
        << QStringList { fake(u"http"_s), outside, outside, reserved };
    QTest::newRow("forced kind") << none << judge << int(ProxyKind::Socks4a)
                                 << QStringList { u"127.0.0.1"_s, u"127.0.0.2"_s, u"127.0.0.3"_s }
                                 << QStringList { fake(u"socks4"_s), fake(u"socks4"_s), fake(u"socks4"_s) };
    QTest::newRow("judge reserved: no row checked")
        << none << u"http://192.0.2.1/judge"_s << -1 << QStringList { u"127.0.0.1"_s, u"127.0.0.2"_s }
        << QStringList { reserved, reserved };
    QTest::newRow("judge a name under a guard: no row checked")
        << u"127.0.0.0/8"_s << u"http://localhost:9/judge"_s << -1 << QStringList { u"127.0.0.1"_s }
        << QStringList { outside };
}

void tst_CheckRun::run()
{
    QFETCH(QString, networks);
    QFETCH(QString, judge);
    QFETCH(int, forcedKind);
    QFETCH(QStringList, addresses);
    QFETCH(QStringList, reasons);
    CheckOptions options;
    options.judge = QUrl(judge);
    options.networks = networks.isNull() ? CheckNetworks() : CheckNetworks::parse(networks);
    if (forcedKind >= 0)
        options.forcedKind = ProxyKind(forcedKind);
    QList<CheckRow> rows;
    for (qsizetype i = 0; i < addresses.size(); ++i)
        rows.append({ addresses[i], 9, ProxyKind(i % 3) });

    FakeCheckRun run(options);
    QList<QString> results(rows.size());
    QList<qsizetype> order;
    connect(&run, &CheckRun::checked, this, [&](qsizetype index, const CheckResult& result) {
        QVERIFY(results.value(index).isNull());
        results[index] = result.reason;
        order.append(index);
    });
    QSignalSpy progress(&run, &CheckRun::progress);
    QSignalSpy finished(&run, &CheckRun::finished);
    run.start(rows);
    // Nothing comes from inside start().
    QCOMPARE(order.size() + progress.size() + finished.size(), 0);
    QVERIFY(finished.wait(10000));

    QCOMPARE(QStringList(results), reasons);
    QCOMPARE(progress.size(), qMax<qsizetype>(rows.size(), 1));
    QCOMPARE(progress.last(), (QVariantList { rows.size(), rows.size() }));
    for (qsizetype i = 0; i < progress.size(); ++i)
        QCOMPARE(progress[i][0].value<qsizetype>(), rows.isEmpty() ? 0 : i + 1);
    // The engine got exactly the rows the run did not refuse, in row order.
    QList<qsizetype> checked;
    for (qsizetype i = 0; i < reasons.size(); ++i) {
        if (reasons[i].startsWith(u"fake: "))
            checked.append(i);
    }
    QCOMPARE(run.asked, checked);
    QCoreApplication::processEvents();
    QCOMPARE(finished.size(), 1);
}

void tst_CheckRun::cancel_data()
{
    QTest::addColumn<int>("cancelAfter"); // rows reported before cancel(); -1 before the event loop runs
    QTest::addColumn<bool>("stopped");
    QTest::newRow("before the event loop") << -1 << false;
    QTest::newRow("after a refused row") << 1 << false;
    QTest::newRow("after a checked row") << 2 << true;
}

void tst_CheckRun::cancel()
{
    QFETCH(int, cancelAfter);
    QFETCH(bool, stopped);
    CheckOptions options;
    options.judge = QUrl(u"http://127.0.0.1:9/judge"_s);
    FakeCheckRun run(options);
    QSignalSpy checked(&run, &CheckRun::checked);
    QSignalSpy finished(&run, &CheckRun::finished);
    connect(&run, &CheckRun::checked, &run, [&] {
        if (checked.size() == cancelAfter)
            run.cancel();
    });
    run.start({ { u"192.0.2.1"_s, 1, ProxyKind::Http }, { u"127.0.0.1"_s, 1, ProxyKind::Http },
        { u"127.0.0.2"_s, 1, ProxyKind::Http } });
    if (cancelAfter < 0)
        run.cancel();
    // Every queued report runs, and is dropped.
    QTRY_COMPARE(run.asked.isEmpty() || run.stopped, true);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(checked.size(), qMax(cancelAfter, 0));
    QCOMPARE(run.stopped, stopped);
    QCOMPARE(run.asked.isEmpty(), !stopped);
    QCOMPARE(finished.size(), 0);
}

QTEST_GUILESS_MAIN(tst_CheckRun)
#include "tst_checkrun.moc"
