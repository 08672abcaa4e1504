#pragma once

#include "TextShaping.h"

#include <QtGlobal>

// How much of the advertisement page the strip's text document gets. A page of a few hundred bytes can
// otherwise keep a document's layout busy for minutes: what lies beyond a bound is shown as plain text
// (nesting) or dropped (size, cells). Combining marks are bounded by MaxCombiningMarks (TextShaping.h).
namespace MarkupBounds {

// Characters of the page read at all.
inline constexpr qsizetype MaxPageRead = 256 * 1024;
// Characters of markup handed to the document, closing tags included. The strip shows a few lines; a
// page of ordinary text this long takes the document some 20 ms to lay out.
inline constexpr qsizetype MaxMarkup = 8 * 1024;
// Elements open at once; an element deeper than that loses its tags and keeps its text.
inline constexpr int MaxOpenElements = 24;
// Tables within tables and lists within lists; deeper ones lose their tags and keep their text.
inline constexpr int MaxTableDepth = 3;
inline constexpr int MaxListDepth = 4;
// Table cells and rows in the whole page, one in a table within a table counting twice, and so on; the
// page ends at the first one beyond. Each cell costs the layout a few tenths of a millisecond.
inline constexpr int MaxTableCells = 64;
inline constexpr int MaxTableRows = 32;
// Paragraphs, list items and other blocks, and line breaks (line ends in preformatted text too), in the
// whole page; beyond these, a space stands in. Breaks within one paragraph make its layout slow as they
// grow in number.
inline constexpr int MaxBlocks = 64;
inline constexpr int MaxLineBreaks = 32;
// Different font families named; further ones are ignored, each costs a search of the system's fonts.
inline constexpr int MaxFontFaces = 4;
// Columns a row's cells span; a cell beyond them starts the next row. Cells span no rows: spans
// reaching down push the rows below to the right.
inline constexpr int MaxRowColumns = 16;
// Characters in a row without a place to break the line; an invisible break opportunity follows.
inline constexpr int MaxUnbrokenRun = 64;

} // namespace MarkupBounds
