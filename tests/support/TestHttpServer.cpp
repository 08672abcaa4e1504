#include "TestHttpServer.h"

#include <QHostAddress>
#include <QTcpSocket>

TestHttpServer::TestHttpServer(QObject* parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TestHttpServer::onNewConnection);
}

bool TestHttpServer::listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

quint16 TestHttpServer::port() const
{
    return m_server.serverPort();
}

QString TestHttpServer::base() const
{
    return QStringLiteral("http://127.0.0.1:") + QString::number(port());
}

QUrl TestHttpServer::url(const QString& pathAndQuery) const
{
    return QUrl(base() + pathAndQuery);
}

void TestHttpServer::setResponse(const QString& pathAndQuery, const Response& response)
{
    m_responses.insert(pathAndQuery, response);
}

void TestHttpServer::setPage(
    const QString& pathAndQuery, const QByteArray& body, const QByteArray& contentType)
{
    Response response;
    response.body = body;
    response.contentType = contentType;
    setResponse(pathAndQuery, response);
}

void TestHttpServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        ++m_openConnections;
        connect(socket, &QTcpSocket::disconnected, this, [this] { --m_openConnections; });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            QByteArray request = socket->property("request").toByteArray() + socket->readAll();
            socket->setProperty("request", request);
            if (!request.contains("\r\n\r\n") || socket->property("answered").toBool())
                return;
            socket->setProperty("answered", true);
            const QList<QByteArray> requestLine = request.left(request.indexOf("\r\n")).split(' ');
            const QString target = requestLine.size() > 1 ? QString::fromLatin1(requestLine[1]) : QString();
            m_requests.append(target);
            emit requestReceived(target);

            Response response;
            if (const auto found = m_responses.constFind(target); found != m_responses.constEnd()) {
                response = *found;
            } else {
                response.status = 404;
                response.body = "<html><body>Not found</body></html>";
            }
            if (response.mode == Response::Mode::Hold)
                return;
            if (response.mode == Response::Mode::Raw) {
                socket->write(response.raw);
                if (response.endless.isEmpty())
                    socket->disconnectFromHost();
                else
                    sendEndlessly(socket, response.endless);
                return;
            }
            QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
            head += "Content-Type: " + response.contentType + "\r\n";
            head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
            head += "Connection: close\r\n";
            for (const auto& [name, value] : response.headers)
                head += name + ": " + value + "\r\n";
            head += "\r\n";
            socket->write(head);
            if (response.mode == Response::Mode::ResetMidBody) {
                socket->write(response.body.left(response.body.size() / 2));
                socket->flush();
                socket->abort();
                return;
            }
            socket->write(response.body);
            socket->disconnectFromHost();
        });
    }
}

void TestHttpServer::sendEndlessly(QTcpSocket* socket, const QByteArray& part)
{
    // Keeps about a megabyte queued: enough to keep the client busy, bounded however long it reads.
    const auto topUp = [socket, part] {
        while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 1024 * 1024) {
            if (socket->write(part) < 0)
                return;
        }
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, topUp);
    topUp();
}
