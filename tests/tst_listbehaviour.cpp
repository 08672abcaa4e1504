// The result list toward the user (sorting by header clicks, copying keys by double-click, copy key and
// context menu, no in-place editing) and the four links, all driven through the mouse and keyboard as a
// user would.
#include "ListView.h"
#include "ProxyRecord.h"
#include "TestHttpServer.h"
#include "frmMain.h"

#include <QtTest>
#include <QtWidgets>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Address, port, type, country; the key of a row is "address:port".
const QList<QStringList> Table = {
    { u"192.0.2.10"_s, u"80"_s, u"anonymous"_s, u"Germany"_s },
    { u"203.0.113.5"_s, u"443"_s, u"transparent"_s, u"france"_s },
    { u"198.51.100.7"_s, u"81"_s, u"high anonymity"_s, u"GERMANY"_s },
    { u"192.0.2.9"_s, u"8080"_s, u"Anonymous"_s, u"Brazil"_s },
};

QString keyOf(int tableRow)
{
    return Table[tableRow][0] + u':' + Table[tableRow][1];
}

// The ports of the fourteen rows of a search, two a page, in page order: no two pages in order.
const QStringList SearchPorts = { u"8080"_s, u"3128"_s, u"80"_s, u"8000"_s, u"1080"_s, u"443"_s, u"81"_s,
    u"9050"_s, u"8888"_s, u"60000"_s, u"3129"_s, u"8118"_s, u"1081"_s, u"554"_s };

void serveSearchPages(TestHttpServer& server, int heldPage = -1)
{
    for (int page = 0; page < 7; ++page) {
        TestHttpServer::Response response;
        response.body = "<html><body><table>\r\n";
        for (int n = 0; n < 2; ++n) {
            response.body += "<TR align=middle>\r\n<TD>192.0.2." + QByteArray::number(page * 2 + n + 1)
                + "</TD>\r\n<TD>" + SearchPorts[page * 2 + n].toLatin1()
                + "</TD>\r\n<TD>anonymous</TD>\r\n<TD>Nowhere</TD>\r\n</TR>\r\n";
        }
        response.body += "</table></body></html>";
        if (page == heldPage)
            response.mode = TestHttpServer::Response::Mode::Hold;
        server.setResponse(u"/proxy_list.php?showpage=%1"_s.arg(page), response);
    }
}

} // namespace

class tst_ListBehaviour : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the user's browser: records every address handed to the desktop.
    void open(const QUrl& url) { m_opened << url.toString(); }

private:
    template <typename T = QWidget> T* find(const QString& name) const
    {
        return m_window->findChild<T*>(name);
    }
    ListView* view() const { return find<ListView>(u"LV1"_s); }
    QString statusText() const { return find<QLabel>(u"SimpleText"_s)->text(); }
    QString caption() const { return find<QPushButton>(u"cmdStart"_s)->text(); }
    // A click on a control, its tab page brought to the front first.
    void click(const QString& name) const
    {
        auto* tabs = find<QTabWidget>(u"SSTab1"_s);
        if (const int page = tabs->indexOf(find(name)->parentWidget()); page >= 0)
            tabs->setCurrentIndex(page);
        QTest::mouseClick(find(name), Qt::LeftButton);
    }

    void add(const QStringList& row)
    {
        const QByteArray address = row[0].toUtf8(), port = row[1].toUtf8(), type = row[2].toUtf8(),
                         country = row[3].toUtf8();
        m_window->LV1().Add(ProxyRecord { address, port, type, country });
    }

    void addTable()
    {
        for (const QStringList& row : Table)
            add(row);
    }

    QStringList column(int index) const
    {
        QStringList texts;
        for (int row = 0; row < view()->model()->rowCount(); ++row)
            texts << view()->model()->index(row, index).data().toString();
        return texts;
    }

    void clickHeader(const QString& title) const
    {
        QHeaderView* header = view()->header();
        int section = 0;
        while (section < header->count() && view()->model()->headerData(section, Qt::Horizontal) != title)
            ++section;
        QVERIFY2(section < header->count(), qPrintable(u"no header "_s + title));
        const int x = header->sectionViewportPosition(section) + header->sectionSize(section) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }

    // Where a row is on the screen; row -1 is the empty space below the last row.
    QPoint rowPoint(int row) const
    {
        return row < 0 ? QPoint(10, view()->viewport()->height() - 5)
                       : view()->visualRect(view()->model()->index(row, 1)).center();
    }

    // What the system delivers for a double-click; QTest's own sends the second press alone.
    void doubleClick(int row) const
    {
        QWidget* viewport = view()->viewport();
        QTest::mousePress(viewport, Qt::LeftButton, {}, rowPoint(row));
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, rowPoint(row));
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, rowPoint(row));
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, rowPoint(row));
    }

    // The list's context menu, opened as the system opens it: by a right-click on a row (-1: on the
    // empty space below the rows) or, for MenuKey, from the keyboard on the current row.
    static constexpr int MenuKey = -2;
    QMenu* contextMenu(int row) const
    {
        if (row == MenuKey) {
            view()->setFocus();
            // What the platform sends for the menu key; the offscreen platform has no menu key of its own.
            QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(), view()->mapToGlobal(QPoint()));
            QApplication::sendEvent(view(), &event);
        } else {
            QTest::mouseClick(m_window->windowHandle(), Qt::RightButton, {},
                view()->viewport()->mapTo(m_window.get(), rowPoint(row)));
        }
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }

    // Clicks the menu entry; a disabled one stays, the menu open.
    static QAction* choose(QMenu* menu, const QString& entry)
    {
        const QList<QAction*> actions = menu->actions();
        const auto found = std::find_if(actions.begin(), actions.end(),
            [&](QAction* action) { return action->text().remove(u'&') == entry; });
        if (found == actions.end())
            return nullptr;
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(*found).center());
        return *found;
    }

    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<frmMain> m_window;
    QStringList m_opened;

