#pragma once

#include "Anonymity.h"
#include "IpAddress.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QUrl>

#include <array>

// The judge's page, read strictly: what reached the judge through a proxy. A text/plain page of lines,
// each ending in a line feed, first line first:
//
//   tarnwick-judge 1
//   nonce N                 the nonce the request carried
//   address A               the address the request came from
//   header Name: value      one line per request header, in the order received; zero or more
//
// A backslash is written "\\" and any other byte the judge would not write as it is "\xHH". Nothing else
// may stand on the page: a proxy that prepends, appends, cuts or rewrites it no longer returns a judge's
// answer.
class JudgeAnswer
{
public:
    // An answer is the nonce, an address and the request's headers, a few hundred bytes; one much longer
    // is no judge's, and reading it would only cost memory.
    static constexpr qsizetype MostBytes = 64 * 1024;
    // Headers a proxy adds to tell where a request came from. Host and the rest never count.
    static constexpr std::array<QStringView, 8> ProxyHeaders = { u"Via", u"X-Forwarded-For", u"Forwarded",
        u"X-Real-IP", u"Client-IP", u"X-Proxy-ID", u"X-Forwarded", u"Forwarded-For" };

    struct Header
    {
        QString name;
        QString value;
    };

    // The answer `body` holds, or a failure: CheckResult::TooLarge or CheckResult::NotAJudgeAnswer.
    static JudgeAnswer read(QByteArrayView body);
    // As read(), and the answer must carry `nonce`, else the failure is CheckResult::NonceMissing.
    static JudgeAnswer read(QByteArrayView body, QStringView nonce);

    bool isValid() const { return m_failure.isEmpty(); }
    // Why `body` is no answer; empty when it is one.
    QStringView failure() const { return m_failure; }
    const QString& nonce() const { return m_nonce; }
    const IpAddress& address() const { return m_address; }
    const QList<Header>& headers() const { return m_headers; }

    // What the headers tell about `ours`, our own address as the judge saw a request without a proxy:
    // transparent when a proxy header carries it, anonymous when a proxy header is there without it, elite
    // when there is none.
    Anonymity anonymity(const IpAddress& ours) const;

    // A fresh nonce for one request: 16 hexadecimal digits from the system's random source, so no proxy
    // can guess it and answer from a page it kept.
    static QString newNonce();
    // `judge` with the query item nonce=`nonce`, in place of any nonce it had.
    static QUrl addressWithNonce(const QUrl& judge, const QString& nonce);

private:
    QStringView m_failure;
    QString m_nonce;
    IpAddress m_address;
    QList<Header> m_headers;
};
