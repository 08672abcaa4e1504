#include "frmMain.h"

#include "AdvertisementStrip.h"
#include "ClickableLabel.h"
#include "DefaultBrowser.h"
#include "LinkAddresses.h"
#include "ListView.h"
#include "PageLoader.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QImageReader>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBrowser>

#include <array>
#include <string_view>

namespace {

// Where each control sits, in twips. Controls on the tab pages are
// measured from the tab control's top-left corner, its row of tabs included. `Web` is no widget and has
// no place here.
struct Placement
{
    std::string_view name;
    int left;
    int top;
    int width;
    int height;
};

constexpr std::array Layout = {
    Placement { "frmMain", 0, 0, 7065, 5370 },
    Placement { "S", 0, 5115, 7065, 255 },
    Placement { "SSTab1", 0, 930, 7095, 4335 },
    Placement { "WebBrowser1", 0, 0, 7455, 1095 },
    // "Proxy Search"
    Placement { "LV1", 30, 360, 6975, 3330 },
    Placement { "cmdStart", 4440, 3730, 2535, 435 },
    // "About this Tool"
    Placement { "Label3", 120, 600, 3495, 255 },
    Placement { "Label1", 120, 840, 6855, 615 },
    Placement { "Label5", 120, 1680, 3615, 255 },
    Placement { "Label4", 120, 1920, 6735, 855 },
    Placement { "Label6", 1440, 3000, 4095, 255 },
    Placement { "Image1", 2880, 3480, 1320, 465 },
    // "Suggested Tools"
    Placement { "Label7", 120, 600, 3375, 255 },
    Placement { "Label2", 120, 840, 6855, 855 },
    Placement { "Label8", 2520, 1920, 2055, 255 },
    Placement { "Label11", 120, 2280, 2775, 255 },
    Placement { "Label9", 120, 2520, 6855, 1095 },
    Placement { "Label10", 960, 3600, 5175, 255 },
};

QRect pixelRect(const QString& name)
{
    for (const Placement& placement : Layout) {
        if (QLatin1String(placement.name.data(), qsizetype(placement.name.size())) == name) {
            return QRect(frmMain::pixels(placement.left), frmMain::pixels(placement.top),
                frmMain::pixels(placement.width), frmMain::pixels(placement.height));
        }
    }
    Q_ASSERT_X(false, "pixelRect", "a control without a place in the layout table");
    return {};
}

// Added to W / 4 for columns 1 to 4; together the columns are 400 twips narrower than the list.
constexpr std::array<float, ProxyTableModel::ColumnCount> ColumnWidthOffsets
    = { 600.0f, -1000.0f, -400.0f, 400.0f };

const QString WindowFontFamily = QStringLiteral("MS Sans Serif");
constexpr double WindowFontPointSize = 8.25;

// Where the window font is missing. The condensed DejaVu face comes before the regular one because its
// widths are the nearer match, and the texts were fitted to their boxes with it.
void registerFontSubstitutes()
{
    QFont::insertSubstitutions(WindowFontFamily,
        { QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
            QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans"),
            QStringLiteral("Helvetica") });
}

const QString AboutProxyServers = QStringLiteral(
    "A proxy server stands between you and the web sites you visit. It protects your privacy by masking your "
    "IP address and browser data, and anonymous or high-anonymous proxy servers make you untraceable while "
    "you surf.");

const QString WhyUseProxyServers = QStringLiteral(
    "Every web site you visit records your IP address: in its log files, with every message you post in a "
    "forum or guest book, and in the cookies it leaves on your computer. A proxy server answers the site in "
    "your place, so your own address stays hidden.");

const QString UpperToolTitle = QStringLiteral("Quernstone AntiSpy");

const QString UpperToolText = QStringLiteral(
    "Quernstone AntiSpy from Harrowfell Labs finds spyware, adware, dialers and tracking cookies on your "
    "computer and removes them. Its resident shield checks every download and warns you before a program can "
    "change your browser's home page or send your data out.");

const QString LowerToolTitle = QStringLiteral("Brackenguard AntiSpyware");

const QString LowerToolText = QStringLiteral(
    "Brackenguard from Ellendrake Software watches the programs that start with your computer, your "
    "browser's add-ons and your Hosts file, and stops spyware before it settles in. Everything it removes "
    "goes into a quarantine folder first, so a program you still need is back with one click. New "
    "definitions arrive every week, and a free edition is available for home use.");

// Our images are PNGs, which Qt reads itself; left to guess the format, it would first load every
// image plugin on the system to ask them, a good part of the window's start-up.
QPixmap builtInPng(const QString& path)
{
    QImageReader reader(path, "PNG");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

} // namespace

int frmMain::pixels(double twips)
{
    return qRound(twips / TwipsPerPixel);
}

frmMain::frmMain(const QString& siteBase, QWidget* parent)
    : QWidget(parent)
    , m_siteBase(ListSite::normalisedBase(siteBase))
    , m_advertisementAddress(ListSite::advertisementAddress(m_siteBase))
    , m_web(new PageLoader(this))
    , m_advertisementLoader(new PageLoader(this))
    , m_search(*this, m_siteBase)
{
    // The images are compiled into this library; a static library's resources need registering by hand.
    Q_INIT_RESOURCE(resources);

    setUpWindow();
    // Created bottom first: the strip lies under the tab control's row of tabs, and the status line lies
    // over the tab control's lowest edge.
    createAdvertisementStrip();
    createTabControl();
    createStatusLine();
    createSearchPage();
    createAboutPage();
    createToolsPage();
    m_SSTab1->setCurrentIndex(0);
    placeTabPageControls();
    setUpKeyboard();
}

frmMain::~frmMain() = default;

void frmMain::setUpWindow()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Velmora - Proxy Tool v1.0"));
    setWindowIcon(QIcon(builtInPng(QStringLiteral(":/tarnwick.png"))));
    // A fixed single border: title, minimise and close, but nothing that changes the size.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(pixelRect(objectName()).size());

