#include "PageLoader.h"
#include "PageVerdict.h"
#include "TestHttpServer.h"

#include <QTcpServer>
#include <QtTest>

#include <zlib.h>

using Response = TestHttpServer::Response;

namespace {

// `data` compressed as a gzip (windowBits 31) or zlib (15) stream.
QByteArray compressed(const QByteArray& data, int windowBits)
{
    z_stream stream {};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
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

QByteArray chunked(const QByteArray& data)
{
    return QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n";
}

Response raw(const QByteArray& bytes, const QByteArray& endless = {})
{
    Response response;
    response.mode = Response::Mode::Raw;
    response.raw = bytes;
    response.endless = endless;
    return response;
}

// A 200 answer with the given header lines (each ending in CRLF) and body.
Response ok(const QByteArray& headers, const QByteArray& body, const QByteArray& endless = {})
{
    return raw("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n" + headers + "\r\n" + body, endless);
}

QByteArray length(qsizetype size)
{
    return "Content-Length: " + QByteArray::number(size) + "\r\n";
}

} // namespace

class tst_PageLoader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void bodyOf_data();
    void bodyOf();
    void utf8Body_data();
    void utf8Body();
    void judge_data();
    void judge();
    void hostileAnswers_data();
    void hostileAnswers();
    void stoppedAndSupersededLoadsAreNeverReported();
    void handlerMayNavigateAgainAndYield();

private:
    std::unique_ptr<TestHttpServer> m_server;
};

void tst_PageLoader::init()
{
    m_server = std::make_unique<TestHttpServer>();
    QVERIFY(m_server->listen());
}

void tst_PageLoader::bodyOf_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("plain") << QByteArray("<html><head></head><body>rows</body></html>") << QByteArray("rows");
    QTest::newRow("upper case with attributes")
        << QByteArray("<HTML><BODY bgcolor=white\r\n>\r\nrows\r\n</BODY>") << QByteArray("\r\nrows\r\n");
    QTest::newRow("quoted >") << QByteArray("<body onload=\"a>b\">rows</body>") << QByteArray("rows");
    QTest::newRow("no body tag") << QByteArray("<TR align=middle>\r\n<TD>x")
                                 << QByteArray("<TR align=middle>\r\n<TD>x");
    QTest::newRow("not a body tag") << QByteArray("<bodyguard>x</bodyguard>")
                                    << QByteArray("<bodyguard>x</bodyguard>");
    QTest::newRow("space beyond ASCII") << QByteArray("<body\xc2\xa0x>rows</body>") << QByteArray("rows");
    QTest::newRow("letter beyond ASCII") << QByteArray("<body\xc3\xa9>x") << QByteArray("<body\xc3\xa9>x");
    QTest::newRow("two end tags") << QByteArray("<body>a</body>b</BODY>") << QByteArray("a</body>b");
    QTest::newRow("unclosed body") << QByteArray("<body>rows") << QByteArray("rows");
    QTest::newRow("unclosed start tag") << QByteArray("<body class=\"x>rows") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void tst_PageLoader::bodyOf()
{
    QFETCH(QByteArray, document);
    QFETCH(QByteArray, body);
    QCOMPARE(PageLoader::bodyOf(document), body);
}

