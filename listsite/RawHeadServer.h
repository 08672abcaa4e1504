#pragma once

#include <httplib.h>

#include <cstddef>
#include <string_view>

// An httplib server whose handlers can read the bytes of the request they serve as they came off the wire.
// httplib keeps a request's headers sorted by name, decodes percent escapes in their values and passes over
// empty and folded ones; a handler that must report the headers as received reads them here instead.
// Each connection serves one request and is closed after it.
class RawHeadServer : public httplib::Server
{
public:
    // How much of a connection's input is kept for the handler: the request head and whatever came
    // with it. 64 KiB holds eight of httplib's longest header lines.
    static constexpr std::size_t MaxReceivedBytes = 64 * 1024;

    // The bytes received so far on the connection whose request the calling thread serves, at most
    // MaxReceivedBytes; empty outside a handler. Valid until the handler returns.
    static std::string_view receivedBytes();

private:
    bool process_and_close_socket(socket_t socket) override;
};
