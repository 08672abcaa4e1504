#pragma once

#include "CheckNetworks.h"
#include "ProxyKind.h"

#include <QUrl>

#include <optional>

// How a run checks its rows.
struct CheckOptions
{
    // A proxy that takes longer than this to answer counts as none; from a tenth of a second, so that a
    // proxy across the world can answer at all, to a minute, past which nobody would wait for a proxy.
    static constexpr int DefaultTimeoutMs = 5000;
    static constexpr int LeastTimeoutMs = 100;
    static constexpr int MostTimeoutMs = 60000;
    // Checks at once. Each holds a socket; 1024 stays below the usual limit of open files.
    static constexpr int DefaultConcurrency = 64;
    static constexpr int MostConcurrency = 1024;

    // The judge's address; each check asks it with "?nonce=N" added (JudgeAnswer::addressWithNonce).
    QUrl judge;
    int timeoutMs = DefaultTimeoutMs;
    int concurrency = DefaultConcurrency;
    // When set, every row is checked as this kind whatever its type cell says.
    std::optional<ProxyKind> forcedKind;
    // Where checks and the judge may go.
    CheckNetworks networks;
};