private slots:
    void init()
    {
        m_server = std::make_unique<TestHttpServer>();
        QVERIFY(m_server->listen());
        for (const QString& scheme : { u"http"_s, u"file"_s })
            QDesktopServices::setUrlHandler(scheme, this, "open");
        m_opened.clear();
        m_window = std::make_unique<frmMain>(m_server->base());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        m_window.reset();
        m_server.reset();
        for (const QString& scheme : { u"http"_s, u"file"_s })
            QDesktopServices::unsetUrlHandler(scheme);
    }

    void sortByHeaderClicks_data()
    {
        QTest::addColumn<QString>("headers"); // clicked one after the other
        QTest::addColumn<QString>("orders"); // the rows of Table, by index, after each click
        QTest::newRow("address twice: ascending, then descending") << u"Address Address"_s << u"0321 1230"_s;
        QTest::newRow("address then port: the port sort runs the other way")
            << u"Address Port"_s << u"0321 2301"_s;
        QTest::newRow("ports compare as text") << u"Port"_s << u"1032"_s;
        QTest::newRow("letter case ignored, equal rows keep their order")
            << u"Country Type"_s << u"3102 1230"_s;
    }

    void sortByHeaderClicks()
    {
        QFETCH(QString, headers);
        QFETCH(QString, orders);
        addTable();
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, rowPoint(0));
        const QStringList clicks = headers.split(u' ');
        for (qsizetype click = 0; click < clicks.size(); ++click) {
            clickHeader(clicks[click]);
            const QString order = orders.split(u' ')[click];
            QStringList expected;
            for (QChar row : order)
                expected << Table[row.digitValue()][0];
            QCOMPARE(column(0), expected);
            // The selection moves with its row.
            QCOMPARE(m_window->LV1().SelectedItem()->Key(), keyOf(0));
            QCOMPARE(view()->selectionModel()->selectedRows().value(0).row(), order.indexOf(u'0'));
        }
    }

    void equalRowsKeepTheirOrder()
    {
        // Enough rows that a sort which is not stable shows it; the types differ in letter case only.
        const QStringList types = { u"anonymous"_s, u"Anonymous"_s, u"ANONYMOUS"_s };
        for (int n = 0; n < 200; ++n) {
            const QString address = u"192.0.2.%1"_s.arg(n);
            add({ address, u"80"_s, types[n % 3], QString() });
        }
        const QStringList pageOrder = column(0);
        for (int click = 0; click < 2; ++click) {
            clickHeader(u"Type"_s);
            QCOMPARE(column(0), pageOrder);
        }
    }

    void sortWhileSearchRunsAndAfter()
    {
        serveSearchPages(*m_server);
        QStringList portsAtClick;
        QString statusAtClick;
        // The server tells of the request for page 3 before it answers: the click comes while the search
        // waits for that page, with pages 0 to 2 in the list.
        connect(m_server.get(), &TestHttpServer::requestReceived, this, [&](const QString& path) {
            if (path != u"/proxy_list.php?showpage=3" || !statusAtClick.isEmpty())
                return;
            statusAtClick = statusText() + u", "_s + caption();
            clickHeader(u"Port"_s);
            portsAtClick = column(1);
        });
        click(u"cmdStart"_s);
        QTRY_COMPARE(statusText(), u"Download Complete"_s);
        QCOMPARE(statusAtClick, u"Downloading Pages 3-4, Stop"_s);
        QCOMPARE(
            portsAtClick, QStringList({ u"1080"_s, u"3128"_s, u"443"_s, u"80"_s, u"8000"_s, u"8080"_s }));
        // Pages 3 to 6 stand below the sorted rows, in page order.
        QCOMPARE(column(1), portsAtClick + SearchPorts.mid(6));

        // Digits alone: comparing as text ignoring case is comparing code points.
        QStringList ascending = SearchPorts;
        ascending.sort();
        clickHeader(u"Port"_s);
        QCOMPARE(column(1), QStringList(ascending.rbegin(), ascending.rend()));

        // A new search shows its rows in page order; the direction carries on from the last click.
        click(u"cmdStart"_s);
        QTRY_COMPARE(statusText(), u"Download Complete"_s);
        QCOMPARE(column(1), SearchPorts);
        clickHeader(u"Port"_s);
        QCOMPARE(column(1), ascending);

        // "Copy All" copies every key in the order the list shows.
        QString keys;
        for (int row = 0; row < SearchPorts.size(); ++row)
            keys += column(0)[row] + u':' + column(1)[row] + u'\n';
        QMenu* menu = contextMenu(0);
        QVERIFY(menu);
        QVERIFY(choose(menu, u"Copy All"_s));
        QCOMPARE(QGuiApplication::clipboard()->text(), keys);
    }

    // A double-click, the copy key and the menu's "Copy" copy the selected row's key, "Copy All" every key;
    // with nothing to copy the clipboard keeps what it had. No gesture opens an editor on a row.
    void rowGestures_data()
    {
        QTest::addColumn<QString>("gesture"); // "menu: <entry>" right-clicks `row`, "menu key: <entry>"
        QTest::addColumn<int>("selectFirst"); // -1: no row
        QTest::addColumn<int>("row"); // -1: the empty space below the rows, or no row at all
        QTest::addColumn<QString>("copied"); // empty: the clipboard keeps what it had
        const QString dblClick = u"double-click"_s;
        QTest::newRow("double-click on a row") << dblClick << -1 << 2 << keyOf(2);
        QTest::newRow("double-click on another row than the selected one") << dblClick << 0 << 3 << keyOf(3);
        // The press on the empty space takes the selection away, as the list's selection works.
        QTest::newRow("double-click below the rows, a row selected before")
            << dblClick << 1 << -1 << QString();
        QTest::newRow("double-click in an empty list") << dblClick << -1 << -1 << QString();
        QTest::newRow("Ctrl+C") << u"Ctrl+C"_s << 2 << -1 << keyOf(2);
        QTest::newRow("Ctrl+C, no row selected") << u"Ctrl+C"_s << -1 << -1 << QString();
        QTest::newRow("right-click Copy on another row than the selected one")
            << u"menu: Copy"_s << 0 << 3 << keyOf(3);
        QTest::newRow("right-click Copy below the rows") << u"menu: Copy"_s << 1 << -1 << QString();
        QTest::newRow("menu key Copy") << u"menu key: Copy"_s << 1 << -1 << keyOf(1);
        QTest::newRow("Copy All")
            << u"menu: Copy All"_s << -1 << -1
            << QStringList({ keyOf(0), keyOf(1), keyOf(2), keyOf(3), QString() }).join(u'\n');
        QTest::newRow("Copy All, empty list") << u"menu: Copy All"_s << -1 << -1 << QString();
        for (const char* gesture : { "F2", "typing a letter", "slow second click", "edit call" })
            QTest::newRow(gesture) << QString::fromLatin1(gesture) << 1 << 1 << QString();
    }

    void rowGestures()
    {
        QFETCH(QString, gesture);
        QFETCH(int, selectFirst);
        QFETCH(int, row);
        QFETCH(QString, copied);
        if (!QByteArray(QTest::currentDataTag()).contains("empty list"))
            addTable();
        auto* earlier = new QMimeData;
        earlier->setText(u"earlier text"_s);
        earlier->setHtml(u"<b>earlier text</b>"_s);
        QGuiApplication::clipboard()->setMimeData(earlier);
        if (selectFirst >= 0) {
            QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, rowPoint(selectFirst));
            QCOMPARE(view()->currentIndex().row(), selectFirst);
        }
        QList<qint16> answers;
        // Connected after the window, so this sees the window's answer.
        connect(view(), &ListView::BeforeLabelEdit, this, [&](qint16& Cancel) { answers << Cancel; });

        const QModelIndex index = view()->model()->index(row, 0);
        const QStringList menu = gesture.split(u": "_s);
        if (gesture == u"double-click") {
            doubleClick(row);
        } else if (gesture == u"Ctrl+C") {
            view()->setFocus();
            QTest::keyClick(m_window->windowHandle(), Qt::Key_C, Qt::ControlModifier);
        } else if (menu.size() == 2) {
            QMenu* opened = contextMenu(menu[0] == u"menu key" ? MenuKey : row);
            QVERIFY(opened);
            const QAction* chosen = choose(opened, menu[1]);
            QVERIFY(chosen);
            QCOMPARE(chosen->isEnabled(), !copied.isEmpty());
            opened->close();
        } else if (gesture == u"F2") {
            QTest::keyClick(view(), Qt::Key_F2);
        } else if (gesture == u"typing a letter") {
            QTest::keyClick(view(), Qt::Key_X);
        } else if (gesture == u"slow second click") {
            QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, rowPoint(row));
        } else {
            QTest::ignoreMessage(QtWarningMsg, "edit: editing failed");
            view()->edit(index);
        }

        const QMimeData* now = QGuiApplication::clipboard()->mimeData();
        QVERIFY(now);
        QCOMPARE(now->text(), copied.isEmpty() ? u"earlier text"_s : copied);
        QCOMPARE(now->hasHtml(), copied.isEmpty());
        if (!copied.isEmpty())
            QCOMPARE(now->formats(), QStringList({ u"text/plain"_s }));
        if (row < 0 || menu.size() == 2)
            return;
        QVERIFY(!answers.isEmpty());
        QVERIFY2(answers.count(1) == answers.size(), "an edit was let through");
        // An editor may open late, after the double-click interval; give it the time to show.
        const auto editorShown
            = [this] { return view()->isEditing() || !view()->findChildren<QLineEdit*>().isEmpty(); };
        QVERIFY(!QTest::qWaitFor(editorShown, QApplication::doubleClickInterval() + 100));
        QCOMPARE(QStringList({ column(0)[row], column(1)[row], column(2)[row], column(3)[row] }), Table[row]);
    }

    void links()
    {
        // Clicked while a search waits for page 2, which must go on untouched.
        serveSearchPages(*m_server, 2);
        click(u"cmdStart"_s);
        QTRY_VERIFY(m_server->requests().contains(u"/proxy_list.php?showpage=2"_s));
        const QStringList before = { statusText(), caption(), column(0).join(u' ') };
        const qint16 pageIndex = m_window->search().state().pageIndex;

        const std::array<std::pair<QString, QString>, 4> links = { {
            { u"Image1"_s, u"http://forum.example.com/"_s },
            // The home page of the site the window searches, not of the compiled-in one.
            { u"Label6"_s, m_server->base() + u'/' },
            { u"Label8"_s, u"http://example.net/"_s },
            { u"Label10"_s, u"http://www.example.org/en/brackenguard/index.html"_s },
        } };
        for (const auto& [name, address] : links) {
            m_opened.clear();
            click(name);
            QCOMPARE(m_opened, QStringList({ address }));
            click(name);
            QCOMPARE(m_opened, QStringList({ address, address }));
            // Letting go outside the link takes the click back.
            QTest::mousePress(find(name), Qt::LeftButton);
            QTest::mouseRelease(find(name), Qt::LeftButton, {}, QPoint(find(name)->width() + 5, 5));
            QCOMPARE(m_opened.size(), 2);
        }
        m_opened.clear();
        for (const char* name :
            { "Label1", "Label2", "Label3", "Label4", "Label5", "Label7", "Label9", "Label11", "SimpleText" })
            click(QString::fromLatin1(name));
        QCOMPARE(m_opened, QStringList());
        QCOMPARE(QStringList({ statusText(), caption(), column(0).join(u' ') }), before);
        QCOMPARE(m_window->search().state().pageIndex, pageIndex);
        QVERIFY(!m_window->search().state().halted);

        // A link in the advertisement strip opens relative to its page, and only if it is a web address.
        auto* strip = find<QTextBrowser>(u"WebBrowser1"_s);
        emit strip->anchorClicked(QUrl(u"/offer?id=1"_s));
        emit strip->anchorClicked(QUrl(u"file:///etc/passwd"_s));
        QCOMPARE(m_opened, QStringList({ m_server->base() + u"/offer?id=1"_s }));
    }
};

QTEST_MAIN(tst_ListBehaviour)
#include "tst_listbehaviour.moc"
