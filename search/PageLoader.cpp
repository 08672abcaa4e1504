#include "PageLoader.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>

#include <array>

namespace {

// Labels that browsers decode as windows-1252, the Latin-1 names among them.
constexpr std::array Windows1252Labels = {
    "ansi_x3.4-1968",
    "ascii",
    "cp1252",
    "cp819",
    "csisolatin1",
    "ibm819",
    "iso-8859-1",
    "iso-ir-100",
    "iso8859-1",
    "iso88591",
    "iso_8859-1",
    "iso_8859-1:1987",
    "l1",
    "latin1",
    "us-ascii",
    "windows-1252",
    "x-cp1252",
};

constexpr std::array<char16_t, 32> Windows1252High = {
    0x20AC,
    0x0081,
    0x201A,
    0x0192,
    0x201E,
    0x2026,
    0x2020,
    0x2021,
    0x02C6,
    0x2030,
    0x0160,
    0x2039,
    0x0152,
    0x008D,
    0x017D,
    0x008F,
    0x0090,
    0x2018,
    0x2019,
    0x201C,
    0x201D,
    0x2022,
    0x2013,
    0x2014,
    0x02DC,
    0x2122,
    0x0161,
    0x203A,
    0x0153,
    0x009D,
    0x017E,
    0x0178,
};

// Our own table, so the fallback needs no codec library on any platform. Latin-1 conversion (vectorised
// in Qt) does all but the bytes 0x80 to 0x9F, which windows-1252 maps elsewhere.
QString decodeWindows1252(const QByteArray& bytes)
{
    QString text = QString::fromLatin1(bytes);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (out[i] >= 0x80 && out[i] < 0xA0)
            out[i] = Windows1252High[out[i] - 0x80];
    }
    return text;
}

QByteArray charsetToken(QByteArrayView text, qsizetype from)
{
    qsizetype i = from;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    if (i >= text.size() || text[i] != '=')
        return {};
    ++i;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '"' || text[i] == '\''))
        ++i;
    const qsizetype begin = i;
    while (i < text.size()) {
        const char c = text[i];
        const bool tokenChar = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'
            || c == '.' || c == ':';
        if (!tokenChar)
            break;
        ++i;
    }
    return text.sliced(begin, i - begin).toByteArray();
}

// The charset named by a Content-Type value such as `text/html; charset="utf-8"`.
QByteArray charsetFromContentType(const QByteArray& contentType)
{
    const QByteArray lower = contentType.toLower();
    const qsizetype at = lower.indexOf("charset");
    return at < 0 ? QByteArray() : charsetToken(lower, at + 7);
}

// The charset of a <meta charset=...> or <meta http-equiv ... content="...; charset=..."> near the start.
QByteArray charsetFromMeta(const QByteArray& bytes)
{
    const QByteArray head = bytes.left(4096).toLower();
    qsizetype meta = 0;
    while ((meta = head.indexOf("<meta", meta)) >= 0) {
        qsizetype end = head.indexOf('>', meta);
        if (end < 0)
            end = head.size();
        const QByteArrayView tag = QByteArrayView(head).sliced(meta, end - meta);
        const qsizetype at = tag.indexOf("charset");
        if (at >= 0) {
            QByteArray token = charsetToken(tag, at + 7);
            if (!token.isEmpty())
                return token;
        }
        meta = end;
    }
    return {};
}

bool decodeWith(const QByteArray& label, const QByteArray& bytes, QString& text)
{
    if (label.isEmpty())
        return false;
    for (const char* name : Windows1252Labels) {
        if (label == name) {
            text = decodeWindows1252(bytes);
            return true;
        }
    }
    if (label == "utf-8" || label == "utf8" || label == "unicode-1-1-utf-8") {
        QStringDecoder decoder(QStringDecoder::Utf8);
        text = decoder(bytes);
        return true;
    }
    QStringDecoder decoder(label.constData());
    if (!decoder.isValid())
        return false;
    text = decoder(bytes);
    return true;
}

// Whether fewer body bytes arrived than the reply announced. The network layer sometimes takes a connection
// that closes early for the end of the page, and a page cut short must not pass for a whole one. A
// compressed body is announced by its compressed size, which cannot be checked here.
bool isTruncated(const QNetworkReply& reply, qint64 received)
{
    const QVariant announced = reply.header(QNetworkRequest::ContentLengthHeader);
    const QByteArray encoding = reply.rawHeader("Content-Encoding").trimmed().toLower();
    if (!announced.isValid() || (!encoding.isEmpty() && encoding != "identity"))
        return false;
    return received < announced.toLongLong();
}

} // namespace

