#include "frmMain.h"

#include "AboutPage.h"
#include "AdvertisementStrip.h"
#include "BuiltInPng.h"
#include "DefaultBrowser.h"
#include "KeyListText.h"
#include "LinkAddresses.h"
#include "ListView.h"
#include "PageLoader.h"
#include "ProductTexts.h"
#include "SearchPage.h"
#include "ToolsPage.h"
#include "TwipsLayout.h"
#include "Utf8TextMimeData.h"
#include "WindowFont.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBrowser>

#include <array>

namespace {

// Added to W / 4 for columns 1 to 4; together the columns are 400 twips narrower than the list.
constexpr std::array<float, ProxyTableModel::ColumnCount> ColumnWidthOffsets
    = { 600.0f, -1000.0f, -400.0f, 400.0f };
// Added to W / 5 for columns 1 to 5 once a check added the Answer column: the five share what the four
// had, so the answers show without scrolling. The address keeps room for "255.255.255.255", the type for
// "high anonymity"; a longer answer is cut, and its tool tip holds it whole.
constexpr std::array<float, ProxyTableModel::ColumnCount + 1> CheckedColumnWidthOffsets
    = { 200.0f, -700.0f, 0.0f, -100.0f, 200.0f };

} // namespace

frmMain::frmMain(const QString& siteBase, QWidget* parent)
    : QWidget(parent)
    , m_siteBase(ListSite::normalisedBase(siteBase))
    , m_advertisementAddress(ListSite::advertisementAddress(m_siteBase))
    , m_checker(m_list.model(), ListSite::judgeAddress(m_siteBase))
    , m_web(new PageLoader(this))
    , m_stripLoader(new PageLoader(this))
    , m_search(*this, m_siteBase)
{
    // The images are compiled into this library; a static library's resources need registering by hand.
    Q_INIT_RESOURCE(resources);

    setUpWindow();
    // Created bottom first: the strip lies under the tab control's row of tabs, and the status line lies
    // over the tab control's lowest edge.
    createStrip();
    createTabControl();
    createStatusLine();
    createPages();
    m_SSTab1->setCurrentIndex(0);
    placeTabPageControls();
    setUpKeyboard();
}

frmMain::~frmMain() = default;

void frmMain::setUpWindow()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(ProductTexts::WindowTitle);
    setWindowIcon(QIcon(builtInPng(QStringLiteral(":/tarnwick.png"))));
    // A fixed single border: title, minimise and close, but nothing that changes the size.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(TwipsLayout::pixelRect(objectName()).size());
    setFont(WindowFont::font());

    m_web->setObjectName(QStringLiteral("Web"));
    m_stripLoader->setObjectName(QStringLiteral("WebBrowser1Loader"));
    m_list.setObjectName(QStringLiteral("LV1Adapter"));
}

void frmMain::createStrip()
{
    m_WebBrowser1 = new AdvertisementStrip(this);
    m_WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    m_WebBrowser1->setFrameShape(QFrame::NoFrame);
    TwipsLayout::place(m_WebBrowser1);

    connect(m_stripLoader, &PageLoader::DocumentComplete, this, &frmMain::showStripPage);
    connect(m_WebBrowser1, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
        // Only web pages go to the default browser: a fetched page gets no say over files or other handlers.
        const QUrl target = m_advertisementAddress.resolved(link);
        if (target.scheme() == u"http" || target.scheme() == u"https")
            DefaultBrowser::OpenUrl(target);
    });
}

void frmMain::createTabControl()
{
    m_SSTab1 = new QTabWidget(this);
    m_SSTab1->setObjectName(QStringLiteral("SSTab1"));
    // The whole control is button face, also beside the tabs, where it covers the strip's lowest edge.
    m_SSTab1->setBackgroundRole(QPalette::Button);
    m_SSTab1->setAutoFillBackground(true);
    // Tabs of the usual 20 pixels: the pages' controls are placed from the tab control's corner with that
    // row in mind, and the taller row of some styles would cut off the top of the list.
    m_SSTab1->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { height: 20px; }"));
    TwipsLayout::place(m_SSTab1);
}

