#pragma once

#include <QStringView>

// One proxy server as cut from one table row of a list page. The fields are views: they point into the
// page text or into the cutter's scratch buffers and stay valid only until the cutter cuts the next row,
// so whoever keeps a record copies it.
struct ProxyRecord
{
    QStringView address;
    QStringView port;
    QStringView type;
    QStringView country;
    QStringView key; // address, ":" and port
};
