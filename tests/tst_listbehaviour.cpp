// The result list toward the user (sorting by header clicks, copying a key by double-click, no in-place
// editing) and the four links, all driven through the mouse and keyboard as a user would.
#include "ListSite.h"
#include "ListView.h"
#include "TestHttpServer.h"
#include "frmMain.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Address, port, type, country; keys "192.0.2.10:80", "203.0.113.5:443", "198.51.100.7:81", "192.0.2.9:8080".
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
        QByteArray body = "<html><body><table>\r\n";
        for (int n = 0; n < 2; ++n) {
            body += "<TR align=middle>\r\n<TD>192.0.2." + QByteArray::number(page * 2 + n + 1)
                + "</TD>\r\n<TD>" + SearchPorts[page * 2 + n].toLatin1()
                + "</TD>\r\n<TD>anonymous</TD>\r\n<TD>Nowhere</TD>\r\n</TR>\r\n";
        }
        TestHttpServer::Response response;
        response.body = body + "</table></body></html>";
        if (page == heldPage)
            response.mode = TestHttpServer::Response::Mode::Hold;
        server.setResponse(u"/proxy_list.php?showpage=%1"_s.arg(page), response);
    }
}

} // namespace

// Stands in for the user's browser: records every address handed to the desktop.
class OpenedUrls : public QObject
{
    Q_OBJECT

public:
    QStringList urls;

public slots:
    void open(const QUrl& url) { urls << url.toString(); }
};

class tst_ListBehaviour : public QObject
{
    Q_OBJECT

private:
    template <typename T = QWidget> T* find(const QString& name) const
    {
        return m_window->findChild<T*>(name);
    }
    ListView* view() const { return find<ListView>(u"LV1"_s); }
    QString statusText() const { return find<QLabel>(u"SimpleText"_s)->text(); }
    QString caption() const { return find<QPushButton>(u"cmdStart"_s)->text(); }
    void showTab(int index) const { find<QTabWidget>(u"SSTab1"_s)->setCurrentIndex(index); }

    void addTable()
    {
        for (const QStringList& row : Table) {
            const qsizetype at = m_window->LV1().Add(row[0] + u':' + row[1], row[0]);
            for (qint16 j = 1; j <= 3; ++j)
                m_window->LV1().SetSubItem(at, j, row[j]);
        }
    }

    QStringList column(int index) const
    {
        QStringList texts;
        for (int row = 0; row < view()->model()->rowCount(); ++row)
            texts << view()->model()->index(row, index).data().toString();
        return texts;
    }

    QStringList keys() const
    {
        QStringList all;
        for (qsizetype row = 0; row < m_window->LV1().model().size(); ++row)
            all << m_window->LV1().model().key(row);
        return all;
    }

    void clickHeader(const QString& title) const
    {
        QHeaderView* header = view()->header();
        for (int section = 0; section < header->count(); ++section) {
            if (view()->model()->headerData(section, Qt::Horizontal).toString() == title) {
                const int x = header->sectionViewportPosition(section) + header->sectionSize(section) / 2;
                QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
                return;
            }
        }
        QFAIL(qPrintable(u"no header "_s + title));
    }

