// The check engine against the stand-in site's judge and proxies of every kind, and against raw servers
// for what the stand-ins do not do: an answer over the size bound, and connections held until a cancel.
#include "CheckRun.h"
#include "CurlCheckRun.h"
#include "JudgeAnswer.h"

#include <QtNetwork>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

struct Outcome
{
    QList<CheckResult> results;
    bool finished = false;
};

// Runs `rows` to their end (or `bound` ms) and gives each row's result in row order; `finished` tells
// whether the run ended in time.
Outcome runChecks(CheckOptions options, const QList<CheckRow>& rows, int bound = 20000)
{
    Outcome outcome;
    outcome.results.resize(rows.size());
    CurlCheckRun run(std::move(options));
    QObject::connect(&run, &CheckRun::checked, &run,
        [&](qsizetype index, const CheckResult& result) { outcome.results[index] = result; });
    QObject::connect(&run, &CheckRun::finished, &run, [&] { outcome.finished = true; });
    run.start(rows);
    outcome.finished = QTest::qWaitFor([&] { return outcome.finished; }, bound);
    return outcome;
}

// A server on a loopback address that answers every request with `answer` and closes, or holds it when
// empty.
class RawServer : public QTcpServer
{
public:
    explicit RawServer(QByteArray answer)
        : m_answer(std::move(answer))
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                ++m_open;
                ++m_accepted;
                connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
                    --m_open;
                    socket->deleteLater();
                });
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    socket->readAll();
                    if (!m_answer.isEmpty()) {
                        socket->write(m_answer);
                        socket->disconnectFromHost();
                    }
                });
            }
        });
    }
    int open() const { return m_open; }
    int accepted() const { return m_accepted; }

private:
    QByteArray m_answer;
    int m_open = 0;
    int m_accepted = 0;
};

CheckOptions optionsFor(
    const QString& judge, int timeoutMs, const QString& networks = u"127.0.0.0/8,::1/128"_s)
{
    CheckOptions options;
    options.judge = QUrl(judge);
    options.timeoutMs = timeoutMs;
    options.networks = networks.isNull() ? CheckNetworks() : CheckNetworks::parse(networks);
    return options;
}

} // namespace

class tst_CurlCheckRun : public QObject
{
    Q_OBJECT

    QProcess m_site;
    QString m_judge;
    // Each stand-in proxy's address and port by its kind, as the site lists them.
    QMultiHash<QString, QString> m_proxies;

private slots:
    void initTestCase();
    void cleanupTestCase();
    void standInKinds_data();
    void standInKinds();
    void rawAnswers_data();
    void rawAnswers();
    void cancelClosesEveryConnection();
    void guardNarrowed();
};

void tst_CurlCheckRun::initTestCase()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString list = dir.filePath(u"proxies"_s);
    m_site.start(QStringLiteral(TARNWICK_LISTSITE),
        { u"--port"_s, u"0"_s, u"--rows"_s, u"0"_s, u"--proxies"_s, u"40"_s, u"--proxy-list"_s, list });
    QVERIFY(m_site.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(m_site.canReadLine(), 20000);
    const QByteArray ready = m_site.readLine().trimmed();
    QVERIFY2(ready.startsWith("port "), ready.constData());
    m_judge = u"http://127.0.0.1:%1/judge"_s.arg(QString::fromLatin1(ready.mid(5)));
    QFile file(list);
    QVERIFY(file.open(QIODevice::ReadOnly));
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() >= 2)
            m_proxies.insert(QString::fromLatin1(fields[1]), QString::fromLatin1(fields[0]));
    }
    QVERIFY(m_proxies.size() >= 10);
}

void tst_CurlCheckRun::cleanupTestCase()
{
    m_site.terminate();
    m_site.waitForFinished();
}

void tst_CurlCheckRun::standInKinds_data()
{
    QTest::addColumn<QString>("kind"); // as the site's list names it
    QTest::addColumn<int>("proxyKind");
    QTest::addColumn<QString>("expected"); // the anonymity for an answer, else a part of the reason
    const auto row = [](const char* kind, ProxyKind proxyKind, const char* expected) {
        QTest::newRow(kind) << QString::fromLatin1(kind) << int(proxyKind) << QString::fromLatin1(expected);
    };
    row("http-elite", ProxyKind::Http, "elite");
    row("http-slow", ProxyKind::Http, "elite");
    row("http-anonymous", ProxyKind::Http, "anonymous");
    row("http-transparent", ProxyKind::Http, "transparent");
    row("socks5", ProxyKind::Socks5, "elite");
    row("socks4", ProxyKind::Socks4a, "elite");
    // The stand-in alters the nonce or puts a line before the page: either way no judge's answer to us.
    row("altering", ProxyKind::Http, "nonce missing|not a judge answer");
    row("error-status", ProxyKind::Http, "proxy said ");
    row("refused", ProxyKind::Http, "refused");
    row("silent", ProxyKind::Socks5, "timed out");
}

