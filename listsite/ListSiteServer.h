#pragma once

#include "ListSiteOptions.h"
#include "RawHeadServer.h"
#include "StandinProxy.h"

#include <atomic>
#include <string>
#include <vector>

// Serves the list pages, the advertisement page and the home page on 127.0.0.1 from texts built once,
// in the constructor, and the judge (JudgePage.h). Logs nothing.
class ListSiteServer
{
public:
    // The list pages show `proxies` among their made-up rows.
    explicit ListSiteServer(const ListSiteOptions& options, const std::vector<StandinProxy>& proxies = {});

    // Binds 127.0.0.1:port, or any free port when port is 0. Returns the bound port, or -1.
    int bind(int port);

    // Serves until stop(); false when serving failed.
    bool serve();

    // Makes serve() return; safe from any thread, also before serve() has started. Call it only when
    // serve() is running or will be called.
    void stop();

private:
    void route();

    RawHeadServer m_server;
    int m_socket = -1; // the listening socket, once bound
    std::vector<std::string> m_listPages;
    std::string m_homePage;
    std::string m_advertisementPage;
    std::atomic<bool> m_stopRequested = false;
    std::atomic<bool> m_finished = false;
};
