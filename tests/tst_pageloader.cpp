#include "PageLoader.h"
#include "TestHttpServer.h"

#include <QTcpServer>
#include <QtTest>

using Response = TestHttpServer::Response;

class tst_PageLoader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void bodyOf_data();
    void bodyOf();
    void decodesByCharset_data();
    void decodesByCharset();
    void failuresAreReportedOnce_data();
    void failuresAreReportedOnce();
    void stoppedAndSupersededLoadsAreNeverReported();
    void followsARedirect();
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
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("body");
    QTest::newRow("plain") << "<html><head></head><body>rows</body></html>"
                           << "rows";
    QTest::newRow("upper case with attributes") << "<HTML><BODY bgcolor=white\r\n>\r\nrows\r\n</BODY>"
                                                << "\r\nrows\r\n";
    QTest::newRow("quoted >") << "<body onload=\"a>b\">rows</body>"
                              << "rows";
    QTest::newRow("no body tag") << "<TR align=middle>\r\n<TD>x"
                                 << "<TR align=middle>\r\n<TD>x";
    QTest::newRow("not a body tag") << "<bodyguard>x</bodyguard>"
                                    << "<bodyguard>x</bodyguard>";
    QTest::newRow("two end tags") << "<body>a</body>b</BODY>"
                                  << "a</body>b";
    QTest::newRow("unclosed body") << "<body>rows"
                                   << "rows";
    QTest::newRow("empty") << ""
                           << "";
}

void tst_PageLoader::bodyOf()
{
    QFETCH(QString, document);
    QFETCH(QString, body);
    QCOMPARE(PageLoader::bodyOf(document), body);
}

void tst_PageLoader::decodesByCharset_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const QString word = QStringLiteral("Gr\u00fc\u00df \u20ac");
    QTest::newRow("utf-8 header") << QByteArray("text/html; charset=UTF-8")
                                  << QByteArray("Gr\xc3\xbc\xc3\x9f \xe2\x82\xac") << word;
    QTest::newRow("quoted header") << QByteArray("text/html;charset=\"utf-8\"")
                                   << QByteArray("Gr\xc3\xbc\xc3\x9f \xe2\x82\xac") << word;
    QTest::newRow("windows-1252 header")
        << QByteArray("text/html; charset=windows-1252") << QByteArray("Gr\xfc\xdf \x80") << word;
    QTest::newRow("iso-8859-1 header") << QByteArray("text/html; charset=ISO-8859-1")
                                       << QByteArray("Gr\xfc\xdf") << QStringLiteral("Gr\u00fc\u00df");
    QTest::newRow("meta charset") << QByteArray(
        "text/html") << QByteArray("<meta charset=\"utf-8\"><body>Gr\xc3\xbc\xc3\x9f \xe2\x82\xac")
                                  << QStringLiteral("<meta charset=\"utf-8\"><body>") + word;
    QTest::newRow("meta http-equiv")
        << QByteArray("text/html")
        << QByteArray("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=utf-8\">\xc3\xbc")
        << QStringLiteral("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=utf-8\">\u00fc");
    QTest::newRow("header wins over meta")
        << QByteArray("text/html; charset=windows-1252") << QByteArray("<meta charset=utf-8>\xfc")
        << QStringLiteral("<meta charset=utf-8>\u00fc");
    QTest::newRow("no charset") << QByteArray("text/html") << QByteArray("Gr\xfc\xdf \x80") << word;
    QTest::newRow("unknown charset") << QByteArray("text/html; charset=x-no-such") << QByteArray("\x80")
                                     << "\u20ac";
    QTest::newRow("other known charset")
        << QByteArray("text/html; charset=koi8-r") << QByteArray("\xc1") << QStringLiteral("\u0430");
}

void tst_PageLoader::decodesByCharset()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    m_server->setPage(QStringLiteral("/page"), bytes, contentType);
    PageLoader loader;
    QSignalSpy complete(&loader, &PageLoader::DocumentComplete);
    loader.Navigate(m_server->url(QStringLiteral("/page")));
    QVERIFY(complete.wait(10000));
    QVERIFY2(!loader.LoadFailed(), qPrintable(loader.LoadError()));
    QCOMPARE(loader.documentText(), text);
}

void tst_PageLoader::failuresAreReportedOnce_data()
{
    QTest::addColumn<Response>("response");
    Response notFound;
    notFound.status = 404;
    notFound.body = "<body>gone</body>";
    QTest::newRow("error status") << notFound;
    Response serverError = notFound;
    serverError.status = 500;
    QTest::newRow("server error") << serverError;
    Response reset;
    reset.body = QByteArray(200000, 'x');
    reset.mode = Response::Mode::ResetMidBody;
    QTest::newRow("reset mid-body") << reset;
    Response huge;
    huge.body = QByteArray(PageLoader::MaxBodyBytes + 1, 'x');
    QTest::newRow("over the size cap") << huge;
    QTest::newRow("no connection") << Response {};
}

void tst_PageLoader::failuresAreReportedOnce()
{
    QFETCH(Response, response);
    QUrl url = m_server->url(QStringLiteral("/page"));
    if (QByteArray(QTest::currentDataTag()) == "no connection") {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        url.setPort(closed.serverPort());
        closed.close();
    }
    m_server->setResponse(QStringLiteral("/page"), response);
    PageLoader loader;
    QSignalSpy complete(&loader, &PageLoader::DocumentComplete);
    loader.Navigate(url);
    QVERIFY(complete.wait(20000));
    QVERIFY(loader.LoadFailed());
    QVERIFY(!loader.LoadError().isEmpty());
    QVERIFY(loader.BodyHtml().isEmpty());
    // Nothing more arrives for the same navigation.
    QVERIFY(!complete.wait(300));
    QCOMPARE(complete.size(), 1);
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
    loader.Navigate(m_server->url(QStringLiteral("/held")));
    QVERIFY(requests.wait(10000));
    // The second navigation replaces the one under way.
    loader.Navigate(m_server->url(QStringLiteral("/page")));
    QVERIFY(complete.wait(10000));
    QCOMPARE(complete.size(), 1);
    QCOMPARE(complete[0][0].toUrl(), m_server->url(QStringLiteral("/page")));
    QCOMPARE(QString::fromUtf8(loader.BodyHtml()), QStringLiteral("second"));

    // A timeout makes a load that never ends a failed page.
    loader.setTimeout(200);
    loader.Navigate(m_server->url(QStringLiteral("/held")));
    QVERIFY(complete.wait(10000));
    QVERIFY(loader.LoadFailed());
    QVERIFY(!complete.wait(400));
    QCOMPARE(complete.size(), 2);
}

void tst_PageLoader::followsARedirect()
{
    Response moved;
    moved.status = 302;
    moved.headers = { { "Location", "/target" } };
    m_server->setResponse(QStringLiteral("/old"), moved);
    m_server->setPage(QStringLiteral("/target"), "<html><body>moved here</body></html>");
    PageLoader loader;
    QSignalSpy complete(&loader, &PageLoader::DocumentComplete);
    loader.Navigate(m_server->url(QStringLiteral("/old")));
    QVERIFY(complete.wait(10000));
    QVERIFY(!loader.LoadFailed());
    QCOMPARE(QString::fromUtf8(loader.BodyHtml()), QStringLiteral("moved here"));
    QCOMPARE(m_server->requests(), QStringList({ "/old", "/target" }));
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
