#include "CurlMulti.h"

#include <QVarLengthArray>

#include <algorithm>
#include <limits>
#include <utility>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

namespace {

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

} // namespace

CurlMulti::CurlMulti(QObject* parent)
    : QObject(parent)
{
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    Q_UNUSED(initialised);
    makeMulti();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
}

CurlMulti::~CurlMulti()
{
    for (auto it = m_running.keyBegin(); it != m_running.keyEnd(); ++it)
        curl_multi_remove_handle(m_multi, *it);
    curl_multi_cleanup(m_multi);
}

void CurlMulti::makeMulti()
{
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
}

bool CurlMulti::add(CURL* easy, Finished finished, Connection connection)
{
    remove(easy);
    if (connection == Connection::Kept)
        closeKeptConnectionsOutOfStep(easy);
    curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, onSocketOpened);
    curl_easy_setopt(easy, CURLOPT_SOCKOPTDATA, this);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, onSocketClosing);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, this);
    if (curl_multi_add_handle(m_multi, easy) != CURLM_OK)
        return false;
    m_running.insert(easy, { std::move(finished), ++m_serial });
    return true;
}

void CurlMulti::closeKeptConnectionsOutOfStep(CURL* easy)
{
    // A kept connection that holds bytes before the next request is even sent is out of step with its
    // server: libcurl would take them for the next answer. Only the multi handle's end closes every kept
    // connection, so that is how they go while no transfer runs, and the next goes out on a fresh one. A
    // transfer started beside running ones goes out on a fresh connection of its own instead.
    const bool outOfStep = std::any_of(m_open.begin(), m_open.end(), holdsBytes);
    if (outOfStep && m_running.isEmpty()) {
        curl_multi_cleanup(m_multi);
        m_timer.stop();
        makeMulti();
    }
    curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, long(outOfStep && !m_running.isEmpty()));
}

void CurlMulti::remove(CURL* easy)
{
    if (m_running.remove(easy))
        curl_multi_remove_handle(m_multi, easy);
}

int CurlMulti::onSocket(CURL*, curl_socket_t socket, int what, void* multi, void*)
{
    static_cast<CurlMulti*>(multi)->watch(socket, what);
    return 0;
}

int CurlMulti::onTimer(CURLM*, long milliseconds, void* multi)
{
    QTimer& timer = static_cast<CurlMulti*>(multi)->m_timer;
    if (milliseconds < 0)
        timer.stop();
    else
        timer.start(int(std::min<long>(milliseconds, std::numeric_limits<int>::max())));
    return 0;
}

int CurlMulti::onSocketOpened(void* multi, curl_socket_t socket, curlsocktype)
{
    static_cast<CurlMulti*>(multi)->m_open.insert(socket);
    return CURL_SOCKOPT_OK;
}

int CurlMulti::onSocketClosing(void* multi, curl_socket_t socket)
{
    static_cast<CurlMulti*>(multi)->m_open.remove(socket);
#ifdef Q_OS_WIN
    return closesocket(socket);
#else
    return close(socket);
#endif
}

void CurlMulti::watch(curl_socket_t socket, int what)
{
    auto found = m_sockets.find(socket);
    if (what == CURL_POLL_REMOVE) {
        if (found == m_sockets.end())
            return;
        // Possibly from inside the notifier's own signal: disable now, delete later.
        for (QSocketNotifier* notifier : { found->read, found->write }) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
        m_sockets.erase(found);
        return;
    }
    if (found == m_sockets.end()) {
        found = m_sockets.insert(socket,
            { notifier(socket, QSocketNotifier::Read, CURL_CSELECT_IN),
                notifier(socket, QSocketNotifier::Write, CURL_CSELECT_OUT) });
    }
    found->read->setEnabled(what == CURL_POLL_IN || what == CURL_POLL_INOUT);
    found->write->setEnabled(what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
}

QSocketNotifier* CurlMulti::notifier(curl_socket_t socket, QSocketNotifier::Type type, int event)
{
    auto* notifier = new QSocketNotifier(qintptr(socket), type, this);
    notifier->setEnabled(false);
    connect(notifier, &QSocketNotifier::activated, this, [this, socket, event] { act(socket, event); });
    return notifier;
}

void CurlMulti::act(curl_socket_t socket, int events)
{
    int running = 0;
    curl_multi_socket_action(m_multi, socket, events, &running);
    struct Done
    {
        CURL* easy;
        quint64 serial;
        CURLcode result;
    };
    QVarLengthArray<Done, 4> done;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &queued)) {
        const auto found = m_running.constFind(message->easy_handle);
        if (message->msg == CURLMSG_DONE && found != m_running.cend())
            done.append({ message->easy_handle, found->serial, message->data.result });
    }
    // Out of libcurl's calls now. Each end is told in turn; a handler may remove or start any transfer,
    // and one it removed or started anew is not told of the end it had before.
    for (const Done& end : done) {
        const auto found = m_running.find(end.easy);
        if (found == m_running.end() || found->serial != end.serial)
            continue;
        const Finished finished = std::move(found->finished);
        m_running.erase(found);
        curl_multi_remove_handle(m_multi, end.easy);
        finished(end.result);
    }
}
