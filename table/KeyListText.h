#pragma once

#include <QByteArray>

class ProxyTableModel;

// Every key the views have been told of, in the table's order, each as the list shows it (VisibleText.h)
// and followed by a line feed, as UTF-8: what Copy All puts on the clipboard. A cell cannot add a line,
// since line breaks show as escapes. A million keys take a few tens of milliseconds.
QByteArray keyListText(const ProxyTableModel& table);
