#include "ClickableLabel.h"
#include "LinkAddresses.h"
#include "PageLoader.h"
#include "TestHttpServer.h"
#include "frmMain.h"

#include <QtTest>
#include <QtWidgets>

#include <array>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString pageRequest(int page)
{
    return u"/proxy_list.php?showpage=%1"_s.arg(page);
}

// The seven list pages, two rows each: address 192.0.2.<10 page + n>, port 8000 + page, country
// "Country <page>". The page `heldPage` is never answered.
void serveListPages(TestHttpServer& server, int heldPage = -1)
{
    for (int page = 0; page < 7; ++page) {
        TestHttpServer::Response response;
        QString body = u"<html><body><table>\r\n"_s;
        for (int n = 1; n <= 2; ++n) {
            body += u"<TR align=middle>\r\n<TD>192.0.2.%1</TD>\r\n<TD>%2</TD>\r\n<TD>anonymous</TD>\r\n"
                    u"<TD>Country %3</TD>\r\n</TR>\r\n"_s.arg(page * 10 + n)
                        .arg(8000 + page)
                        .arg(page);
        }
        response.body = (body + u"</table></body></html>"_s).toLatin1();
        if (page == heldPage)
            response.mode = TestHttpServer::Response::Mode::Hold;
        server.setResponse(pageRequest(page), response);
    }
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
    // A key as the system delivers it: to the window, which hands it to the widget with the focus.
    void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) const
    {
        QTest::keyClick(m_window->windowHandle(), key, modifiers);
    }
    void showActive() const
    {
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<frmMain> m_window;

private slots:
    void init()
    {
        m_server = std::make_unique<TestHttpServer>();
        QVERIFY(m_server->listen());
        m_window = std::make_unique<frmMain>(m_server->base());
    }

    void cleanup()
    {
        m_window.reset();
        m_server.reset();
    }

    void windowAtStart_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("stripText");
        QTest::newRow("advertisement served") << 200 << u"Visit the list of the week"_s;
        QTest::newRow("advertisement missing") << 404 << QString();
    }

    void windowAtStart()
    {
        QFETCH(int, status);
        QFETCH(QString, stripText);
        const QUrl localFile = QUrl::fromLocalFile(QCoreApplication::applicationFilePath());
        m_server->setResponse(u"/toolads.php"_s,
            { status, "text/html",
                "<body>Visit the list of the week<img src=\"" + localFile.toEncoded() + "\"></body>", {},
                {} });
        QSignalSpy stripLoaded(find<PageLoader>("WebBrowser1Loader"), &PageLoader::DocumentComplete);
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QCOMPARE(m_window->windowTitle(), u"Velmora - Proxy Tool v1.0"_s);
        QCOMPARE(m_window->minimumSize(), QSize(471, 358));
        QCOMPARE(m_window->maximumSize(), QSize(471, 358));
        QCOMPARE(m_window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint),
            Qt::WindowMinimizeButtonHint);
        QVERIFY(!m_window->windowIcon().isNull());
        QCOMPARE(find<QLabel>("Image1")->pixmap().size(), QSize(88, 31));
        const QPoint offCentre
            = m_window->geometry().center() - m_window->screen()->availableGeometry().center();
        QVERIFY(offCentre.manhattanLength() <= 1);
        QCOMPARE(m_window->font().family(), u"MS Sans Serif"_s);
        QCOMPARE(m_window->font().pointSizeF(), 8.25);
        const QString shown = QFontInfo(m_window->font()).family();
        QVERIFY2(
            QFont::substitutes(u"MS Sans Serif"_s).contains(shown, Qt::CaseInsensitive), qPrintable(shown));

        auto* tabs = find<QTabWidget>("SSTab1");
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(QStringList({ tabs->tabText(0), tabs->tabText(1), tabs->tabText(2) }),
            QStringList({ u"Proxy Search"_s, u"About this Tool"_s, u"Suggested Tools"_s }));
        QCOMPARE(tabs->currentIndex(), 0);

        // The load step sizes the columns from the list's width in twips, in floating point.
        ListViewAdapter& list = m_window->LV1();
        const std::array<float, 4> twips = { 2343.75f, 743.75f, 1343.75f, 2143.75f };
        const std::array<int, 4> pixels = { 156, 50, 90, 143 };
        for (size_t column = 0; column < 4; ++column) {
            QCOMPARE(list.ColumnHeaders(int(column) + 1).Width(), twips[column]);
            QCOMPARE(find<QTreeView>("LV1")->header()->sectionSize(int(column)), pixels[column]);
        }
        QVERIFY(stripLoaded.wait());
        QCOMPARE(find<QTextBrowser>("WebBrowser1")->toPlainText().remove(QChar::ObjectReplacementCharacter),
            stripText);
        // The page cannot make the strip read a file of this computer.
        QVERIFY(find<QTextBrowser>("WebBrowser1")
                    ->document()
                    ->resource(QTextDocument::ImageResource, localFile)
                    .isNull());
        QCOMPARE(statusText(), QString());
        // The list browser stays idle until a search starts it.
        QCOMPARE(m_server->requests(), QStringList({ u"/toolads.php"_s }));

        // 401 pixels are 6015 twips, whose quarter is no whole number.
        find("LV1")->setFixedWidth(401);
        m_window->Form_Load();
        QCOMPARE(QList<float>({ list.ColumnHeaders(1).Width(), list.ColumnHeaders(2).Width(),
                     list.ColumnHeaders(4).Width() }),
            QList<float>({ 2103.75f, 503.75f, 1903.75f }));
    }

    // The focus starts on the tab control and walks the controls that take it, in their tab order.
    // Controls on a page in the back are skipped.
    void keyboardFocus_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("backwards");
        QTest::addColumn<QString>("visited"); // the focus after each key, ending where it started
        QTest::newRow("search page, Tab") << 0 << false << u"LV1 cmdStart WebBrowser1 SSTab1"_s;
        QTest::newRow("search page, Shift+Tab") << 0 << true << u"WebBrowser1 cmdStart LV1 SSTab1"_s;
        QTest::newRow("about page, Tab") << 1 << false << u"WebBrowser1 SSTab1"_s;
        QTest::newRow("tools page, Shift+Tab") << 2 << true << u"WebBrowser1 SSTab1"_s;
    }

    void keyboardFocus()
    {
        QFETCH(int, page);
        QFETCH(bool, backwards);
        QFETCH(QString, visited);
        // Links in the strip, which the focus must pass over all the same.
        m_server->setResponse(u"/toolads.php"_s,
            { 200, "text/html", "<body><a href=\"/a\">one</a> <a href=\"/b\">two</a></body>", {}, {} });
        QSignalSpy stripLoaded(find<PageLoader>("WebBrowser1Loader"), &PageLoader::DocumentComplete);
        showActive();
        QVERIFY(stripLoaded.wait());
        QVERIFY(find("SSTab1")->hasFocus());
        find<QTabWidget>("SSTab1")->setCurrentIndex(page);
        for (const QString& name : visited.split(u' ')) {
            pressKey(
                backwards ? Qt::Key_Backtab : Qt::Key_Tab, backwards ? Qt::ShiftModifier : Qt::NoModifier);
            QVERIFY2(
                find(qPrintable(name))->hasFocus(), qPrintable(QApplication::focusWidget()->objectName()));
        }
    }

    // Ctrl+Tab and Ctrl+Shift+Tab turn the pages, round the ends, wherever the focus is.
    void pageKeys_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<bool>("backwards");
        QTest::addColumn<int>("page"); // from the first page
        for (const char* name : { "SSTab1", "LV1", "cmdStart", "WebBrowser1" }) {
            QTest::addRow("%s, Ctrl+Tab", name) << QString::fromLatin1(name) << false << 1;
            QTest::addRow("%s, Ctrl+Shift+Tab", name) << QString::fromLatin1(name) << true << 2;
        }
    }

    void pageKeys()
    {
        QFETCH(QString, focus);
        QFETCH(bool, backwards);
        QFETCH(int, page);
        showActive();
        find(qPrintable(focus))->setFocus();
        if (backwards)
            pressKey(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        else
            pressKey(Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(find<QTabWidget>("SSTab1")->currentIndex(), page);
    }

    // The button answers Return, keypad Enter and Space while it has the focus; Enter elsewhere presses
    // nothing.
    void buttonKeys_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("presses");
        const auto keypad = int(Qt::Key_Enter);
        QTest::newRow("Return") << u"cmdStart"_s << int(Qt::Key_Return) << true;
        QTest::newRow("keypad Enter") << u"cmdStart"_s << keypad << true;
        QTest::newRow("Space") << u"cmdStart"_s << int(Qt::Key_Space) << true;
        QTest::newRow("Return in the list") << u"LV1"_s << int(Qt::Key_Return) << false;
        QTest::newRow("keypad Enter on the tabs") << u"SSTab1"_s << keypad << false;
    }

    void buttonKeys()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(bool, presses);
        serveListPages(*m_server, 2);
        showActive();
        find(qPrintable(focus))->setFocus();
        const auto modifiers = key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
        pressKey(Qt::Key(key), modifiers);
        if (!presses) {
            QCOMPARE(find<QPushButton>("cmdStart")->text(), u"Search Proxy Servers"_s);
            QCOMPARE(statusText(), QString());
            return;
        }
        QCOMPARE(find<QPushButton>("cmdStart")->text(), u"Stop"_s);
        QTRY_VERIFY(m_server->requests().contains(pageRequest(2)));
        pressKey(Qt::Key(key), modifiers);
        QCOMPARE(statusText(), u"Download Halted"_s);
        QCOMPARE(find<QPushButton>("cmdStart")->text(), u"Search Proxy Servers"_s);
    }

    void controlPlacement_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<int>("bold"); // -1: no text
        QTest::addColumn<QString>("text"); // empty: a paragraph of our own wording

        auto row = [](const char* name, const char* kind, QRect place, int bold, QString text = {}) {
            QTest::newRow(name) << QString::fromLatin1(kind) << place << bold << text;
        };
        row("S", "QStatusBar", { 0, 341, 471, 17 }, -1);
        row("SSTab1", "QTabWidget", { 0, 62, 473, 289 }, -1);
        row("WebBrowser1", "QTextBrowser", { 0, 0, 497, 73 }, -1);
        row("LV1", "QTreeView", { 2, 24, 465, 222 }, 0);
        row("cmdStart", "QPushButton", { 296, 249, 169, 29 }, 0, u"Search Proxy Servers"_s);
        row("Label3", "QLabel", { 8, 40, 233, 17 }, 1, u"What are Proxy Servers ?"_s);
        row("Label1", "QLabel", { 8, 56, 457, 41 }, 0);
        row("Label5", "QLabel", { 8, 112, 241, 17 }, 1, u"Why should I use proxy servers ?"_s);
        row("Label4", "QLabel", { 8, 128, 449, 57 }, 0);
        // The home page of the site the window was built with: here the test server.
        row("Label6", "ClickableLabel", { 96, 200, 273, 17 }, 1, u"More Information: <site>/"_s);
        row("Image1", "ClickableLabel", { 192, 232, 88, 31 }, -1);
        row("Label7", "QLabel", { 8, 40, 225, 17 }, 1, u"Quernstone AntiSpy"_s);
        row("Label2", "QLabel", { 8, 56, 457, 57 }, 0);
        row("Label8", "ClickableLabel", { 168, 128, 137, 17 }, 1, LinkAddresses::UpperMaker.chopped(1));
        row("Label11", "QLabel", { 8, 152, 185, 17 }, 1, u"Brackenguard AntiSpyware"_s);
        row("Label9", "QLabel", { 8, 168, 457, 73 }, 0);
        row("Label10", "ClickableLabel", { 64, 240, 345, 17 }, 1, LinkAddresses::LowerProduct);
    }

    void controlPlacement()
    {
        QFETCH(QString, kind);
        QFETCH(QRect, place);
        QFETCH(int, bold);
        QFETCH(QString, text);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

        QWidget* widget = find(QTest::currentDataTag());
        QVERIFY(widget && widget->inherits(qPrintable(kind)));
        // Controls on the tab pages are placed from the tab control's corner, its row of tabs included.
        const bool onTab = widget->parentWidget() != m_window.get();
        QCOMPARE(
            QRect(onTab ? widget->mapTo(find("SSTab1"), QPoint()) : widget->pos(), widget->size()), place);
        // Nothing on a page may reach under the row of tabs, where the page would cut it off.
        QVERIFY(!onTab || widget->parentWidget()->rect().contains(widget->geometry()));
        if (bold >= 0)
            QCOMPARE(widget->font().bold(), bold == 1);
        const QString shown = widget->property("text").toString();
        if (!text.isEmpty())
            QCOMPARE(shown, text.replace(u"<site>"_s, m_server->base()));
        else if (bold >= 0 && kind == u"QLabel")
            QVERIFY(!shown.isEmpty());
        const QRect needed = QFontMetrics(widget->font())
                                 .boundingRect(QRect(QPoint(), place.size()),
                                     Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, shown);
        QVERIFY2(
            needed.width() <= place.width() && needed.height() <= place.height(), "the text does not fit");
        if (kind == u"ClickableLabel")
            QVERIFY(!widget->font().underline() && !widget->testAttribute(Qt::WA_SetCursor));
    }

    // An address too long for the link's box runs out at its right edge on the one line, rather than
    // wrapping below the box where it could not be seen; the box keeps its place.
    void longSiteAddress()
    {
        const QString site = u"http://lists.a-proxy-site-with-a-rather-long-host-name.example.org:8047"_s;
        m_window = std::make_unique<frmMain>(site);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        auto* label = find<QLabel>("Label6");
        QCOMPARE(label->text(), u"More Information: "_s + site + u'/');
        QCOMPARE(QRect(label->mapTo(find("SSTab1"), QPoint()), label->size()), QRect(96, 200, 273, 17));
        const QFontMetrics metrics(label->font());
        const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        QCOMPARE(metrics.boundingRect(label->rect(), flags, label->text()).height(), metrics.height());
    }

    void search_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("lastPage"); // the last page requested
        QTest::addColumn<int>("rowsKept");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("status");
        QTest::newRow("to the end") << QString() << 6 << 14 << u"Search Proxy Servers"_s
                                    << u"Download Complete"_s;
        QTest::newRow("second click while page 2 loads")
            << u"click"_s << 2 << 4 << u"Search Proxy Servers"_s << u"Download Halted"_s;
        QTest::newRow("close while page 2 loads")
            << u"close"_s << 2 << 4 << u"Stop"_s << u"Downloading Pages 2-3"_s;
        QTest::newRow("close while the step after page 0 yields")
            << u"close in yield"_s << 0 << 2 << u"Stop"_s << u"Downloading Pages 0-1"_s;
    }

    void search()
    {
        QFETCH(QString, how);
        QFETCH(int, lastPage);
        QFETCH(int, rowsKept);
        QFETCH(QString, caption);
        QFETCH(QString, status);
        serveListPages(*m_server, how.isEmpty() ? -1 : 2);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QStringList statusAtRequest;
        connect(m_server.get(), &TestHttpServer::requestReceived, this, [&](const QString& path) {
            if (path.startsWith(u"/proxy_list.php"))
                statusAtRequest << statusText();
        });
        if (how == u"close in yield") {
            QWidget* window = m_window.get();
            // Queued while page 0 is being cut, so the yield in the page step handles the close.
            connect(rows(), &QAbstractItemModel::rowsInserted, window,
                [window] { QMetaObject::invokeMethod(window, &QWidget::close, Qt::QueuedConnection); });
        }
        click("cmdStart");
        QCOMPARE(find<QPushButton>("cmdStart")->text(), u"Stop"_s);
        QTRY_VERIFY(m_server->requests().contains(pageRequest(lastPage)));
        if (how == u"click")
            click("cmdStart");
        else if (how == u"close")
            m_window->close();
        QTRY_VERIFY(m_window->search().state().halted);
        QCOMPARE(m_window->isVisible(), !how.startsWith(u"close"));
        QCOMPARE(find<QPushButton>("cmdStart")->text(), caption);
        QCOMPARE(statusText(), status);

        QStringList expectedStatus;
        for (int page = 0; page <= lastPage; ++page)
            expectedStatus << u"Downloading Pages %1-%2"_s.arg(page).arg(page + 1);
        QCOMPARE(statusAtRequest, expectedStatus);
        QCOMPARE(rows()->rowCount(), rowsKept);
        for (int row = 0; row < rowsKept; ++row) {
            const int page = row / 2;
            QCOMPARE(rows()->index(row, 0).data().toString(), u"192.0.2.%1"_s.arg(page * 10 + row % 2 + 1));
            QCOMPARE(rows()->index(row, 1).data().toString(), QString::number(8000 + page));
            QCOMPARE(rows()->index(row, 3).data().toString(), u"Country %1"_s.arg(page));
        }
        // No page may be fetched after the search ended; give a stray request a moment to show.
        const auto strayRequest
            = [this, lastPage] { return m_server->requests().contains(pageRequest(lastPage + 1)); };
        QVERIFY(!QTest::qWaitFor(strayRequest, 300));
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
