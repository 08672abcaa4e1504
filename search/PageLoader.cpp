#include "PageLoader.h"

#include "HtmlBody.h"
#include "PageCharset.h"
#include "PageVerdict.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

#include <curl/curl.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

using namespace Qt::Literals::StringLiterals;

namespace {

// A Content-Length value: decimal digits only, and few enough to be a length at all; -1 for anything else.
qint64 parseLength(QByteArrayView value)
{
    if (value.isEmpty() || value.size() > 18)
        return -1;
    qint64 length = 0;
    for (const char c : value) {
        if (c < '0' || c > '9')
            return -1;
        length = length * 10 + (c - '0');
    }
    return length;
}

// Whether a status line opens an interim answer, after which the same request is answered again. 101
// switches protocols, which the network library takes for the end of the headers: not interim.
bool isInterimStatusLine(QByteArrayView line)
{
    const qsizetype space = line.indexOf(' ');
    if (space < 0 || line.size() < space + 4)
        return false;
    const QByteArrayView code = line.sliced(space + 1, 3);
    return code[0] == '1'
        && std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; })
        && code != "101";
}

// Whether a socket has something to read, its end or an error included, without waiting.
bool holdsBytes(curl_socket_t socket)
{
#ifdef Q_OS_WIN
    WSAPOLLFD watched { socket, POLLRDNORM, 0 };
    return WSAPoll(&watched, 1, 0) != 0;
#else
    pollfd watched { socket, POLLIN, 0 };
    return poll(&watched, 1, 0) != 0;
#endif
}

// The network library's reason, with any control character a server slipped into it made harmless.
QString transferErrorText(CURLcode result, const char* detail)
{
    QString text = QString::fromUtf8(*detail ? detail : curl_easy_strerror(result));
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u' ';
    }
    return text;
}

} // namespace

// The libcurl side of the loader: one easy handle, reused from page to page, in a multi handle whose
// sockets and timeout are watched by this thread's event loop. The loader is told of a finished transfer
// only after curl has returned and the handle is out of the multi handle, so it may navigate again at once.
struct PageLoader::Transfer
{
    struct Watch
    {
        QSocketNotifier* read;
        QSocketNotifier* write;
    };

    explicit Transfer(PageLoader& loader);
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    void start(const QUrl& url, int timeoutMs);
    void abandon();
    void makeMulti();

    // The callbacks curl calls, from inside curl_multi_socket_action and the like.
    static int onSocket(CURL*, curl_socket_t socket, int what, void* transfer, void*);
    static int onTimer(CURLM*, long milliseconds, void* transfer);
    static int onRequest(void* transfer, char*, char*, int, int);
    static int onSocketOpened(void* transfer, curl_socket_t socket, curlsocktype);
    static int onSocketClosing(void* transfer, curl_socket_t socket);
    static size_t onHeader(char* data, size_t size, size_t count, void* transfer);
    static size_t onBody(char* data, size_t size, size_t count, void* transfer);

    void watch(curl_socket_t socket, int what);
    QSocketNotifier* notifier(curl_socket_t socket, QSocketNotifier::Type type, int event);
    void act(curl_socket_t socket, int events);

    bool takeHeader(QByteArrayView line);
    bool takeBody(QByteArrayView data);
    bool keep(QByteArrayView data);
    bool refuse(TransferFacts::Refusal refusal);

    PageLoader& owner;
    CURLM* multi;
    CURL* easy;
    char errorText[CURL_ERROR_SIZE] = {};
    QTimer timer;
    QElapsedTimer started;
    QHash<curl_socket_t, Watch> sockets;
    // Every socket curl has open, from its creation to its closing: between pages, the connections it
    // keeps for the next one.
    QSet<curl_socket_t> open;
    z_stream zlib {};
    TransferFacts facts;
    qint64 headerBytes = 0; // of the whole exchange: every answer, interim and redirecting ones too
    bool statusLineNext = true; // the next header line starts an answer
    bool interim = false; // the answer is an interim (1xx) one
    bool chunked = false; // the answer named the chunked transfer coding
    bool active = false;
};

int PageLoader::Transfer::onSocket(CURL*, curl_socket_t socket, int what, void* transfer, void*)
{
    static_cast<Transfer*>(transfer)->watch(socket, what);
    return 0;
}