    registerFontSubstitutes();
    QFont windowFont(WindowFontFamily);
    windowFont.setPointSizeF(WindowFontPointSize);
    setFont(windowFont);

    m_web->setObjectName(QStringLiteral("Web"));
    m_advertisementLoader->setObjectName(QStringLiteral("WebBrowser1Loader"));
    m_list.setObjectName(QStringLiteral("LV1Adapter"));
}

void frmMain::createAdvertisementStrip()
{
    m_WebBrowser1 = new AdvertisementStrip(this);
    m_WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    m_WebBrowser1->setFrameShape(QFrame::NoFrame);
    placeControl(m_WebBrowser1, QPoint());

    connect(m_advertisementLoader, &PageLoader::DocumentComplete, this, &frmMain::showAdvertisement);
    connect(m_WebBrowser1, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
        // Only web pages go to the browser: a fetched page gets no say over files or other handlers.
        const QUrl target = m_advertisementAddress.resolved(link);
        if (target.scheme() == u"http" || target.scheme() == u"https")
            DefaultBrowser::OpenUrl(target.toString());
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
    placeControl(m_SSTab1, QPoint());
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
    placeControl(m_S, QPoint());
}

void frmMain::createSearchPage()
{
    QWidget* searchPage = addPage(QStringLiteral("Proxy Search"));
    createList(searchPage);

    m_cmdStart = new QPushButton(SearchController::StartCaption, searchPage);
    m_cmdStart->setObjectName(QStringLiteral("cmdStart"));
    m_pageControls.append(m_cmdStart);

    connect(m_cmdStart, &QPushButton::clicked, this, [this] { m_search.cmdStart_Click(); });
    connect(m_web, &PageLoader::DocumentComplete, this, [this] { m_search.Web_DocumentComplete(); });
}

void frmMain::createList(QWidget* searchPage)
{
    m_LV1 = new ListView(searchPage);
    m_LV1->setObjectName(QStringLiteral("LV1"));
    m_LV1->setModel(&m_list.model());
    m_LV1->setRootIsDecorated(false);
    m_LV1->setItemsExpandable(false);
    // Lets the view skip measuring rows, which keeps a list of many thousand rows quick.
    m_LV1->setUniformRowHeights(true);
    m_LV1->setAllColumnsShowFocus(true);
    m_LV1->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_LV1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_LV1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_LV1->setSortingEnabled(false);
    // Headers answer a press like buttons. A click sorts through
    // LV1_ColumnClick alone: Qt's own sorting stays off, it would keep the rows in order as they arrive.
    m_LV1->header()->setSectionsClickable(true);
    m_LV1->header()->setStretchLastSection(false);
    m_LV1->header()->setSectionsMovable(false);
    m_LV1->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 1; column <= ProxyTableModel::ColumnCount; ++column)
        m_LV1->header()->resizeSection(column - 1, pixels(double(m_list.ColumnHeaders(column).Width())));
    m_pageControls.append(m_LV1);

    m_list.setWidthSource([this] { return float(m_LV1->width() * TwipsPerPixel); });
    connect(&m_list, &ListViewAdapter::columnWidthChanged, this,
        [this](int index, float twips) { m_LV1->header()->resizeSection(index - 1, pixels(double(twips))); });
    connect(m_LV1->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList rows = m_LV1->selectionModel()->selectedRows();
        m_list.setSelectedIndex(rows.isEmpty() ? QModelIndex() : rows.first());
    });

    connect(m_LV1->header(), &QHeaderView::sectionClicked, this,
        [this](int logicalIndex) { LV1_ColumnClick(logicalIndex + 1); });
    connect(m_LV1, &ListView::DblClick, this, &frmMain::LV1_DblClick);
    connect(m_LV1, &ListView::copyRequested, this, &frmMain::copySelectedKey);
    connect(m_LV1, &ListView::copyAllRequested, this, &frmMain::copyAllKeys);
    connect(m_LV1, &ListView::BeforeLabelEdit, this, &frmMain::LV1_BeforeLabelEdit, Qt::DirectConnection);
}

