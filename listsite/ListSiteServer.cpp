#include "ListSiteServer.h"

#include "JudgePage.h"
#include "ListPages.h"

#include <chrono>
#include <optional>
#include <thread>

#include <sys/socket.h>

namespace {

constexpr const char* Host = "127.0.0.1";
// httplib listens with a queue of 5 connections; when more come at once the system drops them, and their
// clients try again only a second later. Stand-in proxies connect on all at once (512 at most) beside the
// clients of the pages and the judge.
constexpr int ListenBacklog = 1024;

// The text is sent as it is, from memory: no copy per request and no compression, so every client gets
// the same bytes whatever encodings it accepts.
void sendText(httplib::Response& response, const std::string& text, std::string_view contentType)
{
    response.set_content_provider(text.size(), std::string(contentType),
        [&text](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            return sink.write(text.data() + offset, length);
        });
}

// "0" to "6" only: no sign, no leading zero, no blanks.
int listPageNumber(const httplib::Request& request)
{
    if (!request.has_param("showpage"))
        return -1;
    const std::string value = request.get_param_value("showpage");
    if (value.size() != 1 || value[0] < '0' || value[0] >= '0' + ListPageCount)
        return -1;
    return value[0] - '0';
}

std::string errorPage(int status)
{
    const std::string title
        = status == 404 ? std::string("404 Not Found") : std::to_string(status) + " Request not served";
    return "<HTML><HEAD><TITLE>" + title + "</TITLE></HEAD>\r\n<BODY>\r\n<H1>" + title
        + "</H1>\r\n</BODY></HTML>\r\n";
}

} // namespace

ListSiteServer::ListSiteServer(const ListSiteOptions& options, const std::vector<StandinProxy>& proxies)
    : m_listPages(listPages(options, proxies))
    , m_homePage(homePage())
    , m_advertisementPage(advertisementPage())
{
    // One request per connection (RawHeadServer closes it after one): a worker never idles on a kept-alive
    // connection, so stop() returns as soon as the responses under way are sent. A connection that sends
    // nothing for a second is closed unanswered.
    m_server.set_keep_alive_max_count(1);
    m_server.set_keep_alive_timeout(1);
    // SO_REUSEADDR alone: a restart may take over a port left in TIME_WAIT, but a second server on a port in
    // use fails instead of sharing it, as SO_REUSEPORT would let it.
    m_server.set_socket_options([this](socket_t socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        m_socket = socket;
    });
    route();
}

void ListSiteServer::route()
{
    m_server.Get(R"(/proxy_list\.php)", [this](const httplib::Request& request, httplib::Response& response) {
        const int page = listPageNumber(request);
        if (page < 0) {
            response.status = 404;
            return;
        }
        sendText(response, m_listPages[std::size_t(page)], ListPageContentType);
    });
    m_server.Get(R"(/toolads\.php)", [this](const httplib::Request&, httplib::Response& response) {
        sendText(response, m_advertisementPage, AdvertisementContentType);
    });
    m_server.Get(R"(/judge)", [](const httplib::Request& request, httplib::Response& response) {
        const std::optional<std::string> nonce = judgeNonce(request.target);
        const std::optional<std::string> page
            = nonce ? judgePage(*nonce, request.remote_addr, RawHeadServer::receivedBytes()) : std::nullopt;
        if (!page) {
            response.status = 400;
            return;
        }
        response.set_content(*page, std::string(JudgeContentType));
    });
    m_server.Get("/", [this](const httplib::Request&, httplib::Response& response) {
        sendText(response, m_homePage, HomePageContentType);
    });
    // Unknown paths, bad page numbers and requests the server refuses all get a short page.
    m_server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        response.set_content(errorPage(response.status), "text/html; charset=ISO-8859-1");
    });
}

int ListSiteServer::bind(int port)
{
    int bound = port;
    if (port == 0)
        bound = m_server.bind_to_any_port(Host);
    else if (!m_server.bind_to_port(Host, port))
        bound = -1;
    // Listening again only lengthens the queue; should it fail, the short one serves all the same.
    if (bound >= 0) {
        [[maybe_unused]] const int listened = ::listen(m_socket, ListenBacklog);
    }
    return bound;
}

bool ListSiteServer::serve()
{
    const bool served = m_stopRequested || m_server.listen_after_bind();
    m_finished = true;
    return served;
}

void ListSiteServer::stop()
{
    m_stopRequested = true;
    // The listening loop only notices stop() once it runs; until then a stop would be lost, so wait for it
    // to start, unless serve() has already returned (or saw the request and never listened).
    while (!m_finished) {
        if (m_server.is_running()) {
            m_server.stop();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
