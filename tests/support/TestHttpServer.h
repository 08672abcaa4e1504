#pragma once

#include <QtNetwork>

#include <functional>
#include <memory>

#include <linux/sockios.h>
#include <sys/ioctl.h>

// A tiny HTTP/1.1 server on 127.0.0.1 with a port chosen by the system, answering each path with a
// canned response, one request per connection unless an answer keeps it open. Raw answers stand in for broken
// or hostile sites: any bytes, also ones that never end (made as the client reads them, never held whole).
// Plain HTTP, or HTTPS with the certificate for 127.0.0.1 that make_loopback_certificate.sh made.
class TestHttpServer
{
public:
    enum class Scheme
    {
        Http,
        Https,
    };

    struct Response
    {
        int status = 200;
        QByteArray body {};
        bool hold = false; // reads the request and never answers
        // When either is set: `raw` as it is, then `endless` again and again until the client goes away.
        QByteArray raw {};
        QByteArray endless {};
        int delay = 0; // milliseconds between the request and the answer
        // With `raw` alone: the connection stays open for the next request, and `later`, if any, is written
        // on it by writeLater(), as by a server out of step with its client.
        bool keepOpen = false;
        QByteArray later {};
    };

    // Told of each request, by path and query, before it is answered.
    std::function<void(const QString&)> onRequest = [](const QString&) {};

    explicit TestHttpServer(Scheme scheme = Scheme::Http)
        : m_scheme(scheme)
    {
        if (scheme == Scheme::Https) {
            auto server = std::make_unique<QSslServer>();
            QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
            tls.setLocalCertificateChain(QSslCertificate::fromPath(certificateFile()));
            QFile key(QStringLiteral(TARNWICK_TEST_SUPPORT_DIR "/loopback.key"));
            if (key.open(QIODevice::ReadOnly))
                tls.setPrivateKey(QSslKey(&key, QSsl::Ec));
            server->setSslConfiguration(tls);
            m_server = std::move(server);
        } else {
            m_server = std::make_unique<QTcpServer>();
        }
        // Not newConnection: a TLS connection is pending only once its handshake is done.
        QObject::connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, m_server.get(), [this] {
            while (QTcpSocket* socket = m_server->nextPendingConnection()) {
                socket->setProperty("connection", m_acceptedConnections++);
                ++m_openConnections;
                QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
                    --m_openConnections;
                    socket->deleteLater();
                });
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
            }
        });
    }

    // The certificate the HTTPS server shows, which is also its own authority.
    static QString certificateFile() { return QStringLiteral(TARNWICK_TEST_SUPPORT_DIR "/loopback.crt"); }

    // False also for an HTTPS server without its certificate and key.
    bool listen()
    {
        if (m_scheme == Scheme::Https) {
            const QSslConfiguration tls = static_cast<QSslServer&>(*m_server).sslConfiguration();
            if (tls.localCertificate().isNull() || tls.privateKey().isNull())
                return false;
        }
        return m_server->listen(QHostAddress::LocalHost, 0);
    }
    QString base() const
    {
        return (m_scheme == Scheme::Https ? QStringLiteral("https") : QStringLiteral("http"))
            + QStringLiteral("://127.0.0.1:") + QString::number(m_server->serverPort());
    }
    QUrl url(const QString& pathAndQuery) const { return QUrl(base() + pathAndQuery); }

    // Keyed by path and query, e.g. "/proxy_list.php?showpage=3"; any other path is not found.
    void setResponse(const QString& pathAndQuery, const Response& response)
    {
        m_responses[pathAndQuery] = response;
    }

    // Paths and queries in the order they arrived, and the connection each came on, numbered in the order
    // the connections were accepted.
    QStringList requests() const { return m_requests; }
    QList<int> requestConnections() const { return m_requestConnections; }
    // Connections the clients have not closed yet.
    int openConnections() const { return m_openConnections; }

    // Writes the `later` bytes of the answers given so far on their connections.
    void writeLater()
    {
        for (QTcpSocket* socket : m_server->findChildren<QTcpSocket*>()) {
            socket->write(socket->property("later").toByteArray());
            socket->setProperty("later", {});
            socket->flush();
        }
    }

    // Whether the clients' systems have acknowledged every byte written on open connections: only then
    // does a client's socket surely hold them.
    bool delivered() const
    {
        const QList<QTcpSocket*> sockets = m_server->findChildren<QTcpSocket*>();
        return std::all_of(sockets.begin(), sockets.end(), [](QTcpSocket* socket) {
            int unacknowledged = 0;
            return socket->state() != QAbstractSocket::ConnectedState
                || (socket->bytesToWrite() == 0
                    && ioctl(int(socket->socketDescriptor()), SIOCOUTQ, &unacknowledged) == 0
                    && unacknowledged == 0);
        });
    }

private:
    void read(QTcpSocket* socket)
    {
        const QByteArray request = socket->property("request").toByteArray() + socket->readAll();
        socket->setProperty("request", request);
        if (!request.contains("\r\n\r\n") || socket->property("answered").toBool())
            return;
        socket->setProperty("answered", true);
        const QString target = QString::fromLatin1(request.left(request.indexOf("\r\n")).split(' ').value(1));
        m_requests.append(target);
        m_requestConnections.append(socket->property("connection").toInt());
        onRequest(target);
        Response response = m_responses.value(target, { 404, "<html><body>Not found</body></html>" });
        if (response.hold)
            return;
        if (response.delay > 0)
            QTimer::singleShot(
                response.delay, socket, [this, socket, response] { answer(socket, response); });
        else
            answer(socket, response);
    }

    void answer(QTcpSocket* socket, Response response)
    {
        if (response.raw.isEmpty() && response.endless.isEmpty()) {
            response.raw = "HTTP/1.1 " + QByteArray::number(response.status)
                + " Status\r\nContent-Type: text/html\r\nContent-Length: "
                + QByteArray::number(response.body.size()) + "\r\nConnection: close\r\n\r\n" + response.body;
        }
        if (response.keepOpen) {
            // The next request on this connection is read afresh; the bytes to come leave at once.
            socket->setProperty("request", {});
            socket->setProperty("answered", false);
            socket->setProperty("later", response.later);
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            socket->write(response.raw);
            return;
        }
        socket->write(response.raw);
        if (response.endless.isEmpty()) {
            socket->disconnectFromHost();
            return;
        }
        // Keeps about a megabyte queued: enough to keep the client busy, bounded however long it reads.
        const auto topUp = [socket, part = response.endless] {
            while (
                socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 1024 * 1024) {
                if (socket->write(part) < 0)
                    return;
            }
        };
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, topUp);
        topUp();
    }

    Scheme m_scheme;
    std::unique_ptr<QTcpServer> m_server;
    QHash<QString, Response> m_responses;
    QStringList m_requests;
    QList<int> m_requestConnections;
    int m_acceptedConnections = 0;
    int m_openConnections = 0;
};
