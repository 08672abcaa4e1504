// The headless search against the stand-in list site, both as the programs that users run. The output
// formats are read back by tst_searchoutput.py.
#include "ListPages.h"

#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QtTest>

#include <memory>

#include <csignal>
#include <unistd.h>

class tst_EndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyRowOfTheSevenPagesInOrder_data();
    void everyRowOfTheSevenPagesInOrder();
    void closedPortFailsEveryPageQuickly();
    void helpAndVersion();
    void usageErrors_data();
    void usageErrors();
    void outputFailures_data();
    void outputFailures();

private:
    struct Run
    {
        int exitCode = -1;
        QByteArray out;
        QStringList status;
        QStringList diagnostics; // the status lines that start with the program's name
    };
    static Run search(const QStringList& arguments);
    static Run finish(QProcess& process);

    ListSiteOptions m_options;
    std::unique_ptr<QProcess> m_site;
    QString m_base;
};

tst_EndToEnd::Run tst_EndToEnd::search(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(TARNWICK_SEARCH), arguments);
    return finish(process);
}

tst_EndToEnd::Run tst_EndToEnd::finish(QProcess& process)
{
    Run run;
    if (!process.waitForFinished(60000))
        return run;
    // -1 for a process ended by a signal.
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.status = QString::fromUtf8(process.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString& line : run.status) {
        if (line.startsWith(u"tarnwick-search: "))
            run.diagnostics.append(line);
    }
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
            "Downloading Pages 6-7", "Download Halted", "Download Complete",
            QStringLiteral("tarnwick-search: %1 rows (%2 repeated keys and 0 short rows skipped)")
                .arg(expected.size())
                .arg(repeats) }));
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
    // Each progress text is followed by why its page failed; the count comes last.
    QCOMPARE(run.status.size(), 7 * 2 + 3);
    for (int page = 0; page < 7; ++page) {
        QCOMPARE(run.status[2 * page], QStringLiteral("Downloading Pages %1-%2").arg(page).arg(page + 1));
        const QString failed = QStringLiteral("tarnwick-search: page %1 (%2/proxy_list.php?showpage=%1): ")
                                   .arg(QString::number(page), base);
        QVERIFY2(
            run.status[2 * page + 1].startsWith(failed) && run.status[2 * page + 1].size() > failed.size(),
            qPrintable(run.status[2 * page + 1]));
    }
    QCOMPARE(run.status.mid(14),
        QStringList({ "Download Halted", "Download Complete (7 of 7 pages failed)",
            "tarnwick-search: 0 rows (0 repeated keys and 0 short rows skipped)" }));
    // Refused connections fail at once; nothing waits for the page timeout.
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
}

void tst_EndToEnd::helpAndVersion()
{
    const Run version = search({ QStringLiteral("--version") });
    QCOMPARE(version.exitCode, 0);
    QCOMPARE(version.out, QByteArray("tarnwick-search 1.00\n"));
    const Run help = search({ QStringLiteral("--help") });
    QCOMPARE(help.exitCode, 0);
    QVERIFY(help.out.contains("  4  every page loaded but none held a row\n"));
}

void tst_EndToEnd::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown option") << QStringList { "--bogus" } << "unknown option '--bogus'";
    QTest::newRow("single dash word") << QStringList { "-platform", "x" } << "unknown option '-platform'";
    QTest::newRow("Qt's help") << QStringList { "--help-all" } << "unknown option '--help-all'";
    QTest::newRow("unknown format") << QStringList { "--format", "xml" }
                                    << "unknown format 'xml' (tsv, plain, csv or json)";
    for (const char* timeout : { "soon", "nan", "inf", "0", "0.0004", "86401" })
        QTest::addRow("timeout %s", timeout)
            << QStringList { "--timeout", timeout }
            << QStringLiteral("--timeout takes seconds from 0.001 to 86400, not '%1'")
                   .arg(QLatin1String(timeout));
    QTest::newRow("not an http address")
        << QStringList { "--site=ftp://127.0.0.1/" } << "not an http or https address: 'ftp://127.0.0.1/'";
    QTest::newRow("no value") << QStringList { "--site" } << "option '--site' needs a value";
    QTest::newRow("stray argument") << QStringList { "extra" } << "unexpected argument 'extra'";
}

void tst_EndToEnd::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const Run run = search(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(run.diagnostics, QStringList { "tarnwick-search: " + message });
}

void tst_EndToEnd::outputFailures_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("table on a full disk") << QString() << "/dev/full" << 1;
    QTest::newRow("help on a full disk") << "--help"
                                         << "/dev/full" << 1;
    // The reader is gone before the first row: nothing more is formatted, and nothing is said.
    QTest::newRow("closed pipe") << QString() << "closed pipe" << -1;
    QTest::newRow("closed pipe, SIGPIPE ignored") << QString() << "closed pipe, SIGPIPE ignored" << 0;
}

void tst_EndToEnd::outputFailures()
{
    QFETCH(QString, argument);
    QFETCH(QString, output);
    QFETCH(int, exitCode);
    QProcess process;
    if (output.startsWith(u"/dev/"))
        process.setStandardOutputFile(output);
    const bool closedPipe = output.startsWith(u"closed pipe");
    const bool ignorePipeSignal = output.endsWith(u"ignored");
    process.setChildProcessModifier([=] {
        int ends[2];
        if (closedPipe && ::pipe(ends) == 0) {
            ::close(ends[0]);
            ::dup2(ends[1], STDOUT_FILENO);
            ::close(ends[1]);
        }
        if (ignorePipeSignal)
            std::signal(SIGPIPE, SIG_IGN);
    });
    process.start(QStringLiteral(TARNWICK_SEARCH),
        argument.isEmpty() ? QStringList { QStringLiteral("--site"), m_base } : QStringList { argument });
    const Run run = finish(process);
    QCOMPARE(run.exitCode, exitCode);
    if (exitCode == -1)
        QCOMPARE(process.exitCode(), SIGPIPE);
    if (exitCode == 1) {
        QCOMPARE(run.diagnostics.size(), 1);
        QVERIFY2(run.diagnostics[0].startsWith(u"tarnwick-search: write error: No space left on device"),
            qPrintable(run.diagnostics[0]));
    } else {
        QCOMPARE(run.diagnostics, QStringList());
    }
}

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
