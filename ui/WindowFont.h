#pragma once

#include <QFont>

// The window's font, and the fonts that stand in for it where it is missing.
namespace WindowFont {

// The window's font, its substitutes registered first.
QFont font();

} // namespace WindowFont
