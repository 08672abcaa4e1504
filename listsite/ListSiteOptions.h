#pragma once

#include <cstdint>

// What the stand-in list site serves and where it listens.
struct ListSiteOptions
{
    int port = 8047; // 0: any free port
    int rows = 50; // rows on each list page
    std::uint64_t seed = 1; // the same seed gives the same pages, byte for byte
    int proxies = 0; // stand-in proxies started and listed (ProxyPlan.h); their ports come from the system
};