PageLoader::PageLoader(QObject* parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
{
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] {
        if (!m_reply)
            return;
        const QUrl url = m_reply->request().url();
        dropReply();
        finish(url, true, tr("The page took too long to load"));
    });
}

PageLoader::~PageLoader()
{
    dropReply();
}

void PageLoader::Navigate(const QUrl& url)
{
    dropReply();
    m_received.clear();
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &PageLoader::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &PageLoader::onFinished);
    if (m_timeoutMs > 0)
        m_timeout.start(m_timeoutMs);
}

void PageLoader::Stop()
{
    dropReply();
    m_received.clear();
}

void PageLoader::dropReply()
{
    m_timeout.stop();
    if (!m_reply)
        return;
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    // Disconnect first: abort() emits finished() at once, and a dropped load is never reported.
    disconnect(reply, nullptr, this, nullptr);
    reply->abort();
    reply->deleteLater();
}

void PageLoader::onReadyRead()
{
    if (!m_reply)
        return;
    m_received += m_reply->readAll();
    if (m_received.size() > MaxBodyBytes) {
        const QUrl url = m_reply->request().url();
        dropReply();
        m_received.clear();
        finish(url, true, tr("The page is larger than 32 MiB"));
    }
}

void PageLoader::onFinished()
{
    if (!m_reply)
        return;
    QNetworkReply* reply = m_reply;
    const QUrl url = reply->request().url();
    m_received += reply->readAll();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    QString error;
    if (reply->error() != QNetworkReply::NoError)
        error = reply->errorString();
    else if (status.isValid() && status.toInt() >= 300)
        error = tr("The server answered with status %1").arg(status.toInt());
    else if (m_received.size() > MaxBodyBytes)
        error = tr("The page is larger than 32 MiB");
    else if (isTruncated(*reply, m_received.size()))
        error = tr("The connection closed before the whole page arrived");
    const QByteArray contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    dropReply();

    QByteArray bytes = std::exchange(m_received, {});
    if (!error.isEmpty()) {
        finish(url, true, error);
        return;
    }
    m_document = decode(bytes, contentType);
    m_body = bodyOf(m_document);
    m_bodyUtf8 = m_body.toUtf8();
    finish(url, false, {});
}

void PageLoader::finish(const QUrl& url, bool failed, const QString& error)
{
    m_failed = failed;
    m_error = error;
    if (failed) {
        m_document.clear();
        m_body.clear();
        m_bodyUtf8.clear();
    }
    // Nothing of this load is held past here: the handler may navigate again or yield to other events.
    emit DocumentComplete(url);
}

QString PageLoader::decode(const QByteArray& bytes, const QByteArray& contentType)
{
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        QStringDecoder decoder(QStringDecoder::Utf8);
        return decoder(bytes);
    }
    if (decodeWith(charsetFromContentType(contentType), bytes, text))
        return text;
    if (decodeWith(charsetFromMeta(bytes), bytes, text))
        return text;
    return decodeWindows1252(bytes);
}

QString PageLoader::bodyOf(const QString& document)
{
    const QStringView text(document);
    qsizetype tag = 0;
    while ((tag = text.indexOf(u"<body", tag, Qt::CaseInsensitive)) >= 0) {
        const qsizetype after = tag + 5;
        if (after >= text.size())
            return document;
        const QChar next = text[after];
        if (next == u'>' || next == u'/' || next.isSpace())
            break;
        tag = after;
    }
    if (tag < 0)
        return document;
    // The start tag ends at the first '>' outside a quoted attribute value.
    QChar quote;
    qsizetype i = tag + 5;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'>') {
            break;
        }
    }
    if (i >= text.size())
        return QString();
    const qsizetype begin = i + 1;
    // The last end tag, as a browser moves whatever follows an early one back into the body; searching
    // from the end also finds it at once in a large page.
    qsizetype end = text.lastIndexOf(u"</body", -1, Qt::CaseInsensitive);
    if (end < begin)
        end = -1;
    return text.sliced(begin, (end < 0 ? text.size() : end) - begin).toString();
}
