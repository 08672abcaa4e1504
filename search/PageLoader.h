#pragma once

#include "Loader.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class CurlMulti;
class HttpTransfer;
struct TransferFacts;

// The loader, the window's hidden browser: fetches one page at a time over HTTP and reports the end of each
// load once. The transfer runs on this object's thread, driven by its event loop; no other thread is
// involved. Stands in for an embedded browser; it renders nothing and runs no scripts.
class PageLoader : public QObject, public Loader
{
    Q_OBJECT

public:
    explicit PageLoader(QObject* parent = nullptr);
    ~PageLoader() override;

    void Navigate(const QUrl& url) override;
    void Stop() override;
    QByteArrayView bodyHtml() const override { return m_body; }
    bool loadFailed() const override { return m_failed; }
    QString loadError() const override { return m_error; }
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
    void report(const TransferFacts& facts);

    QUrl m_url;
    // A page converted to UTF-8, kept with its capacity between pages; the page as it arrives is the
    // transfer's.
    QByteArray m_converted;
    QByteArrayView m_body;
    QString m_error;
    bool m_failed = false;
    int m_timeoutMs = 0;
    quint64 m_navigations = 0;
    // The multi handle first, so that it goes last: the transfer leaves it when the transfer goes.
    std::unique_ptr<CurlMulti> m_multi;
    std::unique_ptr<HttpTransfer> m_transfer;
};
