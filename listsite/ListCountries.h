#pragma once

#include <array>
#include <string_view>

// The countries the list pages name, for the made-up rows and the stand-in proxies' rows alike.
inline constexpr std::array<std::string_view, 20> ListCountries = { "United States", "Germany", "Brazil",
    "Japan", "Russia", "China", "India", "Indonesia", "France", "United Kingdom", "Netherlands", "Canada",
    "Poland", "Thailand", "Ukraine", "Argentina", "South Korea", "Turkey", "Mexico", "Vietnam" };