    // Where a row is on the screen; row -1 is the empty space below the last row.
    QPoint rowPoint(int row) const
    {
        if (row < 0)
            return QPoint(10, view()->viewport()->height() - 5);
        return view()->visualRect(view()->model()->index(row, 1)).center();
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

    std::unique_ptr<TestHttpServer> m_server;
    std::unique_ptr<frmMain> m_window;
    OpenedUrls m_opened;

private slots:
    void init()
    {
        m_server = std::make_unique<TestHttpServer>();
        QVERIFY(m_server->listen());
        m_server->setPage(u"/toolads.php"_s, "<html><body>Advertisement</body></html>");
        QDesktopServices::setUrlHandler(u"http"_s, &m_opened, "open");
        m_opened.urls.clear();
        m_window = std::make_unique<frmMain>(m_server->base());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        m_window.reset();
        m_server.reset();
        QDesktopServices::unsetUrlHandler(u"http"_s);
    }

    void sortByHeaderClicks_data()
    {
        QTest::addColumn<QStringList>("headers");
        // The rows of Table, by index, after each click.
        QTest::addColumn<QList<QList<int>>>("orders");
        QTest::newRow("address twice: ascending, then descending") << QStringList { u"Address"_s,
            u"Address"_s } << QList<QList<int>> { { 0, 3, 2, 1 }, { 1, 2, 3, 0 } };
        QTest::newRow("address then port: the port sort runs the other way") << QStringList { u"Address"_s,
            u"Port"_s } << QList<QList<int>> { { 0, 3, 2, 1 }, { 2, 3, 0, 1 } };
        QTest::newRow("ports compare as text")
            << QStringList { u"Port"_s } << QList<QList<int>> { { 1, 0, 3, 2 } };
        QTest::newRow("letter case ignored, equal rows keep their order") << QStringList { u"Country"_s,
            u"Type"_s } << QList<QList<int>> { { 3, 1, 0, 2 }, { 1, 2, 3, 0 } };
    }

    void sortByHeaderClicks()
    {
        QFETCH(QStringList, headers);
        QFETCH(QList<QList<int>>, orders);
        addTable();
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, rowPoint(0));
        for (qsizetype click = 0; click < headers.size(); ++click) {
            clickHeader(headers[click]);
            QStringList expected;
            for (int row : orders[click])
                expected << keyOf(row);
            QCOMPARE(keys(), expected);
            // The selection moves with its row.
            QCOMPARE(m_window->LV1().SelectedItem()->Key(), keyOf(0));
            QCOMPARE(view()->selectionModel()->selectedRows().value(0).row(), orders[click].indexOf(0));
        }
        QVERIFY(!m_window->LV1().Sorted());
    }

    void equalRowsKeepTheirOrder()
    {
        // Enough rows that a sort which is not stable shows it; the types differ in letter case only.
        const QStringList types = { u"anonymous"_s, u"Anonymous"_s, u"ANONYMOUS"_s };
        for (int n = 0; n < 200; ++n) {
            const QString address = u"192.0.2.%1"_s.arg(n);
            m_window->LV1().SetSubItem(m_window->LV1().Add(address + u":80"_s, address), 2, types[n % 3]);
        }
        const QStringList pageOrder = keys();
        clickHeader(u"Type"_s);
        QCOMPARE(keys(), pageOrder);
        clickHeader(u"Type"_s);
        QCOMPARE(keys(), pageOrder);
    }

    void sortWhileSearchRunsAndAfter()
    {
        serveSearchPages(*m_server);
        QStringList portsAtClick;
        QString statusAtClick;
        // The server tells of the request for page 3 before it answers: the click comes while the search
        // waits for that page, with pages 0 to 2 in the list.
        QMetaObject::Connection hook;
        hook = connect(m_server.get(), &TestHttpServer::requestReceived, this, [&](const QString& path) {
            if (path != u"/proxy_list.php?showpage=3")
                return;
            disconnect(hook);
            statusAtClick = statusText() + u", "_s + caption();
            clickHeader(u"Port"_s);
            portsAtClick = column(1);
        });
        QTest::mouseClick(find(u"cmdStart"_s), Qt::LeftButton);
        QTRY_COMPARE(statusText(), u"Download Complete"_s);
        QCOMPARE(statusAtClick, u"Downloading Pages 3-4, Stop"_s);
        QCOMPARE(
            portsAtClick, QStringList({ u"1080"_s, u"3128"_s, u"443"_s, u"80"_s, u"8000"_s, u"8080"_s }));
        // Pages 3 to 6 stand below the sorted rows, in page order.
        QCOMPARE(column(1), portsAtClick + SearchPorts.mid(6));

        const QStringList descending = { u"9050"_s, u"8888"_s, u"8118"_s, u"81"_s, u"8080"_s, u"8000"_s,
            u"80"_s, u"60000"_s, u"554"_s, u"443"_s, u"3129"_s, u"3128"_s, u"1081"_s, u"1080"_s };
        clickHeader(u"Port"_s);
        QCOMPARE(column(1), descending);

        // A new search shows its rows in page order; the direction carries on from the last click.
        QTest::mouseClick(find(u"cmdStart"_s), Qt::LeftButton);
        QTRY_COMPARE(statusText(), u"Download Complete"_s);
        QCOMPARE(column(1), SearchPorts);
        clickHeader(u"Port"_s);
        QStringList ascending = descending;
        std::reverse(ascending.begin(), ascending.end());
        QCOMPARE(column(1), ascending);

        // A picture of the sorted list, for a person to look at.
        QVERIFY(m_window->grab().save(QCoreApplication::applicationDirPath() + u"/list-sorted.png"_s));
    }