void frmMain::createAboutPage()
{
    QWidget* aboutPage = addPage(QStringLiteral("About this Tool"));
    addLabel(
        new QLabel, aboutPage, QStringLiteral("Label3"), QStringLiteral("What are Proxy Servers ?"), true);
    addLabel(new QLabel, aboutPage, QStringLiteral("Label1"), AboutProxyServers, false);
    addLabel(new QLabel, aboutPage, QStringLiteral("Label5"),
        QStringLiteral("Why should I use proxy servers ?"), true);
    addLabel(new QLabel, aboutPage, QStringLiteral("Label4"), WhyUseProxyServers, false);
    ClickableLabel* label6 = addLink(aboutPage, QStringLiteral("Label6"),
        QStringLiteral("More Information: ") + LinkAddresses::listSiteHome(m_siteBase));
    auto* image1 = new ClickableLabel(aboutPage);
    image1->setObjectName(QStringLiteral("Image1"));
    image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    image1->setPixmap(builtInPng(QStringLiteral(":/logo.png")));
    m_pageControls.append(image1);

    connect(image1, &ClickableLabel::clicked, this, &frmMain::Image1_Click);
    connect(label6, &ClickableLabel::clicked, this, &frmMain::Label6_Click);
}

void frmMain::createToolsPage()
{
    QWidget* toolsPage = addPage(QStringLiteral("Suggested Tools"));
    addLabel(new QLabel, toolsPage, QStringLiteral("Label7"), UpperToolTitle, true);
    addLabel(new QLabel, toolsPage, QStringLiteral("Label2"), UpperToolText, false);
    ClickableLabel* label8
        = addLink(toolsPage, QStringLiteral("Label8"), ListSite::normalisedBase(LinkAddresses::UpperMaker));
    addLabel(new QLabel, toolsPage, QStringLiteral("Label11"), LowerToolTitle, true);
    addLabel(new QLabel, toolsPage, QStringLiteral("Label9"), LowerToolText, false);
    ClickableLabel* label10 = addLink(toolsPage, QStringLiteral("Label10"), LinkAddresses::LowerProduct);

    connect(label8, &ClickableLabel::clicked, this, &frmMain::Label8_Click);
    connect(label10, &ClickableLabel::clicked, this, &frmMain::Label10_Click);
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

QWidget* frmMain::addPage(const QString& title)
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("SSTab1Page%1").arg(m_SSTab1->count()));
    // The same button face as the labels on it, whatever colour the style gives the tab pane.
    page->setBackgroundRole(QPalette::Button);
    page->setAutoFillBackground(true);
    m_SSTab1->addTab(page, title);
    return page;
}

