#include "ClickableLabel.h"
#include "LinkAddresses.h"
#include "PageLoader.h"
#include "TestHttpServer.h"
#include "frmMain.h"

#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTreeView>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QByteArray listRow(int page, int n)
{
    return "<TR align=middle>\r\n<TD>192.0.2." + QByteArray::number(page * 10 + n) + "</TD>\r\n<TD>"
        + QByteArray::number(8000 + page) + "</TD>\r\n<TD>anonymous</TD>\r\n<TD>Country "
        + QByteArray::number(page) + "</TD>\r\n</TR>\r\n";
}

// Serves the seven list pages, two rows each; the page `heldPage` is never answered.
void serveListPages(TestHttpServer& server, int heldPage = -1)
{
    for (int page = 0; page < 7; ++page) {
        TestHttpServer::Response response;
        response.body
            = "<html><body><table>\r\n" + listRow(page, 1) + listRow(page, 2) + "</table></body></html>";
        if (page == heldPage)
            response.mode = TestHttpServer::Response::Mode::Hold;
        server.setResponse(u"/proxy_list.php?showpage=%1"_s.arg(page), response);
    }
}

QString pageRequest(int page)
{
    return u"/proxy_list.php?showpage=%1"_s.arg(page);
}

} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT

private:
    template <typename T = QWidget> T* find(const char* name) const
    {
        return m_window->findChild<T*>(QString::fromLatin1(name));
    }
    QString statusText() const { return find<QLabel>("SimpleText")->text(); }
    QAbstractItemModel* rows() const { return find<QTreeView>("LV1")->model(); }
    void click(const char* name) const { QTest::mouseClick(find(name), Qt::LeftButton); }

    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<frmMain> m_window;

