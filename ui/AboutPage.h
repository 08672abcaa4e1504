#pragma once

#include "TabPage.h"

// The "About this Tool" page: what proxy servers are and why to use them, a link to the list site's home
// page and the maker's logo.
class AboutPage : public TabPage
{
    Q_OBJECT

public:
    AboutPage(QTabWidget* tabs, const QString& siteBase);

signals:
    void homeLinkClicked();
    void logoClicked();
};
