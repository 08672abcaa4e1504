#pragma once

#include <QPoint>
#include <QRect>
#include <QString>

class QWidget;

// Where each control of the window sits, in twips, and the one conversion from twips to logical pixels.
// Controls on the tab pages are measured from the tab control's top-left corner, its row of tabs included.
namespace TwipsLayout {

inline constexpr double TwipsPerPixel = 15.0;

// Twips in logical pixels, rounded to the nearest.
int pixels(double twips);

// The place of the control named `name` (its object name), in logical pixels.
QRect pixelRect(const QString& name);

// Gives `control` the size and place of its name, measured from `origin`: the top-left corner, in its
// parent, of what the layout measures it from.
void place(QWidget* control, QPoint origin = QPoint());

} // namespace TwipsLayout