    void copyOnDoubleClick_data()
    {
        QTest::addColumn<bool>("filled");
        QTest::addColumn<int>("selectFirst"); // -1: no row
        QTest::addColumn<QString>("between"); // "clear selection" or nothing
        QTest::addColumn<int>("doubleClicked"); // -1: the empty space below the rows
        QTest::addColumn<QString>("copied"); // empty: the clipboard keeps what it had
        QTest::newRow("a row") << true << -1 << QString() << 2 << u"198.51.100.7:81"_s;
        QTest::newRow("another row than the selected one")
            << true << 0 << QString() << 3 << u"192.0.2.9:8080"_s;
        // The press on the empty space takes the selection away, as the list's selection works.
        QTest::newRow("empty space, a row selected before") << true << 1 << QString() << -1 << QString();
        QTest::newRow("selection cleared") << true << 1 << u"clear selection"_s << -1 << QString();
        QTest::newRow("empty list") << false << -1 << QString() << -1 << QString();
    }

    void copyOnDoubleClick()
    {
        QFETCH(bool, filled);
        QFETCH(int, selectFirst);
        QFETCH(QString, between);
        QFETCH(int, doubleClicked);
        QFETCH(QString, copied);
        if (filled)
            addTable();
        auto* earlier = new QMimeData;
        earlier->setText(u"earlier text"_s);
        earlier->setHtml(u"<b>earlier text</b>"_s);
        QGuiApplication::clipboard()->setMimeData(earlier);

        if (selectFirst >= 0)
            QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, rowPoint(selectFirst));
        if (between == u"clear selection")
            view()->clearSelection();
        doubleClick(doubleClicked);

