#include "DefaultBrowser.h"

#if defined(Q_OS_WIN)
#include "ShellOpen.h"
#else
#include <QDesktopServices>
#endif

namespace DefaultBrowser {

void OpenUrl(const QUrl& url)
{
    if (!url.isValid())
        return;
#if defined(Q_OS_WIN)
    // The encoded form, escapes as they are and every other byte ASCII: the address the shell passes on,
    // untouched by the system's code page.
    ShellOpen::open(url.toEncoded().constData());
#else
    QDesktopServices::openUrl(url);
#endif
}

} // namespace DefaultBrowser
