#pragma once

#include <QString>

class ProxyTableModel;

// Every key the views have been told of, in the table's order, each as the list shows it (VisibleText.h)
// and followed by a line feed: what Copy All puts on the clipboard. A cell cannot add a line, since line
// breaks show as escapes. Written straight as UTF-16, a million keys in a few tens of milliseconds.
QString keyListText(const ProxyTableModel& table);
