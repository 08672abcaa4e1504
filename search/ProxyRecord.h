#pragma once

#include <QByteArrayView>

// One proxy server as cut from one table row of a list page, as UTF-8. The fields are views: they point
// into the page or into the cutter's scratch buffers and stay valid only while the cutter cuts the next
// few rows, so whoever keeps a record copies it. The row's key is the address, ":" and the port; the
// list builds it when it keeps the row.
struct ProxyRecord
{
    QByteArrayView address;
    QByteArrayView port;
    QByteArrayView type;
    QByteArrayView country;
};