QLabel* frmMain::addLabel(QLabel* label, QWidget* page, const QString& name, const QString& text, bool bold)
{
    label->setParent(page);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFrameShape(QFrame::NoFrame);
    label->setMargin(0);
    label->setBackgroundRole(QPalette::Button);
    label->setForegroundRole(QPalette::ButtonText);
    label->setAutoFillBackground(true);
    if (bold) {
        QFont boldFont = label->font();
        boldFont.setBold(true);
        label->setFont(boldFont);
    }
    m_pageControls.append(label);
    return label;
}

ClickableLabel* frmMain::addLink(QWidget* page, const QString& name, const QString& text)
{
    auto* link = new ClickableLabel;
    addLabel(link, page, name, text, true);
    // A link's box holds one line: an address too long for it runs out at the right edge, where the box
    // cuts it off, rather than wrapping onto a second line below the box, out of sight.
    link->setWordWrap(false);
    return link;
}

void frmMain::placeControl(QWidget* control, QPoint origin)
{
    const QRect place = pixelRect(control->objectName());
    control->setFixedSize(place.size());
    control->move(place.topLeft() - origin);
}

void frmMain::placeTabPageControls()
{
    for (QWidget* control : std::as_const(m_pageControls))
        placeControl(control, control->parentWidget()->mapTo(m_SSTab1, QPoint()));
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
    m_advertisementLoader->Navigate(m_advertisementAddress);
    for (int column = 1; column <= ProxyTableModel::ColumnCount; ++column) {
        const float width = m_list.Width();
        m_list.ColumnHeaders(column).SetWidth(width / 4.0f + ColumnWidthOffsets[size_t(column - 1)]);
    }
}

void frmMain::Form_Unload()
{
    m_search.Form_Unload();
    m_advertisementLoader->Stop();
}

void frmMain::showAdvertisement()
{
    // A failed load leaves the strip as it was; the strip never reports anything.
    if (m_advertisementLoader->LoadFailed())
        return;
    m_WebBrowser1->showPage(m_advertisementLoader->documentText());
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
        putOnClipboard(m_list.model().shownKey(selected->Index()));
}

void frmMain::copyAllKeys()
{
    // The rows the list shows, in the order it shows them (sorting reorders the table itself), each key as
    // the list shows it: so every line is one row, whatever its cells hold.
    const ProxyTableModel& table = m_list.model();
    const int rows = table.rowCount();
    if (rows == 0)
        return;
    // A key is at most "255.255.255.255:65535" on a well-formed page, so one reservation nearly always
    // holds the whole text: 137,000 keys become one string without a copy along the way.
    constexpr qsizetype UsualLineLength = 22;
    QByteArray text;
    text.reserve(rows * UsualLineLength);
    for (int row = 0; row < rows; ++row) {
        appendVisible(text, table.keyUtf8(row));
        text += '\n';
    }
    putOnClipboard(QString::fromUtf8(text));
}

void frmMain::putOnClipboard(const QString& text)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

void frmMain::LV1_BeforeLabelEdit(qint16& Cancel)
{
    Cancel = 1;
}

void frmMain::Image1_Click()
{
    DefaultBrowser::OpenUrl(LinkAddresses::Forum);
}

void frmMain::Label6_Click()
{
    DefaultBrowser::OpenUrl(LinkAddresses::listSiteHome(m_siteBase));
}

void frmMain::Label8_Click()
{
    DefaultBrowser::OpenUrl(LinkAddresses::UpperMaker);
}

void frmMain::Label10_Click()
{
    DefaultBrowser::OpenUrl(LinkAddresses::LowerProduct);
}

QString frmMain::Caption() const
{
    return m_cmdStart->text();
}

void frmMain::SetCaption(const QString& caption)
{
    m_cmdStart->setText(caption);
}

void frmMain::SetStatusText(const QString& text)
{
    m_statusText->setText(text);
}

ResultList& frmMain::List()
{
    return m_list;
}

Browser& frmMain::Web()
{
    return *m_web;
}

void frmMain::DoEvents()
{
    QCoreApplication::processEvents();
}
