#pragma once

#include <QPixmap>
#include <QString>

// One of the images compiled into the window's library (":/name.png"). Our images are PNGs, which Qt
// reads itself; left to guess the format, it would first load every image plugin on the system to ask
// them, a good part of the window's start-up.
QPixmap builtInPng(const QString& path);