private slots:
    void init()
    {
        m_server = std::make_unique<TestHttpServer>();
        QVERIFY(m_server->listen());
        m_server->setPage(u"/toolads.php"_s, "<html><body><p>Visit the list of the week</p></body></html>");
        m_window = std::make_unique<frmMain>(m_server->base());
    }

    void cleanup()
    {
        m_window.reset();
        m_server.reset();
    }

    void windowAtStart()
    {
        frmMain& window = *m_window;
        // Before the load step the columns have their designed widths.
        QCOMPARE(find<QTreeView>("LV1")->header()->sectionSize(0), 133);
        QCOMPARE(find<QTreeView>("LV1")->header()->sectionSize(3), 96);

        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), u"Velmora - Proxy Tool v1.0"_s);
        QCOMPARE(window.minimumSize(), QSize(471, 358));
        QCOMPARE(window.maximumSize(), QSize(471, 358));
        QVERIFY(!window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(window.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!window.windowIcon().isNull());
        QCOMPARE(find<QLabel>("Image1")->pixmap().size(), QSize(88, 31));
        QVERIFY((window.geometry().center() - window.screen()->availableGeometry().center()).manhattanLength()
            <= 1);

        QCOMPARE(window.font().family(), u"MS Sans Serif"_s);
        QCOMPARE(window.font().pointSizeF(), 8.25);
        const QString shown = QFontInfo(window.font()).family();
        QVERIFY2(
            QFont::substitutes(u"MS Sans Serif"_s).contains(shown, Qt::CaseInsensitive), qPrintable(shown));

        auto* tabs = find<QTabWidget>("SSTab1");
        QCOMPARE(QStringList({ tabs->tabText(0), tabs->tabText(1), tabs->tabText(2) }),
            QStringList({ u"Proxy Search"_s, u"About this Tool"_s, u"Suggested Tools"_s }));
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(statusText(), QString());
        QCOMPARE(rows()->rowCount(), 0);
        auto* web = find<PageLoader>("Web");
        QVERIFY(web && !web->isWidgetType());
    }

    void controlPlacement_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("onTab");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<int>("bold"); // -1: no text
        QTest::addColumn<QString>("text"); // empty: our own wording, checked by labelTextsFitTheirBoxes

        auto row = [](const char* name, const QString& kind, bool onTab, QRect place, int bold,
                       QString text = {}) { QTest::newRow(name) << kind << onTab << place << bold << text; };
        row("S", u"QStatusBar"_s, false, { 0, 341, 471, 17 }, -1);
        row("SSTab1", u"QTabWidget"_s, false, { 0, 62, 473, 289 }, -1);
        row("WebBrowser1", u"QTextBrowser"_s, false, { 0, 0, 497, 73 }, -1);
        row("LV1", u"QTreeView"_s, true, { 2, 24, 465, 222 }, 0);
        row("cmdStart", u"QPushButton"_s, true, { 296, 249, 169, 29 }, 0, u"Search Proxy Servers"_s);
        row("Label3", u"QLabel"_s, true, { 8, 40, 233, 17 }, 1, u"What are Proxy Servers ?"_s);
        row("Label1", u"QLabel"_s, true, { 8, 56, 457, 41 }, 0);
        row("Label5", u"QLabel"_s, true, { 8, 112, 241, 17 }, 1, u"Why should I use proxy servers ?"_s);
        row("Label4", u"QLabel"_s, true, { 8, 128, 449, 57 }, 0);
        row("Label6", u"ClickableLabel"_s, true, { 96, 200, 273, 17 }, 1,
            u"More Information: "_s + ListSite::homeAddress(ListSite::compiledBaseAddress()).toString());
        row("Image1", u"ClickableLabel"_s, true, { 192, 232, 88, 31 }, -1);
        row("Label7", u"QLabel"_s, true, { 8, 40, 225, 17 }, 1);
        row("Label2", u"QLabel"_s, true, { 8, 56, 457, 57 }, 0);
        row("Label8", u"ClickableLabel"_s, true, { 168, 128, 137, 17 }, 1,
            LinkAddresses::UpperMaker.chopped(1));
        row("Label11", u"QLabel"_s, true, { 8, 152, 185, 17 }, 1);
        row("Label9", u"QLabel"_s, true, { 8, 168, 457, 73 }, 0);
        row("Label10", u"ClickableLabel"_s, true, { 64, 240, 345, 17 }, 1, LinkAddresses::LowerProduct);
    }

    void controlPlacement()
    {
        QFETCH(QString, kind);
        QFETCH(bool, onTab);
        QFETCH(QRect, place);
        QFETCH(int, bold);
        QFETCH(QString, text);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

        QWidget* widget = find(QTest::currentDataTag());
        QVERIFY(widget && widget->inherits(qPrintable(kind)));
        QCOMPARE(
            QRect(onTab ? widget->mapTo(find("SSTab1"), QPoint()) : widget->pos(), widget->size()), place);
        // Nothing on a page may reach under the row of tabs, where the page would cut it off.
        if (onTab)
            QVERIFY(widget->parentWidget()->rect().contains(widget->geometry()));
        if (bold >= 0)
            QCOMPARE(widget->font().bold(), bold == 1);
        if (auto* label = qobject_cast<QLabel*>(widget); label && !text.isEmpty())
            QCOMPARE(label->text(), text);
        if (auto* button = qobject_cast<QPushButton*>(widget))
            QCOMPARE(button->text(), text);
        if (auto* link = qobject_cast<ClickableLabel*>(widget)) {
            QVERIFY(!link->font().underline());
            QVERIFY(!link->testAttribute(Qt::WA_SetCursor));
        }
    }

    void labelTextsFitTheirBoxes()
    {
        const QList<QLabel*> labels = find("SSTab1")->findChildren<QLabel*>();
        QCOMPARE(labels.size(), 12);
        for (QLabel* label : labels) {
            if (label->text().isEmpty())
                continue;
            const QFontMetrics metrics(label->font());
            const QRect needed = metrics.boundingRect(QRect(QPoint(), label->size()),
                Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, label->text());
            QVERIFY2(needed.width() <= label->width() && needed.height() <= label->height(),
                qPrintable(
                    label->objectName() + u" needs %1 x %2"_s.arg(needed.width()).arg(needed.height())));
        }
    }

    void tabOrder()
    {
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        find("SSTab1")->setFocus();
        // Labels never take the focus; the status line and the hidden browser have none to take.
        for (QWidget* expected :
            { find("LV1"), find("cmdStart"), find("WebBrowser1"), find("SSTab1")->focusProxy() }) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), expected);
        }
    }

    void loadStep_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("stripText");
        QTest::newRow("advertisement served") << 200 << u"Visit the list of the week"_s;
        QTest::newRow("advertisement missing") << 404 << QString();
    }

    void loadStep()
    {
        QFETCH(int, status);
        QFETCH(QString, stripText);
        m_server->setResponse(
            u"/toolads.php"_s, { status, "text/html", "<body>Visit the list of the week</body>", {}, {} });
        QSignalSpy stripLoaded(find<PageLoader>("WebBrowser1Loader"), &PageLoader::DocumentComplete);
        m_window->show();
        ListViewAdapter& list = m_window->LV1();
        const std::array<float, 4> widths = { 2343.75f, 743.75f, 1343.75f, 2143.75f };
        const std::array<int, 4> pixels = { 156, 50, 90, 143 };
        for (int column = 1; column <= 4; ++column) {
            QCOMPARE(list.ColumnHeaders(column).Width(), widths[size_t(column - 1)]);
            QCOMPARE(find<QTreeView>("LV1")->header()->sectionSize(column - 1), pixels[size_t(column - 1)]);
        }
        QVERIFY(stripLoaded.wait());
        QCOMPARE(find<QTextBrowser>("WebBrowser1")->toPlainText(), stripText);
        QCOMPARE(statusText(), QString());
        // The list browser stays idle until a search starts it.
        QCOMPARE(m_server->requests(), QStringList({ u"/toolads.php"_s }));

        // Another list width follows the same four formulas, in floating point.
        find("LV1")->setFixedWidth(401);
        m_window->Form_Load();
        QCOMPARE(list.ColumnHeaders(1).Width(), 2103.75f);
        QCOMPARE(list.ColumnHeaders(2).Width(), 503.75f);
        QCOMPARE(list.ColumnHeaders(4).Width(), 1903.75f);
    }

    void searchFromButtonClick()
    {
        serveListPages(*m_server);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QStringList statusAtRequest;
        connect(m_server.get(), &TestHttpServer::requestReceived, this, [&](const QString& path) {
            if (path.startsWith(u"/proxy_list.php"))
                statusAtRequest << statusText();
        });
        auto* button = find<QPushButton>("cmdStart");
        click("cmdStart");
        QCOMPARE(button->text(), u"Stop"_s);
        QTRY_COMPARE(statusText(), u"Download Complete"_s);
        QCOMPARE(button->text(), u"Search Proxy Servers"_s);

        QStringList expectedStatus;
        for (int page = 0; page < 7; ++page)
            expectedStatus << u"Downloading Pages %1-%2"_s.arg(page).arg(page + 1);
        QCOMPARE(statusAtRequest, expectedStatus);
        QCOMPARE(rows()->rowCount(), 14);
        for (int row = 0; row < 14; ++row) {
            const int page = row / 2;
            QCOMPARE(rows()->index(row, 0).data().toString(), u"192.0.2.%1"_s.arg(page * 10 + row % 2 + 1));
            QCOMPARE(rows()->index(row, 1).data().toString(), QString::number(8000 + page));
            QCOMPARE(rows()->index(row, 3).data().toString(), u"Country %1"_s.arg(page));
        }

        // A click on a row makes it the list's selected item.
        auto* view = find<QTreeView>("LV1");
        QTest::mouseClick(
            view->viewport(), Qt::LeftButton, {}, view->visualRect(rows()->index(3, 2)).center());
        QCOMPARE(m_window->LV1().SelectedItem()->Key(), u"192.0.2.12:8001"_s);

        // Pictures of the window after a search, one for each tab, for a person to look at.
        const QString folder = QCoreApplication::applicationDirPath() + u"/screenshots"_s;
        QVERIFY(QDir().mkpath(folder));
        for (int tab = 0; tab < 3; ++tab) {
            find<QTabWidget>("SSTab1")->setCurrentIndex(tab);
            QVERIFY(m_window->grab().save(folder + u"/frmMain-tab%1.png"_s.arg(tab)));
        }
    }

    void interruptedSearch_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("lastPage"); // the last page requested
        QTest::addColumn<int>("rowsKept");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("status");
        QTest::newRow("second click while page 2 loads")
            << u"click"_s << 2 << 4 << u"Search Proxy Servers"_s << u"Download Halted"_s;
        QTest::newRow("close while page 2 loads")
            << u"close"_s << 2 << 4 << u"Stop"_s << u"Downloading Pages 2-3"_s;
        QTest::newRow("close while the step after page 0 yields")
            << u"close in yield"_s << 0 << 2 << u"Stop"_s << u"Downloading Pages 0-1"_s;
    }

    void interruptedSearch()
    {
        QFETCH(QString, how);
        QFETCH(int, lastPage);
        QFETCH(int, rowsKept);
        QFETCH(QString, caption);
        QFETCH(QString, status);
        serveListPages(*m_server, 2);
        m_window->show();
        QWidget* window = m_window.get();
        if (how == u"close in yield") {
            // Queued while page 0 is being cut, so the yield in the page step handles the close.
            connect(rows(), &QAbstractItemModel::rowsInserted, window,
                [window] { QMetaObject::invokeMethod(window, &QWidget::close, Qt::QueuedConnection); });
        }
        click("cmdStart");
        QTRY_VERIFY(m_server->requests().contains(pageRequest(lastPage)));
        if (how == u"click")
            click("cmdStart");
        else if (how == u"close")
            m_window->close();
        QTRY_VERIFY(m_window->search().state().halted);
        QCOMPARE(m_window->isVisible(), how == u"click");
        QCOMPARE(find<QPushButton>("cmdStart")->text(), caption);
        QCOMPARE(statusText(), status);
        QCOMPARE(rows()->rowCount(), rowsKept);
        // No page may be fetched after the search ended; give a stray request a moment to show.
        const auto strayRequest
            = [this, lastPage] { return m_server->requests().contains(pageRequest(lastPage + 1)); };
        QVERIFY(!QTest::qWaitFor(strayRequest, 300));
    }

    void linkLabelsReportClicks()
    {
        auto* link = find<ClickableLabel>("Label10");
        m_window->show();
        find<QTabWidget>("SSTab1")->setCurrentIndex(2);
        QSignalSpy clicks(link, &ClickableLabel::clicked);
        click("Label10");
        QCOMPARE(clicks.size(), 1);
        // Letting go outside the label takes the click back.
        QTest::mousePress(link, Qt::LeftButton);
        QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(link->width() + 5, 5));
        QCOMPARE(clicks.size(), 1);
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
