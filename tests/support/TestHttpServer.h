#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QStringList>
#include <QTcpServer>
#include <QUrl>

// A tiny HTTP/1.1 server on 127.0.0.1 with a port chosen by the system, answering each path with a
// canned response. One request per connection.
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
        };
        int status = 200;
        QByteArray contentType = "text/html";
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        Mode mode = Mode::Complete;
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

signals:
    void requestReceived(const QString& pathAndQuery);

private:
    void onNewConnection();

    QTcpServer m_server;
    QHash<QString, Response> m_responses;
    QStringList m_requests;
};