int PageLoader::Transfer::onTimer(CURLM*, long milliseconds, void* transfer)
{
    QTimer& timer = static_cast<Transfer*>(transfer)->timer;
    if (milliseconds < 0)
        timer.stop();
    else
        timer.start(int(std::min<long>(milliseconds, std::numeric_limits<int>::max())));
    return 0;
}

int PageLoader::Transfer::onRequest(void* transfer, char*, char*, int, int)
{
    // Each request, the page's own and each redirect's, is answered starting with a status line; until
    // then the header lines that follow a body are its trailers.
    static_cast<Transfer*>(transfer)->statusLineNext = true;
    return CURL_PREREQFUNC_OK;
}

int PageLoader::Transfer::onSocketOpened(void* transfer, curl_socket_t socket, curlsocktype)
{
    static_cast<Transfer*>(transfer)->open.insert(socket);
    return CURL_SOCKOPT_OK;
}

int PageLoader::Transfer::onSocketClosing(void* transfer, curl_socket_t socket)
{
    static_cast<Transfer*>(transfer)->open.remove(socket);
#ifdef Q_OS_WIN
    return closesocket(socket);
#else
    return close(socket);
#endif
}

size_t PageLoader::Transfer::onHeader(char* data, size_t size, size_t count, void* transfer)
{
    const QByteArrayView line(data, qsizetype(size * count));
    return static_cast<Transfer*>(transfer)->takeHeader(line) ? size * count : 0;
}

size_t PageLoader::Transfer::onBody(char* data, size_t size, size_t count, void* transfer)
{
    const QByteArrayView bytes(data, qsizetype(size * count));
    return static_cast<Transfer*>(transfer)->takeBody(bytes) ? size * count : 0;
}

PageLoader::Transfer::Transfer(PageLoader& loader)
    : owner(loader)
{
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    Q_UNUSED(initialised);
    makeMulti();
    easy = curl_easy_init();
    // 15 window bits, plus 32: a gzip or a zlib header, whichever the stream has.
    inflateInit2(&zlib, 15 + 32);
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &owner, [this] { act(CURL_SOCKET_TIMEOUT, 0); });

    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 50L);
    // No proxy from the environment: pages go straight to the site.
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Mozilla/5.0");
    // Compressed bodies come as they are and are inflated here, where the end of the stream can be checked.
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(MaxBodyBytes));
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 256L * 1024);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, onRequest);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, onSocketOpened);
    curl_easy_setopt(easy, CURLOPT_SOCKOPTDATA, this);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, onSocketClosing);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, this);
}

void PageLoader::Transfer::makeMulti()
{
    multi = curl_multi_init();
    curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, onSocket);
    curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, onTimer);
    curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this);
}

PageLoader::Transfer::~Transfer()
{
    abandon();
    curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);
    inflateEnd(&zlib);
}

void PageLoader::Transfer::start(const QUrl& url, int timeoutMs)
{
    facts = {};
    headerBytes = 0;
    statusLineNext = true;
    errorText[0] = 0;
    started.start();
    // A kept connection that holds bytes before its next request is even sent is out of step with its
    // server: curl would take them for the next answer. Closed with every other kept connection, as only
    // the multi handle's end closes them all, so the page goes out on a fresh one.
    if (std::any_of(open.begin(), open.end(), holdsBytes)) {
        curl_multi_cleanup(multi);
        timer.stop();
        makeMulti();
    }
    curl_easy_setopt(easy, CURLOPT_URL, url.toEncoded(QUrl::RemoveFragment).constData());
    // Never from https down to http.
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, url.scheme() == u"https" ? "https" : "http,https");
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(std::max(timeoutMs, 0)));
    active = curl_multi_add_handle(multi, easy) == CURLM_OK;
}

void PageLoader::Transfer::abandon()
{
    if (!active)
        return;
    active = false;
    // An unfinished transfer's connection is closed with it: nothing more is read from it.
    curl_multi_remove_handle(multi, easy);
}

