// tarnwick-listsite: a stand-in for the proxy list site, for running and testing Tarnwick locally.

#include "ListPages.h"
#include "ListSiteOptions.h"
#include "ListSiteServer.h"
#include "ProxyPlan.h"
#include "StandinProxyServer.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int ExitBadOption = 2;
constexpr int ExitServeFailed = 1;

constexpr char SignalByte = 's';
constexpr char QuitByte = 'q';

int g_wakePipe[2] = { -1, -1 };

void printUsage(std::FILE* to)
{
    std::fprintf(to,
        "Usage: tarnwick-listsite [--port N] [--rows N] [--seed S] [--proxies N | --proxy-mix KIND=N,...]\n"
        "                         [--proxy-list FILE]\n"
        "Serves a stand-in proxy list site on 127.0.0.1: /proxy_list.php?showpage=0 to 6, /toolads.php, /,\n"
        "and the judge /judge?nonce=N, which echoes the nonce, the client's address and the request "
        "headers.\n"
        "\n"
        "  --port N   port to listen on (default 8047); 0 picks a free port\n"
        "  --rows N   rows on each list page, 0 to %d (default 50)\n"
        "  --seed S   seed of the made-up data, 0 to 2^64-1 (default 1); same seed, same pages\n"
        "  --proxies N\n"
        "             also start N stand-in proxies, 0 to %d (default 0), on 127.10.0.1, 127.10.0.2, ...\n"
        "             with ports the system picks, and list them among the rows; the seed spreads the "
        "kinds:\n"
        "             http-transparent, http-anonymous, http-elite, http-slow (50 to 200 ms late), socks5,\n"
        "             socks4 (and 4a), refused, silent, altering, error-status (403 or 502). Every kind is\n"
        "             among the first ten. They connect on to loopback targets only.\n"
        "  --proxy-mix KIND=N,...\n"
        "             start these stand-in proxies instead, as many of each kind as given (%d in all at\n"
        "             most; counts of a kind named twice add up), in an order drawn from the seed, e.g.\n"
        "             http-slow=1000,silent=100; here an http-slow one is 0 to 200 ms late\n"
        "  --proxy-list FILE\n"
        "             write a line for each stand-in proxy to FILE before listening:\n"
        "             address:port TAB kind TAB verdict TAB delay in ms, the verdict a checker should\n"
        "             reach: transparent, anonymous, elite, refused, timeout, altered or error\n"
        "  --help     show this text\n"
        "\n"
        "Prints \"port N\" once it listens on port N. Stops on SIGINT or SIGTERM.\n",
        ListPageMaxRows, StandinProxyMax, StandinProxyMax);
}

template <typename Number>
std::optional<Number> parseNumber(std::string_view text, Number lowest, Number highest)
{
    Number value {};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < lowest
        || value > highest)
        return std::nullopt;
    return value;
}

// "KIND=N,KIND=N,...": how many proxies of each kind, StandinProxyMax in all at most.
std::optional<ProxyMix> parseProxyMix(std::string_view text)
{
    ProxyMix mix {};
    int total = 0;
    while (!text.empty()) { // each pass takes one KIND=N and its comma
        const std::size_t comma = text.find(',');
        const std::string_view part = text.substr(0, comma);
        text = comma == text.npos ? std::string_view() : text.substr(comma + 1);
        const std::size_t equals = part.find('=');
        const std::optional<StandinKind> kind = standinKindNamed(part.substr(0, equals));
        const std::optional<int> count = equals == part.npos
            ? std::nullopt
            : parseNumber<int>(part.substr(equals + 1), 0, StandinProxyMax - total);
        if (!kind || !count || (comma != std::string_view::npos && text.empty()))
            return std::nullopt;
        mix[std::size_t(*kind)] += *count;
        total += *count;
    }
    return total > 0 ? std::optional(mix) : std::nullopt;
}

struct Arguments
{
    ListSiteOptions options;
    std::optional<ProxyMix> proxyMix; // the kinds of proxies given one by one, in place of options.proxies
    std::string proxyList; // where to write the proxy list file; empty for none
    bool help = false;
    std::string error; // empty when the command line is good
};

Arguments parseArguments(int argc, char** argv)
{
    Arguments result;
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            result.help = true;
            continue;
        }
        std::string_view name = argument;
        std::optional<std::string_view> value;
        if (const auto equals = argument.find('='); argument.starts_with("--") && equals != argument.npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
        }
        if (name != "--port" && name != "--rows" && name != "--seed" && name != "--proxies"
            && name != "--proxy-mix" && name != "--proxy-list") {
            result.error = "unknown option '" + std::string(argument) + "'";
            return result;
        }
        if (!value) {
            if (i + 1 >= argc) {
                result.error = "option " + std::string(name) + " needs a value";
                return result;
            }
            value = argv[++i];
        }
        bool good = false;
        if (name == "--port") {
            const auto port = parseNumber<int>(*value, 0, 65535);
            if ((good = port.has_value()))
                result.options.port = *port;
        } else if (name == "--rows") {
            const auto rows = parseNumber<int>(*value, 0, ListPageMaxRows);
            if ((good = rows.has_value()))
                result.options.rows = *rows;
        } else if (name == "--proxies") {
            const auto proxies = parseNumber<int>(*value, 0, StandinProxyMax);
            if ((good = proxies.has_value())) {
                result.options.proxies = *proxies;
                result.proxyMix.reset(); // the last of --proxies and --proxy-mix counts
            }
        } else if (name == "--proxy-mix") {
            if ((good = (result.proxyMix = parseProxyMix(*value)).has_value())) {
                result.options.proxies = 0;
                for (const int count : *result.proxyMix)
                    result.options.proxies += count;
            }
        } else if (name == "--proxy-list") {
            if ((good = !value->empty()))
                result.proxyList = *value;
        } else {
            const auto seed = parseNumber<std::uint64_t>(*value, 0, UINT64_MAX);
            if ((good = seed.has_value()))
                result.options.seed = *seed;
        }
        if (!good) {
            result.error = "bad value '" + std::string(*value) + "' for " + std::string(name);
            return result;
        }
    }
    return result;
}