void tst_PageLoader::utf8Body_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("asItIs"); // handed on without a copy
    const QString word = QStringLiteral("Gr\u00fc\u00df \u20ac");
    const QByteArray utf8Word = "Gr\xc3\xbc\xc3\x9f \xe2\x82\xac";
    QTest::newRow("utf-8 header") << QByteArray("text/html; charset=UTF-8") << utf8Word << word << true;
    QTest::newRow("quoted header") << QByteArray("text/html;charset=\"utf-8\"") << utf8Word << word << true;
    QTest::newRow("windows-1252 header")
        << QByteArray("text/html; charset=windows-1252") << QByteArray("Gr\xfc\xdf \x80") << word << false;
    QTest::newRow("ascii, no charset")
        << QByteArray("text/html") << QByteArray("<body>rows</body>") << "rows" << true;
    QTest::newRow("meta charset") << QByteArray("text/html") << "<meta charset=\"utf-8\"><body>" + utf8Word
                                  << word << true;
    QTest::newRow("meta http-equiv")
        << QByteArray("text/html")
        << QByteArray("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=utf-8\">\xc3\xbc")
        << QStringLiteral("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=utf-8\">\u00fc")
        << true;
    QTest::newRow("header wins over meta")
        << QByteArray("text/html; charset=windows-1252") << QByteArray("<meta charset=utf-8>\xfc")
        << QStringLiteral("<meta charset=utf-8>\u00fc") << false;
    QTest::newRow("valid utf-8 declared windows-1252")
        << QByteArray("text/html; charset=windows-1252") << QByteArray("\xc3\xbc")
        << QStringLiteral("\u00c3\u00bc") << false;
    QTest::newRow("invalid utf-8") << QByteArray("text/html; charset=utf-8") << QByteArray("a\xff\xc3z")
                                   << QStringLiteral("a\ufffd\ufffdz") << false;
    QTest::newRow("byte order mark wins") << QByteArray("text/html; charset=windows-1252")
                                          << "\xef\xbb\xbf<body>" + utf8Word + "</body>" << word << true;
    QTest::newRow("no charset") << QByteArray("text/html") << QByteArray("Gr\xfc\xdf \x80") << word << false;
    QTest::newRow("unknown charset") << QByteArray("text/html; charset=x-no-such") << QByteArray("\x80")
                                     << QStringLiteral("\u20ac") << false;
    QTest::newRow("other known charset")
        << QByteArray("text/html; charset=koi8-r") << QByteArray("\xc1") << QStringLiteral("\u0430") << false;
}

void tst_PageLoader::utf8Body()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, asItIs);
    QByteArray converted;
    const QByteArrayView body = PageLoader::utf8Body(bytes, contentType, converted);
    QCOMPARE(QString::fromUtf8(body), text);
    QCOMPARE(body.data() >= bytes.constData() && body.data() <= bytes.constData() + bytes.size(), asItIs);
    // The window's advertisement strip decodes the whole document the same way.
    QVERIFY(PageLoader::decode(bytes, contentType).contains(text));
}

void tst_PageLoader::judge_data()
{
    QTest::addColumn<TransferFacts>("facts");
    QTest::addColumn<QString>("reason"); // a distinctive part of it; empty for a whole page
    TransferFacts whole;
    whole.status = 200;
    whole.headersEnded = true;
    whole.announcedLength = 100;
    whole.bodyBytes = 100;
    QTest::newRow("whole page") << whole << QString();
    TransferFacts facts = whole;
    facts.compressed = true;
    QTest::newRow("compressed stream unfinished") << facts << "compressed page stops";
    facts = whole;
    facts.bodyBytes = 99;
    QTest::newRow("shorter than announced") << facts << "length differs";
    facts = whole;
    facts.headersEnded = false;
    QTest::newRow("headers unfinished") << facts << "headers ended";
    facts = whole;
    facts.status = 404;
    QTest::newRow("not found") << facts << "status 404";
    facts.status = 300;
    QTest::newRow("unfollowed 3xx") << facts << "status 300";
    facts.transferError = "Connection reset";
    QTest::newRow("transfer error first") << facts << "Connection reset";
    facts.refusal = TransferFacts::Refusal::TooLarge;
    QTest::newRow("own refusal before all") << facts << "32 MiB";
}

void tst_PageLoader::judge()
{
    QFETCH(TransferFacts, facts);
    QFETCH(QString, reason);
    const PageVerdict verdict = ::judge(facts);
    QCOMPARE(verdict.failed, !reason.isEmpty());
    QVERIFY2(verdict.reason.contains(reason) && verdict.reason.isEmpty() == reason.isEmpty(),
        qPrintable(verdict.reason));
}