void PageLoader::Transfer::watch(curl_socket_t socket, int what)
{
    auto found = sockets.find(socket);
    if (what == CURL_POLL_REMOVE) {
        if (found == sockets.end())
            return;
        // Possibly from inside the notifier's own signal: disable now, delete later.
        for (QSocketNotifier* notifier : { found->read, found->write }) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
        sockets.erase(found);
        return;
    }
    if (found == sockets.end()) {
        found = sockets.insert(socket,
            { notifier(socket, QSocketNotifier::Read, CURL_CSELECT_IN),
                notifier(socket, QSocketNotifier::Write, CURL_CSELECT_OUT) });
    }
    found->read->setEnabled(what == CURL_POLL_IN || what == CURL_POLL_INOUT);
    found->write->setEnabled(what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
}

QSocketNotifier* PageLoader::Transfer::notifier(curl_socket_t socket, QSocketNotifier::Type type, int event)
{
    auto* notifier = new QSocketNotifier(qintptr(socket), type, &owner);
    notifier->setEnabled(false);
    QObject::connect(
        notifier, &QSocketNotifier::activated, &owner, [this, socket, event] { act(socket, event); });
    return notifier;
}

void PageLoader::Transfer::act(curl_socket_t socket, int events)
{
    int running = 0;
    curl_multi_socket_action(multi, socket, events, &running);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg != CURLMSG_DONE || message->easy_handle != easy || !active)
            continue;
        const CURLcode result = message->data.result;
        // The network library times the last redirect only, though the limit holds for the whole load.
        if (result == CURLE_OPERATION_TIMEDOUT)
            facts.transferError = u"The page timed out after %1 milliseconds"_s.arg(started.elapsed());
        else if (result != CURLE_OK)
            facts.transferError = transferErrorText(result, errorText);
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &facts.status);
        abandon();
        // Out of curl's calls now; the report may start the next transfer, so nothing follows it here.
        owner.report(facts);
        return;
    }
}

bool PageLoader::Transfer::refuse(TransferFacts::Refusal refusal)
{
    if (facts.refusal == TransferFacts::Refusal::None)
        facts.refusal = refusal;
    return false;
}

bool PageLoader::Transfer::takeHeader(QByteArrayView line)
{
    using Refusal = TransferFacts::Refusal;
    headerBytes += line.size();
    if (headerBytes > MaxHeaderBytes)
        return refuse(Refusal::HeadersTooLarge);
    if (statusLineNext) {
        // A new answer: an interim one, one that redirects, or the page's own. Only here: a header line
        // that merely looks like a status line is a header like any other. No refusal comes before it, as
        // a refusal ends the transfer.
        statusLineNext = false;
        interim = isInterimStatusLine(line);
        facts = {};
        chunked = false;
        owner.m_received.clear();
        owner.m_contentType.clear();
        return true;
    }
    if (interim) {
        // Says nothing of the page: passed over whole, and another answer follows it.
        statusLineNext = line.trimmed().isEmpty();
        return true;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon < 0) {
        if (line.trimmed().isEmpty()) {
            // The end of the headers. Room for an announced plain body at once, within the cap.
            facts.headersEnded = true;
            if (facts.compressed)
                inflateReset(&zlib);
            else if (facts.announcedLength >= 0 && facts.announcedLength <= MaxBodyBytes)
                owner.m_received.reserve(facts.announcedLength);
        }
        return true;
    }
    const QByteArrayView name = line.first(colon).trimmed();
    const QByteArrayView value = line.sliced(colon + 1).trimmed();
    if (name.compare("content-length", Qt::CaseInsensitive) == 0) {
        const qint64 length = parseLength(value);
        if (length < 0)
            return refuse(Refusal::BadLength);
        if (facts.announcedLength >= 0 && facts.announcedLength != length)
            return refuse(Refusal::ConflictingLengths);
        facts.announcedLength = length;
    } else if (name.compare("content-encoding", Qt::CaseInsensitive) == 0) {
        const QByteArray coding = value.toByteArray().toLower();
        if (coding.isEmpty() || coding == "identity")
            return true;
        // Only what was asked for, and only once.
        if (facts.compressed || (coding != "gzip" && coding != "x-gzip" && coding != "deflate"))
            return refuse(Refusal::UnknownEncoding);
        facts.compressed = true;
    } else if (name.compare("transfer-encoding", Qt::CaseInsensitive) == 0) {
        // The framing is either the connection's end or one layer of chunks: anything else is framed in
        // a way the network library reads differently from the server, or not at all.
        for (qsizetype from = 0; from <= value.size();) {
            qsizetype comma = value.indexOf(',', from);
            if (comma < 0)
                comma = value.size();
            const QByteArrayView coding = value.sliced(from, comma - from).trimmed();
            from = comma + 1;
            if (coding.isEmpty() || coding.compare("identity", Qt::CaseInsensitive) == 0)
                continue;
            if (chunked || coding.compare("chunked", Qt::CaseInsensitive) != 0)
                return refuse(Refusal::UnknownTransferCoding);
            chunked = true;
        }
    } else if (name.compare("content-type", Qt::CaseInsensitive) == 0) {
        owner.m_contentType = value.toByteArray();
    }
    return true;
}

