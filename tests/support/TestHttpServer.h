#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QStringList>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

// A tiny HTTP/1.1 server on 127.0.0.1 with a port chosen by the system, answering each path with a
// canned response. One request per connection. Raw answers stand in for broken or hostile sites: any bytes,
// also ones that never end (made as the client reads them, never held whole).
class TestHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Response
    {
        enum class Mode
        {
            Complete, // headers and the whole body
            ResetMidBody, // a Content-Length for the whole body, half of it, then the connection drops
            Hold, // reads the request and never answers
            Raw, // `raw` as it is, then `endless` again and again until the client goes away, else a close
        };
        int status = 200;
        QByteArray contentType = "text/html";
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        Mode mode = Mode::Complete;
        QByteArray raw {};
        QByteArray endless {};
    };

    explicit TestHttpServer(QObject* parent = nullptr);

    bool listen();
    quint16 port() const;
    QString base() const; // "http://127.0.0.1:<port>"
    QUrl url(const QString& pathAndQuery) const;

    // Keyed by path and query, e.g. "/proxy_list.php?showpage=3".
    void setResponse(const QString& pathAndQuery, const Response& response);
    void setPage(
        const QString& pathAndQuery, const QByteArray& body, const QByteArray& contentType = "text/html");

    // Paths and queries in the order they arrived.
    QStringList requests() const { return m_requests; }
    // Connections the clients have not closed yet.
    int openConnections() const { return m_openConnections; }

signals:
    void requestReceived(const QString& pathAndQuery);

private:
    void onNewConnection();
    static void sendEndlessly(QTcpSocket* socket, const QByteArray& part);

    QTcpServer m_server;
    QHash<QString, Response> m_responses;
    QStringList m_requests;
    int m_openConnections = 0;
};
