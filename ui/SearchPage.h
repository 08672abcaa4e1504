#pragma once

#include "TabPage.h"

class ListView;
class ListViewAdapter;
class QPushButton;

// The "Proxy Search" page: the result list, its view kept in step with the list view adapter (column
// widths, the list's width, the selection), and the start button.
class SearchPage : public TabPage
{
    Q_OBJECT

public:
    SearchPage(QTabWidget* tabs, ListViewAdapter& list);

    ListView* listView() const { return m_LV1; }
    QPushButton* startButton() const { return m_cmdStart; }

private:
    ListView* m_LV1;
    QPushButton* m_cmdStart;
};
