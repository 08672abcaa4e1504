// The page loader: answers on the wire, each ending as a whole page or as a failed one with its reason;
// stopped loads are never reported.
#include "AnswerReader.h"
#include "HtmlBody.h"
#include "PageLoader.h"
#include "TestHttpServer.h"

#include <QtTest>

#include <zlib.h>

using namespace Qt::StringLiterals;
using Response = TestHttpServer::Response;

namespace {

// `data` compressed as a gzip stream.
QByteArray compressed(const QByteArray& data)
{
    z_stream stream {};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&stream, uLong(data.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

// An answer byte for byte, then `endless` again and again.
Response raw(const QByteArray& bytes, const QByteArray& endless = {})
{
    return { .raw = bytes, .endless = endless };
}

// A 200 answer with the given header lines (each ending in CRLF) and body.
Response ok(const QByteArray& headers, const QByteArray& body, const QByteArray& endless = {})
{
    return raw("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n" + headers + "\r\n" + body, endless);
}

// A list page of some size, enough to be sent in several pieces.
const QByteArray Page = "<html><body>" + QByteArray("<tr><td>10.0.0.1</td><td>8080</td></tr>\n").repeated(300)
    + "</body></html>";

const auto length = [](qsizetype size) { return "Content-Length: " + QByteArray::number(size) + "\r\n"; };

// `data` as one chunk and the last chunk.
QByteArray inChunks(const QByteArray& data)
{
    return QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n0\r\n\r\n";
}

} // namespace

class tst_PageLoader : public QObject
{
    Q_OBJECT

    TestHttpServer m_server;
    TestHttpServer m_tlsServer { TestHttpServer::Scheme::Https };

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.listen());
        QVERIFY(m_tlsServer.listen());
    }

