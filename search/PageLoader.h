#pragma once

#include "Browser.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QNetworkAccessManager;
class QNetworkReply;

// The hidden browser: fetches one page at a time over HTTP and reports the end of each load once.
// Stands in for an embedded browser; it renders nothing and runs no scripts.
class PageLoader : public QObject, public Browser
{
    Q_OBJECT

public:
    static constexpr qint64 MaxBodyBytes = 32 * 1024 * 1024;

    explicit PageLoader(QObject* parent = nullptr);
    ~PageLoader() override;

    void Navigate(const QUrl& url) override;
    void Stop() override;
    QByteArrayView BodyHtml() const override { return m_bodyUtf8; }
    bool LoadFailed() const override { return m_failed; }
    QString LoadError() const override { return m_error; }
    // The whole decoded document of the last reported load.
    QString documentText() const { return m_document; }

    // A load that takes longer than this fails; 0 (the default) waits as long as the network does.
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

    // Decodes a document: the Content-Type charset, else a <meta> charset, else windows-1252.
    static QString decode(const QByteArray& bytes, const QByteArray& contentType);
    // The text between the <body ...> start tag and the last </body>, or the whole document without a body
    // tag.
    static QString bodyOf(const QString& document);

signals:
    // Exactly once per navigation that was neither stopped nor superseded, on the thread of the loader.
    void DocumentComplete(const QUrl& url);

private:
    void onReadyRead();
    void onFinished();
    void finish(const QUrl& url, bool failed, const QString& error);
    void dropReply();

    QNetworkAccessManager* m_network;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_received;
    QTimer m_timeout;
    int m_timeoutMs = 0;
    QString m_document;
    QString m_body;
    QByteArray m_bodyUtf8;
    QString m_error;
    bool m_failed = false;
};
