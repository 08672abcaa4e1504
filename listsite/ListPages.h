#pragma once

#include "ListRow.h"
#include "ListSiteOptions.h"
#include "StandinProxy.h"

#include <string>
#include <string_view>
#include <vector>

// The pages of the stand-in list site, made from the options alone: the same options give the same bytes.
// No server here, so tests can use the very bytes the site serves.
//
// A list page is a table whose rows start with "<TR align=middle>" CR LF "<TD>" and whose cells each end
// with "</TD>" CR LF. Every line ends with CR LF; the text is ASCII.

inline constexpr int ListPageCount = 7; // showpage 0 to 6
inline constexpr int ListPageMaxRows = 200000;

inline constexpr std::string_view ListPageContentType = "text/html; charset=ISO-8859-1";
inline constexpr std::string_view HomePageContentType = "text/html; charset=ISO-8859-1";
inline constexpr std::string_view AdvertisementContentType = "text/html; charset=utf-8";

// The rows of all list pages, page by page. options.rows must be in [0, ListPageMaxRows].
//
// Keys (address:port) are unique except for the rows marked repeated: about one row in fifty, and on
// pages 1 to 6 with ten rows or more at least one row, takes a key listed before. Most repeats take a
// key from an earlier page; a few, and all on page 0, take one from earlier on the same page.
// A repeated row has the country of the first (the country belongs to the address) but its own type.
std::vector<std::vector<ListRow>> listRows(const ListSiteOptions& options);

// Puts a row for each stand-in proxy among the made-up rows: on its page, before the made-up row its place
// names, in the order of `proxies` where places are alike. The made-up rows stay as they are.
void addProxyRows(std::vector<std::vector<ListRow>>& pages, const std::vector<StandinProxy>& proxies);

// The HTML text of list page `page` (0 to 6) holding `rows`.
std::string renderListPage(const std::vector<ListRow>& rows, int page);

// The HTML text of all list pages, index = showpage, with the rows of `proxies` among the made-up ones.
std::vector<std::string> listPages(
    const ListSiteOptions& options, const std::vector<StandinProxy>& proxies = {});

std::string advertisementPage();
std::string homePage();
