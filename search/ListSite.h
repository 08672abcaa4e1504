#pragma once

#include <QString>
#include <QUrl>

// The list site whose pages the search reads and whose advertisement page the window shows.
namespace ListSite {

// The base address compiled into the program (scheme and host, no trailing "/").
QString compiledBaseAddress();

// `base` with one trailing "/" removed.
QString normalisedBase(const QString& base);

// base + "/proxy_list.php?showpage=" + n, n in plain decimal digits.
QUrl pageAddress(const QString& base, int pageIndex);

QUrl advertisementAddress(const QString& base);
QUrl homeAddress(const QString& base);

// The judge a proxy checker asks: CMake's TARNWICK_JUDGE when it was set, else the site's "/judge".
QUrl judgeAddress(const QString& base);

} // namespace ListSite
