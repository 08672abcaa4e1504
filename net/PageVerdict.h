#pragma once

#include <QString>
#include <QtGlobal>

// What the loader saw of one finished transfer: all it needs to tell a whole page from a failed one.
struct TransferFacts
{
    // Why the loader itself broke the transfer off, if it did.
    enum class Refusal
    {
        None,
        HeadersTooLarge,
        BadLength,
        ConflictingLengths,
        UnknownEncoding,
        UnknownTransferCoding,
        TooLarge,
        DamagedCompression,
    };

    Refusal refusal = Refusal::None;
    QString transferError; // the network library's reason; empty when the transfer itself succeeded
    long status = 0; // of the last response
    bool headersEnded = false; // its headers came to their end
    qint64 announcedLength = -1; // its Content-Length, -1 without one
    qint64 bodyBytes = 0; // body bytes as they came, before any decompression
    bool compressed = false;
    bool compressedEnded = false; // the compressed stream reached its end
};

struct PageVerdict
{
    bool failed = false;
    QString reason; // for messages; empty when the page loaded
};

// Whether a finished transfer delivered a whole page, and if not, why.
PageVerdict judge(const TransferFacts& facts);
