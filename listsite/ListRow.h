#pragma once

#include <string>

// One table row of a list page, as the list site writes it.
struct ListRow
{
    std::string address;
    int port = 0;
    std::string type;
    std::string country;
    bool repeated = false; // the key was already listed on an earlier page or earlier on this page

    std::string key() const { return address + ':' + std::to_string(port); }
};
