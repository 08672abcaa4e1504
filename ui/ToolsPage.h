#pragma once

#include "TabPage.h"

// The "Suggested Tools" page: two programs, each with its title, its text and a link.
class ToolsPage : public TabPage
{
    Q_OBJECT

public:
    explicit ToolsPage(QTabWidget* tabs);

signals:
    void upperMakerClicked();
    void lowerProductClicked();
};
