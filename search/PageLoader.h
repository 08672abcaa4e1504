#pragma once

#include "Browser.h"
#include "ByteBuffer.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

struct TransferFacts;

// The hidden browser: fetches one page at a time over HTTP and reports the end of each load once. The
// transfer runs on this object's thread, driven by its event loop; no other thread is involved. Stands in
// for an embedded browser; it renders nothing and runs no scripts.
class PageLoader : public QObject, public Browser
{
    Q_OBJECT

public:
    static constexpr qint64 MaxBodyBytes = 32 * 1024 * 1024;
    static constexpr qint64 MaxHeaderBytes = 64 * 1024;

    explicit PageLoader(QObject* parent = nullptr);
    ~PageLoader() override;

    void Navigate(const QUrl& url) override;
    void Stop() override;
    QByteArrayView BodyHtml() const override { return m_body; }
    bool LoadFailed() const override { return m_failed; }
    QString LoadError() const override { return m_error; }
    // The whole decoded document of the last reported load.
    QString documentText() const;

    // A load that takes longer than this fails; 0 (the default) waits as long as the network does.
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    // Trusts the certificate authorities in a PEM file in place of the system's bundle, from the next load
    // on. Only for tests, whose https servers show a certificate of their own; the program never calls it.
    void setCertificateAuthorities(const QString& pemFile);

signals:
    // Exactly once per navigation that was neither stopped nor superseded, on the thread of the loader.
    void DocumentComplete(const QUrl& url);

private:
    struct Transfer;

    void report(const TransferFacts& facts);

    QUrl m_url;
    // The page as it arrives, and a page converted to UTF-8: both kept with their capacity between pages.
    ByteBuffer m_received;
    QByteArray m_converted;
    QByteArray m_contentType;
    QByteArrayView m_body;
    QString m_error;
    bool m_failed = false;
    int m_timeoutMs = 0;
    quint64 m_navigations = 0;
    // Last, so that it goes first: its callbacks reach the members above until it is gone.
    std::unique_ptr<Transfer> m_transfer;
};
