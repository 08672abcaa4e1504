#include "DefaultBrowser.h"

#if defined(Q_OS_WIN)
#include "ShellOpen.h"
#else
#include <QDesktopServices>
#include <QUrl>
#endif

namespace DefaultBrowser {

void OpenUrl(const QString& url)
{
#if defined(Q_OS_WIN)
    ShellOpen::open(reinterpret_cast<const wchar_t*>(url.utf16()));
#else
    QDesktopServices::openUrl(QUrl(url, QUrl::StrictMode));
#endif
}

} // namespace DefaultBrowser