void frmMain::createStatusLine()
{
    m_S = new QStatusBar(this);
    m_S->setObjectName(QStringLiteral("S"));
    m_S->setSizeGripEnabled(false);
    // It lies over the tab control's lowest edge, which must not show through the text.
    m_S->setAutoFillBackground(true);
    m_statusText = new QLabel(m_S);
    m_statusText->setObjectName(QStringLiteral("SimpleText"));
    m_statusText->setTextFormat(Qt::PlainText);
    m_S->addWidget(m_statusText, 1);
    TwipsLayout::place(m_S);
}

void frmMain::createPages()
{
    auto* searchPage = new SearchPage(m_SSTab1, m_list);
    m_LV1 = searchPage->listView();
    m_cmdStart = searchPage->startButton();
    connect(m_cmdStart, &QPushButton::clicked, this, [this] { m_search.cmdStart_Click(); });
    connect(m_web, &PageLoader::DocumentComplete, this, [this] { m_search.Web_DocumentComplete(); });
    connect(m_LV1->header(), &QHeaderView::sectionClicked, this,
        [this](int logicalIndex) { LV1_ColumnClick(logicalIndex + 1); });
    connect(m_LV1, &ListView::doubleClick, this, &frmMain::LV1_DblClick);
    connect(m_LV1, &ListView::copyRequested, this, &frmMain::copySelectedKey);
    connect(m_LV1, &ListView::copyAllRequested, this, &frmMain::copyAllKeys);
    connect(m_LV1, &ListView::beforeLabelEdit, this, &frmMain::LV1_BeforeLabelEdit, Qt::DirectConnection);
    connect(m_LV1, &ListView::checkRequested, this, &frmMain::checkSelectedRow);
    connect(m_LV1, &ListView::checkAllRequested, this, &frmMain::checkAllRows);
    connect(m_LV1, &ListView::stopCheckingRequested, this, &frmMain::stopChecking);
    connect(&m_checker, &ListChecker::statusTextChanged, this, &frmMain::setStatusText);
    connect(&m_checker, &ListChecker::runningChanged, m_LV1, &ListView::setChecking);
    connect(&m_list.model(), &QAbstractItemModel::columnsInserted, this, &frmMain::fitAnswerColumn);

    auto* aboutPage = new AboutPage(m_SSTab1, m_siteBase);
    connect(aboutPage, &AboutPage::logoClicked, this, &frmMain::Image1_Click);
    connect(aboutPage, &AboutPage::homeLinkClicked, this, &frmMain::Label6_Click);

    auto* toolsPage = new ToolsPage(m_SSTab1);
    connect(toolsPage, &ToolsPage::upperMakerClicked, this, &frmMain::Label8_Click);
    connect(toolsPage, &ToolsPage::lowerProductClicked, this, &frmMain::Label10_Click);

    m_pages = { searchPage, aboutPage, toolsPage };
}

void frmMain::setUpKeyboard()
{
    // Keyboard focus follows the tab indices; labels and the status line never take it.
    setTabOrder(m_SSTab1, m_LV1);
    setTabOrder(m_LV1, m_cmdStart);
    setTabOrder(m_cmdStart, m_WebBrowser1);
    m_SSTab1->setFocus();

    // Enter presses the button only while it has the focus: it is no default button, and the window has
    // none that Enter elsewhere would press.
    m_cmdStart->setAutoDefault(false);
    m_cmdStart->setDefault(false);
    m_cmdStart->installEventFilter(this);

    // Tab leaves the strip rather than walking its links, which stay for the mouse.
    m_WebBrowser1->setTabChangesFocus(true);
    m_WebBrowser1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
}

void frmMain::placeTabPageControls()
{
    for (TabPage* page : std::as_const(m_pages))
        page->placeControls(m_SSTab1);
}

void frmMain::setVisible(bool visible)
{
    if (visible && !m_loaded) {
        Form_Load();
        setGeometry(
            QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen()->availableGeometry()));
    }
    QWidget::setVisible(visible);
}

