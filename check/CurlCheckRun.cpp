#include "CurlCheckRun.h"

#include "CurlErrorText.h"

#include "JudgeAnswer.h"

#include <QUrl>

#include <algorithm>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// The address a socket is about to connect to, as text; empty for a kind of address that is neither.
QString addressText(const sockaddr* address)
{
    char text[INET6_ADDRSTRLEN] = {};
    const void* bytes = nullptr;
    if (address->sa_family == AF_INET)
        bytes = &reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
    else if (address->sa_family == AF_INET6)
        bytes = &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
    if (bytes == nullptr || inet_ntop(address->sa_family, bytes, text, sizeof text) == nullptr)
        return {};
    return QString::fromLatin1(text);
}

bool isTlsError(CURLcode result)
{
    switch (result) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_CLIENTCERT:
        return true;
    default:
        return false;
    }
}

} // namespace

// One check at a time on one easy handle: the row, the nonce sent, and what came back, bounded.
struct CurlCheckRun::Check
{
    explicit Check(const CurlCheckRun& owner)
        : run(owner)
        , easy(curl_easy_init())
    { }
    ~Check() { curl_easy_cleanup(easy); }
    Check(const Check&) = delete;
    Check& operator=(const Check&) = delete;

    static size_t onBody(char* data, size_t size, size_t count, void* check);
    static size_t onHeader(char* data, size_t size, size_t count, void* check);
    static curl_socket_t onOpenSocket(void* check, curlsocktype purpose, curl_sockaddr* address);

    // Readies the handle for a GET of `url` through `proxy` ("" for none), of `kind`.
    void prepare(const QUrl& url, const QByteArray& proxy, curl_proxytype kind, int timeoutMs);

    const CurlCheckRun& run;
    CURL* easy;
    char errorText[CURL_ERROR_SIZE] = {};
    qsizetype index = -1;
    QString nonce;
    QByteArray body;
    qsizetype headerBytes = 0;
    bool tooLarge = false;
    QString refusal; // the guard's word on where the check would have connected
};

size_t CurlCheckRun::Check::onBody(char* data, size_t size, size_t count, void* check)
{
    auto& self = *static_cast<Check*>(check);
    const size_t total = size * count;
    const auto bytes = qsizetype(total);
    if (self.body.size() + bytes > JudgeAnswer::MostBytes) {
        self.tooLarge = true;
        return 0;
    }
    self.body.append(data, bytes);
    return size * count;
}

size_t CurlCheckRun::Check::onHeader(char*, size_t size, size_t count, void* check)
{
    auto& self = *static_cast<Check*>(check);
    // The headers of every answer on the way are bounded as the body is.
    const size_t total = size * count;
    self.headerBytes += qsizetype(total);
    if (self.headerBytes > JudgeAnswer::MostBytes) {
        self.tooLarge = true;
        return 0;
    }
    return size * count;
}

curl_socket_t CurlCheckRun::Check::onOpenSocket(void* check, curlsocktype purpose, curl_sockaddr* address)
{
    auto& self = *static_cast<Check*>(check);
    if (purpose == CURLSOCKTYPE_IPCXN) {
        // The last word on where a check goes: the address the connection is about to be made to, after
        // any resolving.
        const QString text = addressText(&address->addr);
        const QStringView refusal
            = text.isEmpty() ? CheckNetworks::OutsideNetworks : self.run.options().networks.refusal(text);
        if (!refusal.isEmpty()) {
            self.refusal = refusal.toString();
            return CURL_SOCKET_BAD;
        }
    }
    return socket(address->family, address->socktype, address->protocol);
}

void CurlCheckRun::Check::prepare(
    const QUrl& url, const QByteArray& proxy, curl_proxytype kind, int timeoutMs)
{
    curl_easy_reset(easy);
    body.clear();
    headerBytes = 0;
    tooLarge = false;
    refusal.clear();
    errorText[0] = 0;
    curl_easy_setopt(easy, CURLOPT_URL, url.toEncoded().constData());
    curl_easy_setopt(easy, CURLOPT_PROXY, proxy.constData());
    curl_easy_setopt(easy, CURLOPT_PROXYTYPE, long(kind));
    // Every host through the proxy, loopback ones too, whatever the environment says.
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(timeoutMs));
    // Each check on a connection of its own, closed when it ends.
    curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // No name kept for later: each proxy is asked once, and a cache of thousands of addresses is walked
    // at every transfer.
    curl_easy_setopt(easy, CURLOPT_DNS_CACHE_TIMEOUT, 0L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Mozilla/5.0");
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, onOpenSocket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
}

CurlCheckRun::CurlCheckRun(CheckOptions options, QObject* parent)
    : CheckRun(std::move(options), parent)
{ }

CurlCheckRun::~CurlCheckRun()
{
    // The multi handle lets go of every easy handle before the handles go.
    stopTransfers();
}

