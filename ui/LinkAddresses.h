#pragma once

#include "ListSite.h"

#include <QString>

// The four web pages that the window's links open, kept together so the captions and the handlers
// cannot drift apart. All makers and hosts here are fictional, on the reserved example domains.
namespace LinkAddresses {

// The maker's forum, opened by the logo.
inline const QString Forum = QStringLiteral("http://forum.example.com/");

// The upper suggested program's maker: the caption shows the address without its trailing "/".
inline const QString UpperMaker = QStringLiteral("http://example.net/");

// The lower suggested program's product page, shown and opened alike.
inline const QString LowerProduct = QStringLiteral("http://www.example.org/en/brackenguard/index.html");

// The list site's home page: the root of the site whose pages the search reads.
inline QString listSiteHome(const QString& siteBase)
{
    return ListSite::homeAddress(siteBase).toString();
}

} // namespace LinkAddresses