void frmMain::showEvent(QShowEvent* event)
{
    // The tab control lays out its pages only once it is shown, so this is the first moment the pages'
    // offset inside it can be measured; nothing has been painted yet.
    placeTabPageControls();
    QWidget::showEvent(event);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_cmdStart && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            // A held key repeats its press; one press, one click.
            if (!key->isAutoRepeat())
                m_cmdStart->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::keyPressEvent(QKeyEvent* event)
{
    // The tab control turns its pages on Ctrl+Tab from its own pages; the strip lies outside it and hands
    // the key on to the window.
    const bool pageKey = event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab;
    if (pageKey && event->modifiers() & Qt::ControlModifier) {
        QCoreApplication::sendEvent(m_SSTab1, event);
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

void frmMain::Form_Load()
{
    m_loaded = true;
    m_web->Stop();
    m_stripLoader->Navigate(m_advertisementAddress);
    for (int column = 1; column <= ProxyTableModel::ColumnCount; ++column) {
        const float width = m_list.Width();
        m_list.ColumnHeaders(column).SetWidth(width / 4.0f + ColumnWidthOffsets[size_t(column - 1)]);
    }
}

void frmMain::Form_Unload()
{
    m_checker.stop();
    m_search.Form_Unload();
    m_stripLoader->Stop();
}

void frmMain::showStripPage()
{
    // A failed load leaves the strip as it was; the strip never reports anything.
    if (m_stripLoader->loadFailed())
        return;
    m_WebBrowser1->showPage(m_stripLoader->documentText());
}

void frmMain::LV1_ColumnClick(int columnHeaderIndex)
{
    // One direction for the whole list: every click, on whichever header, reverses it.
    m_list.SetSortOrder(m_list.SortOrder() == ListViewAdapter::lvwAscending ? ListViewAdapter::lvwDescending
                                                                            : ListViewAdapter::lvwAscending);
    m_list.SetSortKey(qint16(columnHeaderIndex - 1));
    m_list.SetSorted(true);
    // Rows that come later, from the running search or the next one, go below in the order they arrive.
    m_list.SetSorted(false);
}

void frmMain::LV1_DblClick()
{
    copySelectedKey();
}

void frmMain::copySelectedKey()
{
    // With no row selected the clipboard keeps what the user put there; emptying it would only lose that.
    // The key as the list shows it: a cell's line feed pasted raw into a terminal would run what follows.
    const std::optional<ListItem> selected = m_list.SelectedItem();
    if (selected)
        putOnClipboard(m_list.model().shownKey(selected->index()));
}

void frmMain::copyAllKeys()
{
    // The rows the list shows, in the order it shows them (sorting reorders the table itself), each key as
    // the list shows it: so every line is one row, whatever its cells hold.
    if (m_list.model().rowCount() == 0)
        return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setMimeData(new Utf8TextMimeData(keyListText(m_list.model())));
}

void frmMain::checkSelectedRow()
{
    if (const std::optional<ListItem> selected = m_list.SelectedItem())
        m_checker.check({ quint32(selected->index()) });
}

void frmMain::checkAllRows()
{
    m_checker.checkAll();
}

void frmMain::stopChecking()
{
    m_checker.stop();
}

void frmMain::fitAnswerColumn()
{
    const float width = m_list.Width();
    for (int column = 1; column <= ProxyTableModel::ColumnCount + 1; ++column)
        m_list.ColumnHeaders(column).SetWidth(width / 5.0f + CheckedColumnWidthOffsets[size_t(column - 1)]);
}

void frmMain::putOnClipboard(const QString& text)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

void frmMain::LV1_BeforeLabelEdit(qint16& cancel)
{
    cancel = 1;
}

void frmMain::Image1_Click()
{
    DefaultBrowser::OpenUrl(QUrl(LinkAddresses::Forum));
}

void frmMain::Label6_Click()
{
    DefaultBrowser::OpenUrl(ListSite::homeAddress(m_siteBase));
}

void frmMain::Label8_Click()
{
    DefaultBrowser::OpenUrl(QUrl(LinkAddresses::UpperMaker));
}

void frmMain::Label10_Click()
{
    DefaultBrowser::OpenUrl(QUrl(LinkAddresses::LowerProduct));
}

QString frmMain::caption() const
{
    return m_cmdStart->text();
}

void frmMain::setCaption(const QString& caption)
{
    m_cmdStart->setText(caption);
}

void frmMain::setStatusText(const QString& text)
{
    m_statusText->setText(text);
}

ResultList& frmMain::list()
{
    return m_list;
}

Loader& frmMain::Web()
{
    return *m_web;
}

void frmMain::processEvents()
{
    QCoreApplication::processEvents();
}