void CurlCheckRun::checkRows(const QList<qsizetype>& indices)
{
    m_indices = indices;
    m_next = 0;
    askJudge();
}

void CurlCheckRun::askJudge()
{
    m_judge = std::make_unique<Check>(*this);
    m_judge->nonce = JudgeAnswer::newNonce();
    m_judge->prepare(JudgeAnswer::addressWithNonce(options().judge, m_judge->nonce), QByteArray(),
        CURLPROXY_HTTP, options().timeoutMs);
    if (!m_multi.add(
            m_judge->easy, [this](CURLcode result) { judgeAnswered(result); }, CurlMulti::Connection::Own))
        judgeAnswered(CURLE_FAILED_INIT);
}

void CurlCheckRun::judgeAnswered(CURLcode result)
{
    const CheckResult direct = resultOf(*m_judge, result);
    if (direct.answered) {
        m_ourAddress = JudgeAnswer::read(m_judge->body, m_judge->nonce).address();
        startChecks();
        return;
    }
    // Without the judge no proxy can be judged: every row says why.
    const QString reason = u"not checked: the judge did not answer (%1)"_s.arg(direct.reason);
    for (; m_next < m_indices.size() && !m_stopped; ++m_next)
        report(m_indices[m_next], CheckResult::noAnswer(reason));
}

void CurlCheckRun::startChecks()
{
    const qsizetype wanted = std::min<qsizetype>(options().concurrency, m_indices.size());
    while (qsizetype(m_checks.size()) < wanted && m_next < m_indices.size() && !m_stopped) {
        m_checks.push_back(std::make_unique<Check>(*this));
        startCheck(*m_checks.back(), m_indices[m_next++]);
    }
}

void CurlCheckRun::startCheck(Check& check, qsizetype index)
{
    const CheckRow& proxy = row(index);
    // SOCKS proxies resolve the judge's name themselves.
    const curl_proxytype kind = proxy.kind == ProxyKind::Socks5 ? CURLPROXY_SOCKS5_HOSTNAME
        : proxy.kind == ProxyKind::Socks4a                      ? CURLPROXY_SOCKS4A
                                                                : CURLPROXY_HTTP;
    check.index = index;
    check.nonce = JudgeAnswer::newNonce();
    const QString host = proxy.address.contains(u':') ? u'[' + proxy.address + u']' : proxy.address;
    check.prepare(JudgeAnswer::addressWithNonce(options().judge, check.nonce),
        (host + u':' + QString::number(proxy.port)).toUtf8(), kind, options().timeoutMs);
    if (!m_multi.add(
            check.easy, [this, &check](CURLcode result) { finish(check, result); },
            CurlMulti::Connection::Own))
        finish(check, CURLE_FAILED_INIT);
}

void CurlCheckRun::finish(Check& check, CURLcode result)
{
    const qsizetype index = check.index;
    check.index = -1;
    report(index, resultOf(check, result));
    // A slot may have stopped the run; otherwise the handle goes on with the next row.
    if (!m_stopped && m_next < m_indices.size())
        startCheck(check, m_indices[m_next++]);
}

CheckResult CurlCheckRun::resultOf(Check& check, CURLcode result) const
{
    if (!check.refusal.isEmpty())
        return CheckResult::noAnswer(check.refusal);
    if (check.tooLarge)
        return CheckResult::noAnswer(CheckResult::TooLarge.toString());
    if (result == CURLE_OPERATION_TIMEDOUT)
        return CheckResult::noAnswer(CheckResult::TimedOut.toString());
    if (result == CURLE_COULDNT_CONNECT)
        return CheckResult::noAnswer(CheckResult::Refused.toString());
    if (isTlsError(result))
        return CheckResult::noAnswer(CheckResult::TlsError.toString());
    if (result != CURLE_OK)
        return CheckResult::noAnswer(curlErrorText(result, check.errorText));
    long status = 0;
    curl_easy_getinfo(check.easy, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200)
        return CheckResult::noAnswer(CheckResult::proxySaid(int(status)));
    const JudgeAnswer answer = JudgeAnswer::read(check.body, check.nonce);
    if (!answer.isValid())
        return CheckResult::noAnswer(answer.failure().toString());
    curl_off_t microseconds = 0;
    curl_easy_getinfo(check.easy, CURLINFO_TOTAL_TIME_T, &microseconds);
    return CheckResult::answer(
        qint64(microseconds / 1000), m_ourAddress ? answer.anonymity(*m_ourAddress) : Anonymity::Elite);
}

void CurlCheckRun::stopChecks()
{
    stopTransfers();
}

void CurlCheckRun::stopTransfers()
{
    m_stopped = true;
    // Out of the multi handle, each connection is closed at once.
    if (m_judge)
        m_multi.remove(m_judge->easy);
    for (const auto& check : m_checks)
        m_multi.remove(check->easy);
}