// Only wakes the watcher thread; stopping the server is not safe in a signal handler.
extern "C" void onStopSignal(int)
{
    const int savedErrno = errno;
    [[maybe_unused]] const ssize_t written = write(g_wakePipe[1], &SignalByte, 1);
    errno = savedErrno;
}

using SignalAction = struct sigaction;

sigset_t stopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

// Sets the handler and blocks the stop signals in this thread and so in every thread started from it; the
// watcher unblocks them, so the handler only ever interrupts the watcher and never a server thread.
// A signal that comes before the watcher runs waits, pending, until it does.
bool installStopSignals()
{
    if (pipe2(g_wakePipe, O_CLOEXEC) != 0)
        return false;
    SignalAction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    SignalAction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    const sigset_t blocked = stopSignals();
    return pthread_sigmask(SIG_BLOCK, &blocked, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0
        && sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGPIPE, &ignore, nullptr) == 0;
}

// Room for the proxies' descriptors: the soft limit raised towards the hard one as far as needed.
bool haveDescriptors(std::size_t proxies)
{
    // The site's own: its listening socket, its workers' connections, the standard streams and the pipe.
    constexpr std::size_t SiteDescriptors = 256;
    const rlim_t needed = StandinProxyServer::descriptorsNeeded(proxies) + SiteDescriptors;
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
        if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < needed)
            return false;
        limit.rlim_cur = needed;
        return setrlimit(RLIMIT_NOFILE, &limit) == 0;
    }
    return true;
}

bool writeFile(const std::string& path, const std::string& text)
{
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

char waitForWake()
{
    const sigset_t unblocked = stopSignals();
    pthread_sigmask(SIG_UNBLOCK, &unblocked, nullptr);
    pollfd wake { g_wakePipe[0], POLLIN, 0 };
    for (;;) {
        // A bounded wait: where a signal's handler is put off until the system call in progress returns
        // (as under ThreadSanitizer), it still runs soon.
        if (poll(&wake, 1, 200) > 0) {
            char byte = 0;
            if (read(g_wakePipe[0], &byte, 1) == 1)
                return byte;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    const Arguments arguments = parseArguments(argc, argv);
    if (!arguments.error.empty()) {
        std::fprintf(
            stderr, "tarnwick-listsite: %s\nTry 'tarnwick-listsite --help'.\n", arguments.error.c_str());
        return ExitBadOption;
    }
    if (arguments.help) {
        printUsage(stdout);
        return 0;
    }
    const ListSiteOptions& options = arguments.options;

    if (!installStopSignals()) {
        std::perror("tarnwick-listsite: cannot set up signal handling");
        return ExitServeFailed;
    }

    if (!haveDescriptors(std::size_t(options.proxies))) {
        std::fprintf(stderr,
            "tarnwick-listsite: too few file descriptors for %d stand-in proxies (ulimit -n)\n",
            options.proxies);
        return ExitServeFailed;
    }
    StandinProxyServer proxies(arguments.proxyMix
            ? planProxies(options.seed, *arguments.proxyMix, options.rows)
            : planProxies(options.seed, options.proxies, options.rows));
    if (const std::string error = proxies.bind(); !error.empty()) {
        std::fprintf(stderr, "tarnwick-listsite: stand-in proxies: %s\n", error.c_str());
        return ExitServeFailed;
    }
    if (!arguments.proxyList.empty() && !writeFile(arguments.proxyList, proxyListText(proxies.proxies()))) {
        std::fprintf(stderr, "tarnwick-listsite: cannot write %s: %s\n", arguments.proxyList.c_str(),
            std::strerror(errno));
        return ExitServeFailed;
    }

    ListSiteServer server(options, proxies.proxies());
    const int port = server.bind(options.port);
    if (port < 0) {
        std::fprintf(stderr, "tarnwick-listsite: cannot listen on 127.0.0.1:%d\n", options.port);
        return ExitServeFailed;
    }
    if (!proxies.proxies().empty())
        proxies.start();
    // The line tells whoever started the site that it is this process that answers on the port.
    std::printf("port %d\n", port);
    std::fflush(stdout);

    std::thread watcher([&server] {
        if (waitForWake() == SignalByte)
            server.stop();
    });
    const bool served = server.serve();
    [[maybe_unused]] const ssize_t written = write(g_wakePipe[1], &QuitByte, 1);
    watcher.join();
    if (!served) {
        std::fprintf(stderr, "tarnwick-listsite: serving on 127.0.0.1:%d failed\n", port);
        return ExitServeFailed;
    }
    return 0;
}
