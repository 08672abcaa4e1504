#pragma once

#include <QtNetwork>

#include <functional>

// A tiny HTTP/1.1 server on 127.0.0.1 with a port chosen by the system, answering each path with a
// canned response, one request per connection. Raw answers stand in for broken or hostile sites: any
// bytes, also ones that never end (made as the client reads them, never held whole).
class TestHttpServer
{
public:
    struct Response
    {
        int status = 200;
        QByteArray body {};
        bool hold = false; // reads the request and never answers
        // When either is set: `raw` as it is, then `endless` again and again until the client goes away.
        QByteArray raw {};
        QByteArray endless {};
        int delay = 0; // milliseconds between the request and the answer
    };

    // Told of each request, by path and query, before it is answered.
    std::function<void(const QString&)> onRequest = [](const QString&) {};

    TestHttpServer()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                ++m_openConnections;
                QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
                    --m_openConnections;
                    socket->deleteLater();
                });
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
            }
        });
    }

    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    QString base() const
    {
        return QStringLiteral("http://127.0.0.1:") + QString::number(m_server.serverPort());
    }
    QUrl url(const QString& pathAndQuery) const { return QUrl(base() + pathAndQuery); }

    // Keyed by path and query, e.g. "/proxy_list.php?showpage=3"; any other path is not found.
    void setResponse(const QString& pathAndQuery, const Response& response)
    {
        m_responses[pathAndQuery] = response;
    }

    // Paths and queries in the order they arrived.
    QStringList requests() const { return m_requests; }
    // Connections the clients have not closed yet.
    int openConnections() const { return m_openConnections; }

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

    QTcpServer m_server;
    QHash<QString, Response> m_responses;
    QStringList m_requests;
    int m_openConnections = 0;
};