    void answers_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<QString>("reason"); // a distinctive part of a failed page's reason; empty: it loads
        const auto row = [](const char* name, const Response& response, const char* reason = "") {
            QTest::newRow(name) << response << QString::fromLatin1(reason);
        };
        const QByteArray page = Page, gzip = compressed(page);
        const QByteArray gzipped = "Content-Encoding: gzip\r\n", chunked = "Transfer-Encoding: chunked\r\n";
        QByteArray damaged = gzip;
        damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 0x55);

        row("whole page", ok(length(page.size()), page));
        row("gzip page", ok(gzipped + length(gzip.size()), gzip));
        row("redirect", raw("HTTP/1.1 302 Found\r\nLocation: /whole\r\n\r\n"));
        row("gzip stream without end", ok(gzipped, gzip.first(gzip.size() / 2)), "compress");
        row("bytes after the gzip stream", ok(gzipped + length(gzip.size() + 4), gzip + "junk"), "compress");
        row("damaged gzip stream", ok(gzipped + length(damaged.size()), damaged), "compress");
        row("gzip bomb", ok(gzipped, compressed(QByteArray(AnswerReader::MaxBodyBytes + 1024, ' '))),
            "32 MiB");
        row("unknown content encoding", ok("Content-Encoding: x-hostile\r\n" + length(page.size()), page),
            "encoding");
        row("closed before the announced length", ok(length(page.size()), page.first(page.size() / 2)),
            "remaining");
        row("length beyond the integer range", ok("Content-Length: 99999999999999999999999\r\n", page),
            "file size");
        row("two different lengths", ok(length(page.size()) + length(page.size() + 10), page), "length");
        row("length over the cap", ok(length(AnswerReader::MaxBodyBytes + 1), {}), "size");
        row("chunk size beyond 64 bits", ok(chunked, "1ffffffffffffffff0\r\n" + page + "\r\n0\r\n\r\n"),
            "chunk");
        row("endless body", ok({}, {}, QByteArray(65536, 'x')), "32 MiB");
        row("endless headers", raw("HTTP/1.1 200 OK\r\n", "X-Padding: " + QByteArray(100, 'a') + "\r\n"),
            "64 KiB");
        row("endless header line", raw("HTTP/1.1 200 OK\r\nX-Padding: ", QByteArray(4096, 'a')), "memory");
        row("3xx without a location", { .status = 302 }, "302");
        row("redirect to a local file", raw("HTTP/1.1 302 Found\r\nLocation: file:///etc/passwd\r\n\r\n"),
            "file");
        row("not HTTP", raw("hello\r\n\r\n<body>x</body>"), "HTTP/0.9");
        row("headers never finished", raw("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"), "headers ended");
        row("compressed transfer coding", ok("Transfer-Encoding: gzip, chunked\r\n", inChunks(page)),
            "transfer coding");
        row("chunked twice", ok("Transfer-Encoding: chunked, chunked\r\n", inChunks(inChunks(page))),
            "transfer coding");
        row("chunked on two lines", ok(chunked + chunked, inChunks(inChunks(page))), "transfer coding");
        row("status line among the headers", ok(gzipped + "HTTP/1.1: x\r\n" + length(page.size()), page),
            "compress");
        const QByteArray padding = "X-Padding: " + QByteArray(40 * 1024, 'a') + "\r\nHTTP/1.1: x\r\n";
        row("status lines among the padding", ok(padding.repeated(4) + length(page.size()), page), "64 KiB");
        row("interim answer with an encoding",
            raw("HTTP/1.1 103 Early Hints\r\nContent-Encoding: br\r\n\r\n"
                + ok(length(page.size()), page).raw));
    }

    void answers()
    {
        QFETCH(Response, response);
        QFETCH(QString, reason);
        m_server.setResponse(u"/page"_s, response);
        m_server.setResponse(u"/whole"_s, { 200, Page });
        m_server.setResponse(u"/next"_s, { 200, "<body>next page</body>" });
        PageLoader loader;
        loader.setTimeout(20000);
        QSignalSpy complete(&loader, &PageLoader::DocumentComplete);
        loader.Navigate(m_server.url(u"/page"_s));
        QVERIFY(complete.wait(30000));
        QCOMPARE(loader.loadFailed(), !reason.isEmpty());
        QVERIFY2(loader.loadError().contains(reason, Qt::CaseInsensitive), qPrintable(loader.loadError()));
        QCOMPARE(loader.loadError().isEmpty(), reason.isEmpty());
        QCOMPARE(loader.bodyHtml(), reason.isEmpty() ? HtmlBody::bodyOf(Page) : QByteArrayView());

        // The bad answer is left behind at once: the next page of the same site loads.
        loader.Navigate(m_server.url(u"/next"_s));
        QVERIFY(complete.wait(5000));
        QCOMPARE(loader.bodyHtml(), "next page");
        QCOMPARE(complete.size(), 2);
    }

    // Over TLS a page loads only from a server whose certificate the loader trusts and names the server,
    // also after a redirect; a redirect from https down to http is not followed, not even asked for.
    void secure_data()
    {
        QTest::addColumn<QUrl>("start");
        QTest::addColumn<QUrl>("location"); // where the start redirects to; empty: it is the page itself
        QTest::addColumn<bool>("trusted"); // the loader trusts the https server's certificate
        QTest::addColumn<QStringList>("arrived"); // the requests that reach a server, by scheme, sorted
        QTest::addColumn<QString>("reason"); // a distinctive part of a failed page's reason; empty: it loads
        const QUrl secure = m_tlsServer.url(u"/secure"_s), plain = m_server.url(u"/secure"_s);
        const QUrl secureLanding = m_tlsServer.url(u"/landing"_s), plainLanding = m_server.url(u"/landing"_s);
        QUrl otherName = secure; // the certificate names 127.0.0.1 only
        otherName.setHost(u"localhost"_s);
        const auto row = [](const char* name, const QUrl& start, const QUrl& location, bool trusted,
                             const QStringList& arrived, const char* reason = "") {
            QTest::newRow(name) << start << location << trusted << arrived << QString::fromLatin1(reason);
        };
        row("https page", secure, {}, true, { u"https /secure"_s });
        row("https to https", secure, secureLanding, true, { u"https /landing"_s, u"https /secure"_s });
        row("https to http", secure, plainLanding, true, { u"https /secure"_s }, "\"http\" not supported");
        row("http to https", plain, secureLanding, true, { u"http /secure"_s, u"https /landing"_s });
        row("untrusted certificate", secure, {}, false, {}, "certificate");
        row("certificate for another name", otherName, {}, true, {}, "localhost");
    }

    void secure()
    {
        QFETCH(QUrl, start);
        QFETCH(QUrl, location);
        QFETCH(bool, trusted);
        QFETCH(QStringList, arrived);
        QFETCH(QString, reason);
        const Response page { 200, Page };
        const Response redirect = raw("HTTP/1.1 302 Found\r\nLocation: " + location.toEncoded()
            + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        for (TestHttpServer* server : { &m_server, &m_tlsServer }) {
            server->setResponse(u"/secure"_s, location.isEmpty() ? page : redirect);
            server->setResponse(u"/landing"_s, page);
        }
        const qsizetype plainBefore = m_server.requests().size(),
                        secureBefore = m_tlsServer.requests().size();
        PageLoader loader;
        loader.setTimeout(20000);
        if (trusted)
            loader.setCertificateAuthorities(TestHttpServer::certificateFile());
        QSignalSpy complete(&loader, &PageLoader::DocumentComplete);
        loader.Navigate(start);
        QVERIFY(complete.wait(30000));
        QCOMPARE(loader.loadFailed(), !reason.isEmpty());
        QVERIFY2(loader.loadError().contains(reason, Qt::CaseInsensitive), qPrintable(loader.loadError()));
        QCOMPARE(loader.loadError().isEmpty(), reason.isEmpty());
        QCOMPARE(loader.bodyHtml(), reason.isEmpty() ? HtmlBody::bodyOf(Page) : QByteArrayView());
        QStringList requests;
        for (const QString& target : m_server.requests().mid(plainBefore))
            requests << u"http "_s + target;
        for (const QString& target : m_tlsServer.requests().mid(secureBefore))
            requests << u"https "_s + target;
        requests.sort();
        QCOMPARE(requests, arrived);
    }

    // Loads one after the other as the search makes them: a load stopped or superseded lets go of its
    // connection at once and is never reported; the report may yield and start the next load; a load
    // that takes too long fails.
    void loadsInTurn()
    {
        m_server.setResponse(u"/held"_s, { .hold = true });
        for (int i = 0; i < 3; ++i)
            m_server.setResponse(u"/p%1"_s.arg(i), { 200, "<body>" + QByteArray::number(i) + "</body>" });
        PageLoader loader;
        for (int held = 1; held <= 2; ++held) {
            loader.Navigate(m_server.url(u"/held"_s));
            QTRY_COMPARE_WITH_TIMEOUT(m_server.requests().count(u"/held"_s), held, 10000);
            if (held == 1)
                loader.Stop();
            QTRY_COMPARE_WITH_TIMEOUT(m_server.openConnections(), held - 1, 5000);
        }

        QStringList reports;
        connect(&loader, &PageLoader::DocumentComplete, this, [&](const QUrl& url) {
            reports << url.path() + u' '
                    + (loader.loadFailed() ? loader.loadError() : QString::fromUtf8(loader.bodyHtml()));
            QCoreApplication::processEvents();
            if (reports.size() < 3)
                loader.Navigate(m_server.url(u"/p%1"_s.arg(reports.size())));
        });
        loader.Navigate(m_server.url(u"/p0"_s));
        QTRY_COMPARE_WITH_TIMEOUT(reports, QStringList({ u"/p0 0"_s, u"/p1 1"_s, u"/p2 2"_s }), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.openConnections(), 0, 5000);

        loader.setTimeout(200);
        loader.Navigate(m_server.url(u"/held"_s));
        QTRY_COMPARE_WITH_TIMEOUT(reports.size(), 4, 10000);
        QVERIFY2(
            reports[3].startsWith(u"/held") && reports[3].contains(u"timed out"), qPrintable(reports[3]));
    }

    // A connection that holds bytes before the next request is sent is out of step with its server: the
    // next page loads on a new connection from its own request, and those bytes reach no page. A
    // connection in step is used again.
    void outOfStepConnection()
    {
        const auto kept = [](const QByteArray& name) {
            const QByteArray body = "<body>" + name + "</body>";
            return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n"
                + body;
        };
        m_server.setResponse(u"/kept0"_s, { .raw = kept("kept0"), .keepOpen = true });
        m_server.setResponse(
            u"/kept1"_s, { .raw = kept("kept1"), .keepOpen = true, .later = kept("forged") });
        m_server.setResponse(u"/kept2"_s, { .raw = kept("kept2"), .keepOpen = true });
        m_server.setResponse(u"/kept3"_s, { 200, "<body>kept3</body>" });
        const qsizetype before = m_server.requests().size();
        PageLoader loader;
        QSignalSpy complete(&loader, &PageLoader::DocumentComplete);
        QByteArrayList bodies;
        for (int page = 0; page < 4; ++page) {
            if (page == 2) {
                m_server.writeLater();
                QTRY_VERIFY_WITH_TIMEOUT(m_server.delivered(), 5000);
            }
            loader.Navigate(m_server.url(u"/kept%1"_s.arg(page)));
            QVERIFY(complete.wait(5000));
            bodies << loader.bodyHtml().toByteArray();
        }
        QCOMPARE(bodies, QByteArrayList({ "kept0", "kept1", "kept2", "kept3" }));
        const QList<int> connections = m_server.requestConnections().mid(before);
        QCOMPARE(connections.size(), 4);
        QCOMPARE(connections[1], connections[0]);
        QVERIFY(connections[2] != connections[1]);
        QCOMPARE(connections[3], connections[2]);
        // Closed, not kept aside: the out-of-step connection and the one its page and the next used.
        QTRY_COMPARE_WITH_TIMEOUT(m_server.openConnections(), 0, 5000);
    }

    // A load that runs out of time after some redirects states how long it ran in all.
    void timeoutOverRedirects()
    {
        const auto redirect = [](int to) {
            return "HTTP/1.1 302 Found\r\nLocation: /hop" + QByteArray::number(to)
                + "\r\nContent-Length: 0\r\n\r\n";
        };
        m_server.setResponse(u"/hop0"_s, { .raw = redirect(1), .delay = 150 });
        m_server.setResponse(u"/hop1"_s, { .raw = redirect(2), .delay = 150 });
        m_server.setResponse(u"/hop2"_s, { .hold = true });
        PageLoader loader;
        loader.setTimeout(400);
        QSignalSpy complete(&loader, &PageLoader::DocumentComplete);
        loader.Navigate(m_server.url(u"/hop0"_s));
        QVERIFY(complete.wait(10000));
        const QRegularExpressionMatch stated
            = QRegularExpression(u"timed out after (\\d+) milliseconds"_s).match(loader.loadError());
        QVERIFY2(stated.hasMatch() && stated.captured(1).toInt() >= 400, qPrintable(loader.loadError()));
    }
};

QTEST_GUILESS_MAIN(tst_PageLoader)
#include "tst_pageloader.moc"