void tst_CurlCheckRun::standInKinds()
{
    QFETCH(QString, kind);
    QFETCH(int, proxyKind);
    QFETCH(QString, expected);
    const QString proxy = m_proxies.value(kind);
    QVERIFY2(!proxy.isEmpty(), qPrintable(kind));
    const qsizetype colon = proxy.lastIndexOf(u':');
    const CheckRow row { proxy.first(colon), quint16(proxy.sliced(colon + 1).toUInt()),
        ProxyKind(proxyKind) };
    QElapsedTimer clock;
    clock.start();
    const Outcome outcome = runChecks(optionsFor(m_judge, 1500), { row });
    QVERIFY(outcome.finished);
    const CheckResult result = outcome.results.value(0);
    const bool answers = QStringList { u"elite"_s, u"anonymous"_s, u"transparent"_s }.contains(expected);
    QCOMPARE(result.answered, answers);
    if (answers) {
        QCOMPARE(anonymityText(result.anonymity), expected);
        QVERIFY(result.reason.isEmpty());
        // From the start of the check to its last byte, never more than the check took.
        QVERIFY(result.milliseconds <= clock.elapsed());
    } else {
        QVERIFY2(QRegularExpression(u"^("_s + expected + u")"_s).match(result.reason).hasMatch(),
            qPrintable(result.reason));
    }
}

void tst_CurlCheckRun::rawAnswers_data()
{
    QTest::addColumn<QByteArray>("answer"); // what the proxy answers every request with
    QTest::addColumn<QString>("reason");
    const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n";
    QTest::newRow("a judge's page with another nonce")
        << ok + "tarnwick-judge 1\nnonce 0123456789abcdef\naddress 127.0.0.1\n"
        << CheckResult::NonceMissing.toString();
    QTest::newRow("no judge's page") << ok + "<html>welcome</html>"
                                     << CheckResult::NotAJudgeAnswer.toString();
    // Read up to the bound, never kept whole.
    QTest::newRow("more than any judge writes")
        << ok + "tarnwick-judge 1\n" + QByteArray(JudgeAnswer::MostBytes + 1024, 'x')
        << CheckResult::TooLarge.toString();
    QTest::newRow("endless headers") << "HTTP/1.1 200 OK\r\n" + QByteArray("X-Pad: y\r\n").repeated(8000)
                                     << CheckResult::TooLarge.toString();
    QTest::newRow("proxy's own status")
        << QByteArray("HTTP/1.1 407 Proxy Authentication Required\r\n\r\n") << CheckResult::proxySaid(407);
}

void tst_CurlCheckRun::rawAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, reason);
    RawServer proxy(answer);
    QVERIFY(proxy.listen(QHostAddress(u"127.0.0.1"_s)));
    const CheckRow row { u"127.0.0.1"_s, proxy.serverPort(), ProxyKind::Http };
    const Outcome outcome = runChecks(optionsFor(m_judge, 5000), { row });
    QVERIFY(outcome.finished);
    QCOMPARE(outcome.results.value(0).reason, reason);
}

void tst_CurlCheckRun::cancelClosesEveryConnection()
{
    RawServer proxy({}); // holds every request
    QVERIFY(proxy.listen(QHostAddress(u"127.0.0.1"_s)));
    const CheckRow row { u"127.0.0.1"_s, proxy.serverPort(), ProxyKind::Http };
    CheckOptions options = optionsFor(m_judge, 30000);
    options.concurrency = 8;
    CurlCheckRun run(std::move(options));
    int reported = 0;
    connect(&run, &CheckRun::checked, this, [&] { ++reported; });
    run.start(QList<CheckRow>(20, row));
    QTRY_COMPARE_WITH_TIMEOUT(proxy.open(), 8, 10000);
    run.cancel();
    QTRY_COMPARE_WITH_TIMEOUT(proxy.open(), 0, 10000);
    QCOMPARE(proxy.accepted(), 8);
    QCOMPARE(reported, 0);
}

void tst_CurlCheckRun::guardNarrowed()
{
    // A live proxy just outside the allowed networks is never reached; a documentation address is never
    // checked, guard or no guard.
    RawServer proxy("HTTP/1.1 200 OK\r\n\r\n");
    QVERIFY(proxy.listen(QHostAddress(u"127.200.0.1"_s)));
    const QList<CheckRow> rows { { u"127.200.0.1"_s, proxy.serverPort(), ProxyKind::Http },
        { u"192.0.2.1"_s, 8080, ProxyKind::Http } };
    const Outcome outcome = runChecks(optionsFor(m_judge, 2000, u"127.0.0.0/9"_s), rows);
    QVERIFY(outcome.finished);
    const QList<CheckResult>& results = outcome.results;
    QCOMPARE(results[0].reason, CheckNetworks::OutsideNetworks.toString());
    QCOMPARE(results[1].reason, CheckNetworks::ReservedAddress.toString());
    QCOMPARE(runChecks(optionsFor(m_judge, 2000, QString()), { rows[1] }).results.value(0).reason,
        CheckNetworks::ReservedAddress.toString());
    QCOMPARE(proxy.accepted(), 0);
}

QTEST_GUILESS_MAIN(tst_CurlCheckRun)
#include "tst_curlcheckrun.moc"
