#include "ListPages.h"

#include "ListCountries.h"
#include "SplitMix64.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>
#include <unordered_set>

namespace {

// Documentation address ranges only; host parts 1 to 254.
constexpr std::array<std::string_view, 3> AddressPrefixes = { "192.0.2.", "198.51.100.", "203.0.113." };
constexpr std::uint32_t HostsPerRange = 254;
constexpr std::uint32_t AddressCount = AddressPrefixes.size() * HostsPerRange;

constexpr std::array<std::uint32_t, 11> CommonPorts
    = { 80, 81, 443, 1080, 3128, 8000, 8080, 8081, 8888, 9050, 53281 };
constexpr std::uint32_t LowestOtherPort = 1024;
constexpr std::uint32_t OtherPortCount = 65536 - LowestOtherPort;

constexpr std::array<std::string_view, 3> Types = { "transparent", "anonymous", "high anonymity" };

constexpr const auto& Countries = ListCountries;

constexpr std::uint64_t RepeatOneIn = 50;
constexpr std::uint64_t SamePageRepeatOneIn = 4; // of the repeats on pages 1 to 6
constexpr int ForcedRepeatMinRows = 10;

// A key packed as address index * 65536 + port.
using KeyCode = std::uint32_t;

constexpr KeyCode keyCode(std::uint32_t addressIndex, std::uint32_t port)
{
    return addressIndex << 16 | port;
}

std::string addressText(std::uint32_t addressIndex)
{
    std::string text(AddressPrefixes[addressIndex / HostsPerRange]);
    text += std::to_string(addressIndex % HostsPerRange + 1);
    return text;
}

std::string_view countryOf(std::uint64_t seed, std::uint32_t addressIndex)
{
    const std::uint64_t h = SplitMix64::mix(SplitMix64::mix(seed) ^ (0xc0ffee0000000000ULL | addressIndex));
    return Countries[h % Countries.size()];
}

// Each row draws from its own sequence, so a row's data depends on (seed, page, row) and not on how many
// draws the rows before it needed.
SplitMix64 sequenceFor(std::uint64_t seed, int page, int row)
{
    const std::uint64_t where = std::uint64_t(std::uint32_t(page)) << 32 | std::uint32_t(row);
    return SplitMix64(SplitMix64::mix(seed) ^ SplitMix64::mix(where + 0x5bd1e995ULL));
}

std::string_view drawType(SplitMix64& random)
{
    const std::uint64_t d = random.below(10); // 3 : 4 : 3
    return Types[d < 3 ? 0 : d < 7 ? 1 : 2];
}

std::uint32_t drawPort(SplitMix64& random)
{
    if (random.below(5) < 2)
        return CommonPorts[random.below(CommonPorts.size())];
    return LowestOtherPort + std::uint32_t(random.below(OtherPortCount));
}

void appendRow(std::string& out, const ListRow& row)
{
    out += "<TR align=middle>\r\n<TD>";
    out += row.address;
    out += "</TD>\r\n<TD>";
    out += std::to_string(row.port);
    out += "</TD>\r\n<TD>";
    out += row.type;
    out += "</TD>\r\n<TD>";
    out += row.country;
    out += "</TD>\r\n</TR>\r\n";
}

} // namespace

std::vector<std::vector<ListRow>> listRows(const ListSiteOptions& options)
{
    if (options.rows < 0 || options.rows > ListPageMaxRows)
        throw std::out_of_range("list page row count out of range");
    const int rowCount = options.rows;
    const std::uint64_t seed = options.seed;

    std::vector<std::vector<ListRow>> pages(ListPageCount);
    std::vector<std::vector<KeyCode>> codes(ListPageCount);
    std::unordered_set<KeyCode> listed;
    listed.reserve(std::size_t(rowCount) * ListPageCount);

    for (int page = 0; page < ListPageCount; ++page) {
        pages[page].reserve(std::size_t(rowCount));
        codes[page].reserve(std::size_t(rowCount));
        int forcedRepeatRow = -1;
        if (page > 0 && rowCount >= ForcedRepeatMinRows)
            forcedRepeatRow = int(sequenceFor(seed, page, -1).below(std::uint64_t(rowCount)));

        for (int row = 0; row < rowCount; ++row) {
            SplitMix64 random = sequenceFor(seed, page, row);
            const auto earlierPageKey = [&] {
                const auto& from = codes[random.below(std::uint64_t(page))];
                return from[random.below(from.size())];
            };
            const auto samePageKey = [&] { return codes[page][random.below(std::uint64_t(row))]; };

            bool repeated = true;
            KeyCode code = 0;
            // Branches alike are kept apart: the order of the random draws decides the data of every seed.
            if (row == forcedRepeatRow) { // NOLINT(bugprone-branch-clone)
                code = earlierPageKey();
            } else if (random.below(RepeatOneIn) != 0) { // NOLINT(bugprone-branch-clone)
                repeated = false;
            } else if (page > 0 && (row == 0 || random.below(SamePageRepeatOneIn) != 0)) {
                code = earlierPageKey();
            } else if (row > 0) {
                code = samePageKey();
            } else {
                repeated = false; // the first row of the first page has nothing to repeat
            }
            if (!repeated) {
                do {
                    code = keyCode(std::uint32_t(random.below(AddressCount)), drawPort(random));
                } while (!listed.insert(code).second);
            }
            codes[page].push_back(code);

            const std::uint32_t addressIndex = code >> 16;
            ListRow& out = pages[page].emplace_back();
            out.address = addressText(addressIndex);
            out.port = int(code & 0xffff);
            out.type = drawType(random);
            out.country = countryOf(seed, addressIndex);
            out.repeated = repeated;
        }
    }
    return pages;
}

