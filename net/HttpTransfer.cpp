#include "HttpTransfer.h"

#include "CurlErrorText.h"

#include "CurlMulti.h"

#include <QFile>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

HttpTransfer::HttpTransfer(CurlMulti& multi, Finished finished)
    : m_multi(multi)
    , m_finished(std::move(finished))
    , m_easy(curl_easy_init())
{
    curl_easy_setopt(m_easy, CURLOPT_ERRORBUFFER, m_errorText);
    curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(m_easy, CURLOPT_MAXREDIRS, 50L);
    // No proxy from the environment: pages go straight to the site.
    curl_easy_setopt(m_easy, CURLOPT_PROXY, "");
    curl_easy_setopt(m_easy, CURLOPT_USERAGENT, "Mozilla/5.0");
    // Compressed bodies come as they are and are inflated by the answer's reader, where the end of the
    // stream can be checked.
    curl_easy_setopt(m_easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    curl_easy_setopt(m_easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(m_easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(AnswerReader::MaxBodyBytes));
    curl_easy_setopt(m_easy, CURLOPT_BUFFERSIZE, 256L * 1024);
    curl_easy_setopt(m_easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(m_easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_PREREQFUNCTION, onRequest);
    curl_easy_setopt(m_easy, CURLOPT_PREREQDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, this);
}

HttpTransfer::~HttpTransfer()
{
    abandon();
    curl_easy_cleanup(m_easy);
}

void HttpTransfer::setCertificateAuthorities(const QString& pemFile)
{
    curl_easy_setopt(m_easy, CURLOPT_CAINFO, QFile::encodeName(pemFile).constData());
}

bool HttpTransfer::start(const QUrl& url, int timeoutMs)
{
    abandon();
    m_answer.startExchange();
    m_errorText[0] = 0;
    m_started.start();
    curl_easy_setopt(m_easy, CURLOPT_URL, url.toEncoded(QUrl::RemoveFragment).constData());
    // Never from https down to http.
    curl_easy_setopt(m_easy, CURLOPT_REDIR_PROTOCOLS_STR, url.scheme() == u"https" ? "https" : "http,https");
    curl_easy_setopt(m_easy, CURLOPT_TIMEOUT_MS, long(std::max(timeoutMs, 0)));
    m_active = m_multi.add(m_easy, [this](CURLcode result) { end(result); });
    return m_active;
}

void HttpTransfer::abandon()
{
    if (!m_active)
        return;
    m_active = false;
    m_multi.remove(m_easy);
}

void HttpTransfer::end(CURLcode result)
{
    m_active = false;
    TransferFacts& facts = m_answer.facts();
    // The network library times the last redirect only, though the limit holds for the whole transfer.
    if (result == CURLE_OPERATION_TIMEDOUT)
        facts.transferError = u"The page timed out after %1 milliseconds"_s.arg(m_started.elapsed());
    else if (result != CURLE_OK)
        facts.transferError = curlErrorText(result, m_errorText);
    curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &facts.status);
    // Nothing follows the handler here: it may start the next transfer.
    m_finished(facts);
}

int HttpTransfer::onRequest(void* transfer, char*, char*, int, int)
{
    static_cast<HttpTransfer*>(transfer)->m_answer.requestSent();
    return CURL_PREREQFUNC_OK;
}

size_t HttpTransfer::onHeader(char* data, size_t size, size_t count, void* transfer)
{
    const QByteArrayView line(data, qsizetype(size * count));
    return static_cast<HttpTransfer*>(transfer)->m_answer.takeHeader(line) ? size * count : 0;
}

size_t HttpTransfer::onBody(char* data, size_t size, size_t count, void* transfer)
{
    const QByteArrayView bytes(data, qsizetype(size * count));
    return static_cast<HttpTransfer*>(transfer)->m_answer.takeBody(bytes) ? size * count : 0;
}
