#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

#include <curl/curl.h>

#include <functional>

// libcurl's multi interface on the Qt event loop of this object's thread: the sockets of every transfer
// are watched by socket notifiers and libcurl's timeout by one timer, so no other thread is involved. Any
// number of easy handles run at once, each told of its own end. The connections libcurl keeps between
// transfers are tracked from their opening to their closing.
class CurlMulti : public QObject
{
    Q_OBJECT

public:
    // A transfer's end with libcurl's result, told after the transfer has left the multi handle and outside
    // libcurl's calls, so the handler may start the same easy handle, or any other, at once.
    using Finished = std::function<void(CURLcode result)>;

    explicit CurlMulti(QObject* parent = nullptr);
    ~CurlMulti() override;
    CurlMulti(const CurlMulti&) = delete;
    CurlMulti& operator=(const CurlMulti&) = delete;

    // Whether a transfer may go out on a connection an earlier one kept, or opens and closes its own.
    enum class Connection
    {
        Kept,
        Own,
    };

    // Starts the transfer `easy` is set up for; `finished` is called once at its end, unless it is removed
    // first. False when libcurl refuses it, and then nothing is called. A transfer on a connection of its
    // own (set up with CURLOPT_FRESH_CONNECT and CURLOPT_FORBID_REUSE) skips the look at kept connections,
    // which costs a system call per open socket.
    bool add(CURL* easy, Finished finished, Connection connection = Connection::Kept);
    // Breaks off the transfer of `easy`, if it runs; its end is never told. Its connection is closed with
    // it: nothing more is read from it.
    void remove(CURL* easy);

private:
    struct Running
    {
        Finished finished;
        quint64 serial; // tells this transfer from a later one of the same easy handle
    };
    struct Watch
    {
        QSocketNotifier* read;
        QSocketNotifier* write;
    };

    void makeMulti();
    void closeKeptConnectionsOutOfStep(CURL* easy);

    // The callbacks libcurl calls, from inside curl_multi_socket_action and the like.
    static int onSocket(CURL*, curl_socket_t socket, int what, void* multi, void*);
    static int onTimer(CURLM*, long milliseconds, void* multi);
    static int onSocketOpened(void* multi, curl_socket_t socket, curlsocktype);
    static int onSocketClosing(void* multi, curl_socket_t socket);

    void watch(curl_socket_t socket, int what);
    QSocketNotifier* notifier(curl_socket_t socket, QSocketNotifier::Type type, int event);
    void act(curl_socket_t socket, int events);

    CURLM* m_multi = nullptr;
    QTimer m_timer;
    QHash<CURL*, Running> m_running;
    quint64 m_serial = 0;
    QHash<curl_socket_t, Watch> m_sockets;
    // Every socket libcurl has open, from its creation to its closing: between transfers, the connections
    // it keeps for the next ones.
    QSet<curl_socket_t> m_open;
};
