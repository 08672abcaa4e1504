// tarnwick-listsite: a stand-in for the proxy list site, for running and testing Tarnwick locally.

#include "ListPages.h"
#include "ListSiteOptions.h"
#include "ListSiteServer.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
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
        "Usage: tarnwick-listsite [--port N] [--rows N] [--seed S]\n"
        "Serves a stand-in proxy list site on 127.0.0.1: /proxy_list.php?showpage=0 to 6, /toolads.php, /,\n"
        "and the judge /judge?nonce=N, which echoes the nonce, the client's address and the request "
        "headers.\n"
        "\n"
        "  --port N   port to listen on (default 8047); 0 picks a free port\n"
        "  --rows N   rows on each list page, 0 to %d (default 50)\n"
        "  --seed S   seed of the made-up data, 0 to 2^64-1 (default 1); same seed, same pages\n"
        "  --help     show this text\n"
        "\n"
        "Prints \"port N\" once it listens on port N. Stops on SIGINT or SIGTERM.\n",
        ListPageMaxRows);
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

struct CommandLine
{
    ListSiteOptions options;
    bool help = false;
    std::string error; // empty when the command line is good
};

CommandLine parseCommandLine(int argc, char** argv)
{
    CommandLine result;
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
        if (name != "--port" && name != "--rows" && name != "--seed") {
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
    const CommandLine commandLine = parseCommandLine(argc, argv);
    if (!commandLine.error.empty()) {
        std::fprintf(
            stderr, "tarnwick-listsite: %s\nTry 'tarnwick-listsite --help'.\n", commandLine.error.c_str());
        return ExitBadOption;
    }
    if (commandLine.help) {
        printUsage(stdout);
        return 0;
    }
    const ListSiteOptions& options = commandLine.options;

    if (!installStopSignals()) {
        std::perror("tarnwick-listsite: cannot set up signal handling");
        return ExitServeFailed;
    }

    ListSiteServer server(options);
    const int port = server.bind(options.port);
    if (port < 0) {
        std::fprintf(stderr, "tarnwick-listsite: cannot listen on 127.0.0.1:%d\n", options.port);
        return ExitServeFailed;
    }
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
