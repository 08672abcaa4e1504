#pragma once

// Combining marks kept on one character wherever the window lays text out (the list's cells, the strip):
// shaping a character takes time that grows faster than the number of its marks, and a letter carrying
// thousands of accents would hold the window for seconds.
inline constexpr int MaxCombiningMarks = 8;
