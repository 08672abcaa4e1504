#pragma once

#include <QTextBrowser>

// The strip across the top of the window that shows the list site's advertisement page. It shows what
// the page's text and markup say and nothing more: no scripts run, and nothing the page names is loaded,
// least of all files from this computer.
class AdvertisementStrip : public QTextBrowser
{
    Q_OBJECT

public:
    explicit AdvertisementStrip(QWidget* parent = nullptr);

    // Shows a page as the site served it; whatever it holds, the strip takes only what is safe to show
    // and quick to lay out.
    void showPage(const QString& html);
};