bool PageLoader::Transfer::takeBody(QByteArrayView data)
{
    using Refusal = TransferFacts::Refusal;
    facts.bodyBytes += data.size();
    if (facts.bodyBytes > MaxBodyBytes)
        return refuse(Refusal::TooLarge);
    if (!facts.compressed)
        return keep(data);
    if (facts.compressedEnded)
        return refuse(Refusal::DamagedCompression); // bytes after the end of the stream
    zlib.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zlib.avail_in = uInt(data.size());
    std::array<char, 64 * 1024> out;
    do {
        zlib.next_out = reinterpret_cast<Bytef*>(out.data());
        zlib.avail_out = uInt(out.size());
        const int result = inflate(&zlib, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
            return refuse(Refusal::DamagedCompression);
        if (!keep(QByteArrayView(out.data(), qsizetype(out.size() - zlib.avail_out))))
            return false;
        if (result == Z_STREAM_END) {
            facts.compressedEnded = true;
            return zlib.avail_in == 0 || refuse(Refusal::DamagedCompression);
        }
    } while (zlib.avail_in > 0 || zlib.avail_out == 0);
    return true;
}

bool PageLoader::Transfer::keep(QByteArrayView data)
{
    ByteBuffer& received = owner.m_received;
    if (received.size() + data.size() > MaxBodyBytes)
        return refuse(TransferFacts::Refusal::TooLarge);
    // Past a megabyte without an announced length, room up to the cap at once: growing step by step holds
    // the old and the new copy together, half as much again as the page.
    const qsizetype needed = received.size() + data.size();
    if (needed > received.capacity() && needed > 1024 * 1024)
        received.reserve(MaxBodyBytes);
    received.append(data);
    return true;
}

PageLoader::PageLoader(QObject* parent)
    : QObject(parent)
    , m_transfer(std::make_unique<Transfer>(*this))
{ }

PageLoader::~PageLoader() = default;

void PageLoader::setCertificateAuthorities(const QString& pemFile)
{
    curl_easy_setopt(m_transfer->easy, CURLOPT_CAINFO, QFile::encodeName(pemFile).constData());
}

void PageLoader::Navigate(const QUrl& url)
{
    m_transfer->abandon();
    m_url = url;
    m_received.clear();
    m_contentType.clear();
    m_body = {};
    m_failed = false;
    m_error.clear();
    const quint64 navigation = ++m_navigations;
    m_transfer->start(url, m_timeoutMs);
    if (!m_transfer->active) {
        // Reported later all the same, as the contract has it, unless another navigation comes first.
        QMetaObject::invokeMethod(
            this,
            [this, navigation] {
                if (navigation != m_navigations)
                    return;
                TransferFacts facts;
                facts.transferError = u"The load could not be started"_s;
                report(facts);
            },
            Qt::QueuedConnection);
    }
}

void PageLoader::Stop()
{
    ++m_navigations;
    if (!m_transfer->active)
        return;
    m_transfer->abandon();
    m_received.clear();
}

void PageLoader::report(const TransferFacts& facts)
{
    const PageVerdict verdict = judge(facts);
    m_failed = verdict.failed;
    m_error = verdict.reason;
    if (m_failed)
        m_received.clear();
    else
        m_body = HtmlBody::bodyOf(PageCharset::utf8(m_received.view(), m_contentType, m_converted));
    // Nothing of this load is held past here: the handler may navigate again or yield to other events.
    emit DocumentComplete(m_url);
}

QString PageLoader::documentText() const
{
    return PageCharset::decode(m_received.view(), m_contentType);
}
