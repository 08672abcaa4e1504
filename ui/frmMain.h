#pragma once

#include "ListChecker.h"
#include "ListSite.h"
#include "ListViewAdapter.h"
#include "SearchController.h"
#include "SearchHost.h"

#include <QList>
#include <QPoint>
#include <QString>
#include <QUrl>
#include <QWidget>

class AdvertisementStrip;
class ListView;
class PageLoader;
class QLabel;
class QPushButton;
class QStatusBar;
class QTabWidget;
class TabPage;

// The tool's one window: the advertisement strip, the three tab pages, the result list, the start button
// and the status line. It runs no search itself; it offers the search its controls and forwards events.
class frmMain : public QWidget, public SearchHost
{
    Q_OBJECT

public:
    // `siteBase` is where the list pages and the advertisement page come from.
    explicit frmMain(const QString& siteBase = ListSite::compiledBaseAddress(), QWidget* parent = nullptr);
    ~frmMain() override;

    // Stops the loader, loads the strip and sizes the list's columns. Runs on its own
    // before the window is first shown.
    void Form_Load();
    void Form_Unload();

    // The result list toward the user: a header click sorts, a double-click copies the selected row's key,
    // and in-place edits are refused. `columnHeaderIndex` counts from 1.
    void LV1_ColumnClick(int columnHeaderIndex);
    void LV1_DblClick();
    void LV1_BeforeLabelEdit(qint16& cancel);

    void Image1_Click();
    void Label6_Click();
    void Label8_Click();
    void Label10_Click();

    // The list's check: the selected row, or every row in the list's order; "Stop Checking". The Answer
    // column comes with the first check.
    void checkSelectedRow();
    void checkAllRows();
    void stopChecking();
    // The engine each check uses, for tests; CheckRun::create() unless set.
    void setCheckRunFactory(ListChecker::RunFactory factory) { m_checker.setRunFactory(std::move(factory)); }

    // The result list under the list view's names.
    ListViewAdapter& LV1() { return m_list; }
    const SearchController& search() const { return m_search; }
    const ListChecker& checker() const { return m_checker; }

    // SearchHost
    QString caption() const override;
    void setCaption(const QString& caption) override;
    void setStatusText(const QString& text) override;
    ResultList& list() override;
    Loader& Web() override;
    void processEvents() override;

    void setVisible(bool visible) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The steps that build the window, in the order the constructor runs them.
    void setUpWindow();
    void createStrip();
    void createTabControl();
    void createStatusLine();
    void createPages();
    void setUpKeyboard();

    void placeTabPageControls();
    void showStripPage();
    // The selected row's key, or every key one per line in the list's order, as plain text.
    void copySelectedKey();
    void copyAllKeys();
    void putOnClipboard(const QString& text);
    // Makes room in the list for the Answer column, which the first check adds.
    void fitAnswerColumn();

    QString m_siteBase;
    QUrl m_advertisementAddress;
    bool m_loaded = false;

    ListViewAdapter m_list;
    // After the list, whose table it writes into, so it goes first.
    ListChecker m_checker;
    PageLoader* m_web;
    PageLoader* m_stripLoader;

    AdvertisementStrip* m_WebBrowser1;
    QTabWidget* m_SSTab1;
    QStatusBar* m_S;
    QLabel* m_statusText;
    ListView* m_LV1;
    QPushButton* m_cmdStart;
    QList<TabPage*> m_pages;

    SearchController m_search;
};
