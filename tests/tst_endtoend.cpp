// The headless search against the stand-in list site, both as the programs that users run.
#include "ListPages.h"
#include "TestHttpServer.h"

#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QtTest>

#include <memory>

class tst_EndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyRowOfTheSevenPagesInOrder_data();
    void everyRowOfTheSevenPagesInOrder();
    void escapesAndUtf8();
    void closedPortFailsEveryPageQuickly();
    void usageErrors_data();
    void usageErrors();

private:
    struct Run
    {
        int exitCode = -1;
        QByteArray out;
        QStringList status;
    };
    static Run search(const QStringList& arguments);

    ListSiteOptions m_options;
    std::unique_ptr<QProcess> m_site;
    QString m_base;
};

tst_EndToEnd::Run tst_EndToEnd::search(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(TARNWICK_SEARCH), arguments);
    Run run;
    if (!process.waitForFinished(60000))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.status = QString::fromUtf8(process.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    return run;
}

void tst_EndToEnd::initTestCase()
{
    m_options.rows = 40;
    m_options.seed = 11;
    m_site = std::make_unique<QProcess>();
    m_site->start(QStringLiteral(TARNWICK_LISTSITE),
        { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--rows"),
            QString::number(m_options.rows), QStringLiteral("--seed"), QString::number(m_options.seed) });
    QVERIFY(m_site->waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(m_site->canReadLine(), 10000);
    const QByteArray line = m_site->readLine().trimmed();
    QVERIFY2(line.startsWith("port "), line.constData());
    m_base = QStringLiteral("http://127.0.0.1:") + QString::fromLatin1(line.mid(5));
}

void tst_EndToEnd::cleanupTestCase()
{
    if (!m_site)
        return;
    m_site->terminate();
    QVERIFY(m_site->waitForFinished(10000));
    QCOMPARE(m_site->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_site->exitCode(), 0);
}

void tst_EndToEnd::everyRowOfTheSevenPagesInOrder_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("siteSuffix");
    QTest::newRow("tsv") << QStringLiteral("tsv") << QString();
    QTest::newRow("plain, trailing slash") << QStringLiteral("plain") << QStringLiteral("/");
}

void tst_EndToEnd::everyRowOfTheSevenPagesInOrder()
{
    QFETCH(QString, format);
    QFETCH(QString, siteSuffix);
    // What the site lists, page by page, with a key listed before skipped.
    QStringList expected;
    QSet<QString> keys;
    int repeats = 0;
    for (const auto& page : listRows(m_options)) {
        for (const ListRow& row : page) {
            const QString key = QString::fromStdString(row.key());
            if (keys.contains(key)) {
                ++repeats;
                continue;
            }
            keys.insert(key);
            expected.append(format == u"plain"
                    ? key
                    : QStringList { QString::fromStdString(row.address), QString::number(row.port),
                        QString::fromStdString(row.type), QString::fromStdString(row.country) }
                          .join(u'\t'));
        }
    }
    QVERIFY(repeats > 0);

    const Run run
        = search({ QStringLiteral("--site"), m_base + siteSuffix, QStringLiteral("--format"), format });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts), expected);
    QCOMPARE(run.status,
        QStringList({ "Downloading Pages 0-1", "Downloading Pages 1-2", "Downloading Pages 2-3",
            "Downloading Pages 3-4", "Downloading Pages 4-5", "Downloading Pages 5-6",
            "Downloading Pages 6-7", "Download Halted", "Download Complete" }));
}

void tst_EndToEnd::escapesAndUtf8()
{
    // Our own server in this process, so the search runs beside the test's event loop.
    TestHttpServer server;
    QVERIFY(server.listen());
    const QByteArray row
        = "<TR align=middle>\r\n<TD>192.0.2.1</TD>\r\n<TD>80</TD>\r\n<TD>a\tb\\c\nd\re</TD>\r\n"
          "<TD>C\xc3\xb4te d\xe2\x80\x99Ivoire \xe2\x82\xac \xf0\x9d\x84\x9e</TD>\r\n</TR>\r\n";
    server.setPage(
        QStringLiteral("/proxy_list.php?showpage=0"), "<body>" + row + "</body>", "text/html; charset=utf-8");
    for (int page = 1; page < 7; ++page)
        server.setPage(QStringLiteral("/proxy_list.php?showpage=%1").arg(page), "<body></body>");

    QProcess process;
    process.start(QStringLiteral(TARNWICK_SEARCH), { QStringLiteral("--site"), server.base() });
    QSignalSpy finished(&process, &QProcess::finished);
    QVERIFY(finished.wait(60000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardOutput(),
        QByteArray("192.0.2.1\t80\ta\\tb\\\\c\\nd\\re\t"
                   "C\xc3\xb4te d\xe2\x80\x99Ivoire \xe2\x82\xac \xf0\x9d\x84\x9e\n"));
}

void tst_EndToEnd::closedPortFailsEveryPageQuickly()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const QString base = QStringLiteral("http://127.0.0.1:") + QString::number(closed.serverPort());
    closed.close();
    QElapsedTimer timer;
    timer.start();
    const Run run = search({ QStringLiteral("--site"), base });
    QCOMPARE(run.exitCode, 3);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(run.status.last(), QStringLiteral("Download Complete (7 of 7 pages failed)"));
    // Refused connections fail at once; nothing waits for the page timeout.
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
}

void tst_EndToEnd::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown format") << QStringList { "--format", "csv" };
    QTest::newRow("unknown option") << QStringList { "--colour" };
    QTest::newRow("bad timeout") << QStringList { "--timeout", "soon" };
    QTest::newRow("not an http address") << QStringList { "--site", "ftp://127.0.0.1/" };
    QTest::newRow("stray argument") << QStringList { "extra" };
}

void tst_EndToEnd::usageErrors()
{
    QFETCH(QStringList, arguments);
    const Run run = search(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY(!run.status.isEmpty());
}

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
