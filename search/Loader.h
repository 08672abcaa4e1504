#pragma once

#include <QByteArrayView>
#include <QString>
#include <QUrl>

// What the search needs of the loader (the window's hidden browser, `Web`) that loads the list pages. The
// end of each load is reported by the owner calling the controller's page step, on the window's thread.
class Loader
{
public:
    virtual ~Loader() = default;

    // Starts loading the page and returns at once; a load under way is dropped without a report.
    virtual void Navigate(const QUrl& url) = 0;
    // Cancels the load under way; it is never reported.
    virtual void Stop() = 0;
    // The body of the page whose end of loading was last reported, as valid UTF-8 whatever the page's
    // charset. Valid until the next Navigate or Stop.
    virtual QByteArrayView bodyHtml() const = 0;
    // Whether that page failed to load (no connection, an error status, a reset, too large, cut short).
    virtual bool loadFailed() const = 0;
    // Why that page failed, for messages; empty after a success.
    virtual QString loadError() const = 0;
};
