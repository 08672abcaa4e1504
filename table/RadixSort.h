#pragma once

#include <QtGlobal>

#include <span>
#include <vector>

class FoldedTexts;

// Stable sorts of the table's rows by radix rather than by comparison, so that a list of a million rows
// sorts within a turn of the event loop. Each takes the rows in their current order (indices into the
// keys or texts) and returns them sorted: ascending, or descending, where rows with equal keys keep
// their order in either direction.
namespace RadixSort {

std::vector<quint32> byKey(std::span<const quint32> keys, std::span<const quint32> rows, bool descending);

// By the folded texts' bytes, a shorter text first where it is the start of the other.
std::vector<quint32> byText(const FoldedTexts& texts, std::span<const quint32> rows, bool descending);

} // namespace RadixSort
