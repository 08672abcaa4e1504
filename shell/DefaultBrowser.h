#pragma once

#include <QUrl>

// Hands web addresses to the system, which opens them in the user's default browser.
namespace DefaultBrowser {

// Opens `url` (a complete absolute address) with the shell's "open" verb. Returns at once; a failure
// is not reported, and nothing waits for the browser. An invalid address opens nothing.
void OpenUrl(const QUrl& url);

} // namespace DefaultBrowser
