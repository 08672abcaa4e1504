// One multi handle running several transfers at once: each is told of its own end with its own answer, one
// broken off is never told, and a kept connection out of step with its server is left out of a transfer
// started while others run.
#include "CurlMulti.h"
#include "HttpTransfer.h"
#include "PageVerdict.h"
#include "TestHttpServer.h"

#include <QtTest>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Transfers on one multi handle, each recording its ends: the body, or "failed" for one that is no page.
struct Transfers
{
    CurlMulti multi;
    std::vector<std::unique_ptr<HttpTransfer>> transfers;
    QList<QStringList> ends;

    HttpTransfer& add()
    {
        const size_t index = transfers.size();
        ends.append(QStringList());
        transfers.push_back(std::make_unique<HttpTransfer>(multi, [this, index](const TransferFacts& facts) {
            const QByteArrayView body = transfers[index]->answer().body();
            ends[qsizetype(index)].append(judge(facts).failed ? u"failed"_s : QString::fromUtf8(body));
        }));
        return *transfers.back();
    }
};

QByteArray kept(const QByteArray& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

} // namespace

class tst_CurlMulti : public QObject
{
    Q_OBJECT

    TestHttpServer m_server;

private slots:
    void initTestCase() { QVERIFY(m_server.listen()); }

    void transfersAtOnce_data()
    {
        // One transfer each; "-" before a path breaks it off at once. Schemes other than http and https are
        // refused as soon as the multi handle first runs, so such transfers end in one batch.
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QList<QStringList>>("ends");
        QTest::newRow("ending together") << QStringList({ u"/a"_s, u"/b"_s, u"/c"_s })
                                         << QList<QStringList>({ { u"a"_s }, { u"b"_s }, { u"c"_s } });
        QTest::newRow("the first ending last")
            << QStringList({ u"/slow"_s, u"/a"_s }) << QList<QStringList>({ { u"slow"_s }, { u"a"_s } });
        QTest::newRow("one broken off") << QStringList({ u"/a"_s, u"-/b"_s, u"/c"_s })
                                        << QList<QStringList>({ { u"a"_s }, {}, { u"c"_s } });
        QTest::newRow("one failing") << QStringList({ u"/missing"_s, u"/a"_s })
                                     << QList<QStringList>({ { u"failed"_s }, { u"a"_s } });
        QTest::newRow("ending in one batch")
            << QStringList({ u"ftp:/a"_s, u"ftp:/b"_s, u"ftp:/c"_s })
            << QList<QStringList>({ { u"failed"_s }, { u"failed"_s }, { u"failed"_s } });
    }

    void transfersAtOnce()
    {
        QFETCH(QStringList, paths);
        QFETCH(QList<QStringList>, ends);
        for (const QString& name : { u"a"_s, u"b"_s, u"c"_s })
            m_server.setResponse(u'/' + name, { 200, name.toUtf8() });
        m_server.setResponse(u"/slow"_s, { .body = "slow", .delay = 300 });
        Transfers transfers;
        for (const QString& path : paths) {
            HttpTransfer& transfer = transfers.add();
            const QString pathOnly = QString(path).remove(u'-');
            QUrl url = m_server.url(pathOnly.section(u':', -1));
            if (pathOnly.contains(u':'))
                url.setScheme(pathOnly.section(u':', 0, 0));
            QVERIFY(transfer.start(url, 10000));
            if (path.startsWith(u'-'))
                transfer.abandon();
        }
        const qsizetype told
            = std::count_if(ends.begin(), ends.end(), [](const QStringList& e) { return !e.isEmpty(); });
        const auto toldSoFar = [&] {
            return std::count_if(transfers.ends.begin(), transfers.ends.end(),
                [](const QStringList& e) { return !e.isEmpty(); });
        };
        QTRY_COMPARE_WITH_TIMEOUT(toldSoFar(), told, 10000);
        QCOMPARE(transfers.ends, ends);
    }

    void outOfStepConnectionBesideARunningTransfer()
    {
        m_server.setResponse(u"/held"_s, { .hold = true });
        m_server.setResponse(u"/kept"_s, { .raw = kept("kept"), .keepOpen = true, .later = kept("forged") });
        m_server.setResponse(u"/fresh"_s, { 200, "fresh" });
        Transfers transfers;
        HttpTransfer& held = transfers.add();
        HttpTransfer& keptOpen = transfers.add();
        HttpTransfer& fresh = transfers.add();
        const qsizetype before = m_server.requests().size();
        QVERIFY(held.start(m_server.url(u"/held"_s), 0));
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requests().size(), before + 1, 5000);
        QVERIFY(keptOpen.start(m_server.url(u"/kept"_s), 0));
        QTRY_COMPARE_WITH_TIMEOUT(transfers.ends[1], QStringList({ u"kept"_s }), 5000);
        m_server.writeLater();
        QTRY_VERIFY_WITH_TIMEOUT(m_server.delivered(), 5000);

        QVERIFY(fresh.start(m_server.url(u"/fresh"_s), 0));
        QTRY_COMPARE_WITH_TIMEOUT(transfers.ends[2], QStringList({ u"fresh"_s }), 5000);
        const QList<int> connections = m_server.requestConnections().mid(before);
        QCOMPARE(connections.size(), 3);
        QVERIFY(connections[2] != connections[1] && connections[2] != connections[0]);
        QVERIFY(held.isActive());
    }
};

QTEST_GUILESS_MAIN(tst_CurlMulti)
#include "tst_curlmulti.moc"