std::string renderListPage(const std::vector<ListRow>& rows, int page)
{
    const std::string number = std::to_string(page);
    std::string out;
    out.reserve(400 + rows.size() * 112);
    out += "<HTML><HEAD><TITLE>Proxy list - page ";
    out += number;
    out += "</TITLE></HEAD>\r\n"
           "<BODY>\r\n"
           "<H1>Proxy list</H1>\r\n"
           "<TABLE border=1>\r\n"
           "<TR><TH>IP address</TH><TH>Port</TH><TH>Type</TH><TH>Country</TH></TR>\r\n";
    for (const ListRow& row : rows)
        appendRow(out, row);
    out += "</TABLE>\r\n"
           "<P>Page ";
    out += number;
    out += " of ";
    out += std::to_string(ListPageCount);
    out += "</P>\r\n"
           "</BODY></HTML>\r\n";
    return out;
}

void addProxyRows(std::vector<std::vector<ListRow>>& pages, const std::vector<StandinProxy>& proxies)
{
    std::vector<std::vector<const StandinProxy*>> byPage(pages.size());
    for (const StandinProxy& proxy : proxies)
        byPage.at(std::size_t(proxy.page)).push_back(&proxy);
    for (std::size_t page = 0; page < pages.size(); ++page) {
        std::stable_sort(byPage[page].begin(), byPage[page].end(),
            [](const StandinProxy* a, const StandinProxy* b) { return a->place < b->place; });
        std::vector<ListRow> made = std::move(pages[page]);
        std::vector<ListRow>& rows = pages[page];
        rows.clear();
        rows.reserve(made.size() + byPage[page].size());
        auto next = byPage[page].begin();
        for (std::size_t row = 0; row <= made.size(); ++row) {
            // Places past the last made-up row all come at the end.
            for (; next != byPage[page].end() && (row == made.size() || std::size_t((*next)->place) <= row);
                 ++next)
                rows.push_back({ (*next)->address, (*next)->port, (*next)->type, (*next)->country, false });
            if (row < made.size())
                rows.push_back(std::move(made[row]));
        }
    }
}

std::vector<std::string> listPages(const ListSiteOptions& options, const std::vector<StandinProxy>& proxies)
{
    std::vector<std::vector<ListRow>> rows = listRows(options);
    addProxyRows(rows, proxies);
    std::vector<std::string> pages;
    pages.reserve(rows.size());
    for (std::size_t page = 0; page < rows.size(); ++page)
        pages.push_back(renderListPage(rows[page], int(page)));
    return pages;
}

std::string advertisementPage()
{
    return "<HTML><HEAD><TITLE>Kestrel Port Checker</TITLE></HEAD>\r\n"
           "<BODY>\r\n"
           "<H2>Kestrel Port Checker 2.1</H2>\r\n"
           "<P>Find out in seconds which of your proxies still answer. Free for home use.</P>\r\n"
           "<P><A href=\"http://www.example.com/\">Get it at www.example.com</A></P>\r\n"
           "</BODY></HTML>\r\n";
}

std::string homePage()
{
    std::string out = "<HTML><HEAD><TITLE>Velmora proxy list</TITLE></HEAD>\r\n"
                      "<BODY>\r\n"
                      "<H1>Velmora proxy list</H1>\r\n"
                      "<P>Free public proxy servers, checked every day.</P>\r\n"
                      "<UL>\r\n";
    for (int page = 0; page < ListPageCount; ++page) {
        const std::string number = std::to_string(page);
        out.append("<LI><A href=\"/proxy_list.php?showpage=").append(number).append("\">Page ");
        out.append(number).append("</A></LI>\r\n");
    }
    out += "</UL>\r\n"
           "</BODY></HTML>\r\n";
    return out;
}