        const QMimeData* now = QGuiApplication::clipboard()->mimeData();
        QVERIFY(now);
        if (copied.isEmpty()) {
            QCOMPARE(now->text(), u"earlier text"_s);
            QVERIFY(now->hasHtml());
        } else {
            QCOMPARE(now->text(), copied);
            QCOMPARE(now->formats(), QStringList({ u"text/plain"_s }));
        }
    }

    void editingIsRefused_data()
    {
        QTest::addColumn<QString>("gesture");
        for (const char* gesture :
            { "double-click", "F2", "typing a letter", "slow second click", "edit call" })
            QTest::newRow(gesture) << QString::fromLatin1(gesture);
    }

    void editingIsRefused()
    {
        QFETCH(QString, gesture);
        addTable();
        const QModelIndex row1 = view()->model()->index(1, 0);
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, rowPoint(1));
        QCOMPARE(view()->currentIndex().row(), 1);
        QList<qint16> answers;
        // Connected after the window, so this sees the window's answer.
        connect(view(), &ListView::BeforeLabelEdit, this, [&](qint16& Cancel) { answers << Cancel; });

        if (gesture == u"double-click") {
            doubleClick(1);
        } else if (gesture == u"F2") {
            QTest::keyClick(view(), Qt::Key_F2);
        } else if (gesture == u"typing a letter") {
            QTest::keyClick(view(), Qt::Key_X);
        } else if (gesture == u"slow second click") {
            QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, rowPoint(1));
        } else {
            QTest::ignoreMessage(QtWarningMsg, "edit: editing failed");
            view()->edit(row1);
        }

        QVERIFY(!answers.isEmpty());
        QVERIFY2(answers.count(1) == answers.size(), "an edit was let through");
        // An editor may open late, after the double-click interval; give it the time to show.
        const auto editorShown = [this, &row1] {
            return view()->isEditing() || view()->indexWidget(row1)
                || !view()->findChildren<QLineEdit*>().isEmpty()
                || qobject_cast<QLineEdit*>(QApplication::focusWidget());
        };
        QVERIFY(!QTest::qWaitFor(editorShown, QApplication::doubleClickInterval() + 100));
        QCOMPARE(QStringList({ column(0)[1], column(1)[1], column(2)[1], column(3)[1] }), Table[1]);
    }

    void links_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("caption"); // empty for the picture
        const QString home = ListSite::homeAddress(ListSite::compiledBaseAddress()).toString();
        QTest::newRow("Image1") << 1 << u"http://forum.example.com/"_s << QString();
        QTest::newRow("Label6") << 1 << home << u"More Information: "_s + home;
        QTest::newRow("Label8") << 2 << u"http://example.net/"_s << u"http://example.net"_s;
        QTest::newRow("Label10") << 2 << u"http://www.example.org/en/brackenguard/index.html"_s
                                 << u"http://www.example.org/en/brackenguard/index.html"_s;
    }

    void links()
    {
        QFETCH(int, tab);
        QFETCH(QString, address);
        QFETCH(QString, caption);
        showTab(tab);
        auto* link = find<QLabel>(QString::fromLatin1(QTest::currentDataTag()));
        if (!caption.isEmpty())
            QCOMPARE(link->text(), caption);
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(m_opened.urls, QStringList({ address }));
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(m_opened.urls, QStringList({ address, address }));
    }

    void otherLabelsOpenNothing()
    {
        const std::array<std::pair<int, QStringList>, 2> plainLabels = { {
            { 1, { u"Label1"_s, u"Label3"_s, u"Label4"_s, u"Label5"_s } },
            { 2, { u"Label2"_s, u"Label7"_s, u"Label9"_s, u"Label11"_s } },
        } };
        for (const auto& [tab, names] : plainLabels) {
            showTab(tab);
            for (const QString& name : names)
                QTest::mouseClick(find(name), Qt::LeftButton);
        }
        QTest::mouseClick(find(u"SimpleText"_s), Qt::LeftButton);
        QCOMPARE(m_opened.urls, QStringList());
    }

    void linksLeaveARunningSearchAlone()
    {
        serveSearchPages(*m_server, 2);
        QTest::mouseClick(find(u"cmdStart"_s), Qt::LeftButton);
        QTRY_VERIFY(m_server->requests().contains(u"/proxy_list.php?showpage=2"_s));
        const QStringList before = { statusText(), caption(), keys().join(u' ') };
        const qint16 pageIndex = m_window->search().state().pageIndex;

        const std::array<std::pair<int, const char*>, 4> links
            = { { { 1, "Image1" }, { 1, "Label6" }, { 2, "Label8" }, { 2, "Label10" } } };
        for (const auto& [tab, name] : links) {
            showTab(tab);
            QTest::mouseClick(find(QString::fromLatin1(name)), Qt::LeftButton);
        }
        QCOMPARE(m_opened.urls.size(), 4);
        QCOMPARE(QStringList({ statusText(), caption(), keys().join(u' ') }), before);
        QCOMPARE(m_window->search().state().pageIndex, pageIndex);
        QVERIFY(!m_window->search().state().halted);
    }
};

QTEST_MAIN(tst_ListBehaviour)
#include "tst_listbehaviour.moc"
