#pragma once

#include <QString>

#include <curl/curl.h>

// libcurl's reason for `result` (its error buffer's `detail` when it wrote one), with any control character
// a server slipped into it made harmless, for a reason a user reads.
inline QString curlErrorText(CURLcode result, const char* detail)
{
    QString text = QString::fromUtf8(*detail ? detail : curl_easy_strerror(result));
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u' ';
    }
    return text;
}