void tst_PageLoader::hostileAnswers_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<QByteArray>("body"); // expected body of a page that loads
    QTest::addColumn<QString>("reason"); // a distinctive part of a failed page's reason

    QByteArray rows;
    for (int i = 0; i < 300; ++i)
        rows += "<tr><td>10.0.0." + QByteArray::number(i) + "</td><td>8080</td></tr>\n";
    const QByteArray page = "<html><body>" + rows + "</body></html>";
    const QByteArray gzip = compressed(page, 31);
    const QByteArray cut = gzip.left(gzip.size() / 2);
    const QByteArray chunkedHeader = "Transfer-Encoding: chunked\r\n";

    QTest::newRow("clean page") << ok(length(page.size()), page) << rows << QString();
    QTest::newRow("gzip page") << ok("Content-Encoding: gzip\r\n" + length(gzip.size()), gzip) << rows
                               << QString();
    const QByteArray zlib = compressed(page, 15);
    QTest::newRow("deflate page") << ok("Content-Encoding: deflate\r\n" + length(zlib.size()), zlib) << rows
                                  << QString();
    Response moved;
    moved.status = 302;
    moved.headers = { { "Location", "/next" } };
    QTest::newRow("redirect") << moved << QByteArray("next page") << QString();

    QTest::newRow("gzip stream without end")
        << ok("Content-Encoding: gzip\r\n", cut) << QByteArray() << "compress";
    QTest::newRow("gzip stream without end, length kept")
        << ok("Content-Encoding: gzip\r\n" + length(cut.size()), cut) << QByteArray() << "compress";
    QTest::newRow("bytes after the gzip stream") << ok("Content-Encoding: gzip\r\n" + length(gzip.size() + 4),
        gzip + "junk") << QByteArray() << "compress";
    QByteArray damaged = gzip;
    damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 0x55);
    QTest::newRow("damaged gzip stream")
        << ok("Content-Encoding: gzip\r\n" + length(damaged.size()), damaged) << QByteArray() << "compress";
    // Stored blocks of 64 KiB, never a last one.
    const QByteArray storedBlock = QByteArray("\x00\xff\xff\x00\x00", 5) + QByteArray(0xffff, 'a');
    QTest::newRow("endless gzip stream") << ok(
        "Content-Encoding: gzip\r\n", QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10), storedBlock)
                                         << QByteArray() << "32 MiB";
    QTest::newRow("unknown content encoding")
        << ok("Content-Encoding: x-hostile\r\n" + length(page.size()), page) << QByteArray() << "encoding";

    QTest::newRow("closed before the announced length")
        << ok(length(page.size()), page.left(page.size() / 2)) << QByteArray() << "remaining";
    QTest::newRow("length beyond the integer range")
        << ok("Content-Length: 99999999999999999999999\r\n", page) << QByteArray() << "file size";
    QTest::newRow("two different lengths")
        << ok(length(page.size()) + length(page.size() + 10), page) << QByteArray() << "length";
    QTest::newRow("negative length") << ok("Content-Length: -1\r\n", page) << QByteArray() << "length";
    QTest::newRow("length over the cap")
        << ok(length(PageLoader::MaxBodyBytes + 1), QByteArray()) << QByteArray() << "size";

    QTest::newRow("chunk size beyond 64 bits")
        << ok(chunkedHeader, "1ffffffffffffffff0\r\n" + page + "\r\n0\r\n\r\n") << QByteArray() << "chunk";
    QTest::newRow("negative chunk size")
        << ok(chunkedHeader, "-10\r\n" + page + "\r\n0\r\n\r\n") << QByteArray() << "chunk";
    QTest::newRow("missing last chunk") << ok(chunkedHeader, chunked(page)) << QByteArray() << "outstanding";

    QTest::newRow("endless body") << ok({}, {}, QByteArray(65536, 'x')) << QByteArray() << "32 MiB";
    QTest::newRow("endless headers") << raw(
        "HTTP/1.1 200 OK\r\n", "X-Padding: " + QByteArray(100, 'a') + "\r\n")
                                     << QByteArray() << "header";
    QTest::newRow("endless header line")
        << raw("HTTP/1.1 200 OK\r\nX-Padding: ", QByteArray(4096, 'a')) << QByteArray() << "memory";

    Response unfollowed;
    unfollowed.status = 302;
    QTest::newRow("3xx without a location") << unfollowed << QByteArray() << "302";
    Response toFile = moved;
    toFile.headers = { { "Location", "file:///etc/passwd" } };
    QTest::newRow("redirect to a local file") << toFile << QByteArray() << "file";
    QTest::newRow("not HTTP") << raw("hello\r\n\r\n<body>x</body>") << QByteArray() << "HTTP/0.9";
    QTest::newRow("headers never finished")
        << raw("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n") << QByteArray() << "headers ended";
    QTest::newRow("no connection") << Response {} << QByteArray() << "connect";
}

void tst_PageLoader::hostileAnswers()
{
    QFETCH(Response, response);
    QFETCH(QByteArray, body);
    QFETCH(QString, reason);
    m_server->setResponse(QStringLiteral("/page"), response);
    m_server->setPage(QStringLiteral("/next"), "<body>next page</body>");
    QUrl url = m_server->url(QStringLiteral("/page"));
    QTcpServer closed;
    if (QByteArray(QTest::currentDataTag()) == "no connection") {
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        url.setPort(closed.serverPort());
        closed.close();
    }
    PageLoader loader;
    loader.setTimeout(20000);
    QSignalSpy complete(&loader, &PageLoader::DocumentComplete);
    loader.Navigate(url);
    QVERIFY(complete.wait(30000));
    QCOMPARE(loader.LoadFailed(), body.isEmpty());
    QCOMPARE(loader.LoadError().isEmpty(), !loader.LoadFailed());
    QVERIFY2(loader.LoadError().contains(reason, Qt::CaseInsensitive), qPrintable(loader.LoadError()));
    QCOMPARE(loader.BodyHtml(), body);

    // The bad answer is left behind at once: the next page of the same site loads.
    loader.Navigate(m_server->url(QStringLiteral("/next")));
    QVERIFY(complete.wait(5000));
    QVERIFY2(!loader.LoadFailed(), qPrintable(loader.LoadError()));
    QCOMPARE(loader.BodyHtml(), "next page");
    QCOMPARE(complete.size(), 2);
}

void tst_PageLoader::stoppedAndSupersededLoadsAreNeverReported()
{
    Response held;
    held.mode = Response::Mode::Hold;
    m_server->setResponse(QStringLiteral("/held"), held);
    m_server->setPage(QStringLiteral("/page"), "<body>second</body>");
    PageLoader loader;
    QSignalSpy complete(&loader, &PageLoader::DocumentComplete);
    QSignalSpy requests(m_server.get(), &TestHttpServer::requestReceived);

    loader.Navigate(m_server->url(QStringLiteral("/held")));
    QVERIFY(requests.wait(10000));
    loader.Stop();
    // A stopped load lets go of its connection at once.
    QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, 5000);
    loader.Navigate(m_server->url(QStringLiteral("/held")));
    QVERIFY(requests.wait(10000));
    // The second navigation replaces the one under way, and its connection.
    loader.Navigate(m_server->url(QStringLiteral("/page")));
    QVERIFY(complete.wait(10000));
    QCOMPARE(complete.size(), 1);
    QCOMPARE(complete[0][0].toUrl(), m_server->url(QStringLiteral("/page")));
    QCOMPARE(QString::fromUtf8(loader.BodyHtml()), QStringLiteral("second"));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, 5000);

    // A timeout makes a load that never ends a failed page.
    loader.setTimeout(200);
    loader.Navigate(m_server->url(QStringLiteral("/held")));
    QVERIFY(complete.wait(10000));
    QVERIFY(loader.LoadFailed());
    QVERIFY2(loader.LoadError().contains(u"timed out"), qPrintable(loader.LoadError()));
    QVERIFY(!complete.wait(400));
    QCOMPARE(complete.size(), 2);
}

void tst_PageLoader::handlerMayNavigateAgainAndYield()
{
    for (int i = 0; i < 3; ++i)
        m_server->setPage(QStringLiteral("/p%1").arg(i), QStringLiteral("<body>%1</body>").arg(i).toLatin1());
    PageLoader loader;
    QStringList bodies;
    connect(&loader, &PageLoader::DocumentComplete, this, [&] {
        bodies.append(QString::fromUtf8(loader.BodyHtml()));
        // As the page step does: yield, then start the next load from inside the report.
        QCoreApplication::processEvents();
        if (bodies.size() < 3)
            loader.Navigate(m_server->url(QStringLiteral("/p%1").arg(bodies.size())));
    });
    loader.Navigate(m_server->url(QStringLiteral("/p0")));
    QTRY_COMPARE_WITH_TIMEOUT(bodies.size(), 3, 10000);
    QCOMPARE(bodies, QStringList({ "0", "1", "2" }));
}

QTEST_GUILESS_MAIN(tst_PageLoader)
#include "tst_pageloader.moc"
