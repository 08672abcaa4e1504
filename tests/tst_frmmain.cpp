// The window as the user meets it: its layout and keyboard, the search through the button, the result list
// (sorting, copying, no editing, long cells, checking), the links and the advertisement strip.
#include "FakeCheckRun.h"
#include "ListChecker.h"
#include "ListView.h"
#include "ProxyRecord.h"
#include "TableRows.h"
#include "WindowFixture.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace Qt::StringLiterals;
using TestPages::key;

// The fake engine, holding its answers until the test lets them go, in the order the rows were asked.
class HeldCheckRun : public FakeCheckRun
{
public:
    using FakeCheckRun::FakeCheckRun;

    // Answers the next `count` rows asked, each as FakeCheckRun would.
    void answer(qsizetype count)
    {
        for (; count > 0 && m_next < asked.size(); --count) {
            const qsizetype index = asked[m_next++];
            report(index, outcome(row(index), options()));
        }
    }

protected:
    void checkRows(const QList<qsizetype>& indices) override { asked = indices; }

private:
    qsizetype m_next = 0;
};

// Rows to check, "address|port|type|country", and the Answer cell and tool tip each gets from the fake
// engine (by the port's last digit) or from the window and the run themselves.
const QStringList CheckedRows = { u"127.0.0.1|8081|HTTP|A"_s, u"127.0.0.2|552|socks5|B"_s,
    u"127.0.0.3|33|HTTP|C"_s, u"127.0.0.4|5|HTTP|D"_s, u"192.0.2.1|81|HTTP|E"_s, u"127.0.0.5|port|HTTP|F"_s };
const QStringList CheckedAnswers = { u"8081 ms"_s, u"552 ms"_s, u"33 ms"_s, u"no answer (timed out)"_s,
    u"no answer (not checked: reserved address)"_s, u"no answer (not checked: not a port)"_s };
const QStringList CheckedToolTips = { u"elite, 8081 ms"_s, u"anonymous, 552 ms"_s, u"transparent, 33 ms"_s,
    u"timed out"_s, u"not checked: reserved address"_s, u"not checked: not a port"_s };

class tst_frmMain : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the user's browser: records every address handed to the desktop, as it goes on the wire.
    void openUrl(const QUrl& url) { m_opened << QString::fromLatin1(url.toEncoded()); }

private:
    std::unique_ptr<WindowFixture> w;
    QStringList m_opened;

    // The engine's run the window made last.
    QPointer<HeldCheckRun> m_run;
    bool m_holdAnswers = false;

    ListView* view() const { return w->find<ListView>(u"LV1"_s); }

    // Opens the window with the fake engine, which holds its answers when `hold`.
    bool openForChecks(bool hold)
    {
        if (!w->open())
            return false;
        m_holdAnswers = hold;
        w->window->setCheckRunFactory([this](CheckOptions options) -> std::unique_ptr<CheckRun> {
            if (!m_holdAnswers)
                return std::make_unique<FakeCheckRun>(std::move(options));
            auto run = std::make_unique<HeldCheckRun>(std::move(options));
            m_run = run.get();
            return run;
        });
        return true;
    }

    // Puts `rows`, "address|port|type|country" each, at the end of the list.
    void addRows(const QStringList& rows)
    {
        for (const QString& row : rows) {
            const QList<QByteArray> cells = row.toUtf8().split('|');
            QVERIFY(w->window->LV1().Add(ProxyRecord { cells[0], cells[1], cells[2], cells[3] }));
        }
    }

    // The Answer column's cells, or their tool tips, row by row, each after its address when asked; none
    // without the column.
    QStringList answers(int role = Qt::DisplayRole, bool withAddress = false) const
    {
        QStringList cells;
        for (int row = 0; row < w->rows()->rowCount() && w->rows()->columnCount() > 4; ++row) {
            const QString address
                = withAddress ? w->rows()->index(row, 0).data().toString() + u'|' : QString();
            cells << address + w->rows()->index(row, 4).data(role).toString();
        }
        return cells;
    }

    // The context menu's entries on `row` and whether each is enabled, "Copy+ Copy All- ...", the menu
    // closed again.
    QString menuEntries(int row) const
    {
        QTest::mouseClick(w->window->windowHandle(), Qt::RightButton, {},
            view()->viewport()->mapTo(w->window.get(), rowPoint(row)));
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QStringList entries;
        for (const QAction* action : menu ? menu->actions() : QList<QAction*>()) {
            if (!action->isSeparator())
                entries << action->text().remove(u'&') + (action->isEnabled() ? u'+' : u'-');
        }
        if (menu)
            menu->close();
        return entries.join(u' ');
    }

    // A click on the button, or a key ("Return", "Enter" on the keypad, "Space") on the control named
    // after " in " (the button by default); "close" closes the window.
    void act(const QString& how) const
    {
        static const QHash<QString, Qt::Key> keys = { { u"Return"_s, Qt::Key_Return },
            { u"Enter"_s, Qt::Key_Enter }, { u"Space"_s, Qt::Key_Space } };
        const QStringList words = how.split(u" in "_s);
        if (how == u"click") {
            w->click(u"cmdStart"_s);
        } else if (how == u"close") {
            w->window->close();
        } else if (keys.contains(words[0])) {
            w->find(words.value(1, u"cmdStart"_s))->setFocus();
            w->press(keys[words[0]], words[0] == u"Enter" ? Qt::KeypadModifier : Qt::NoModifier);
        }
    }

    // Where a row is on the screen; row -1 is the empty space below the last row.
    QPoint rowPoint(int row) const
    {
        return row < 0 ? QPoint(10, view()->viewport()->height() - 5)
                       : view()->visualRect(view()->model()->index(row, 1)).center();
    }

    void clickRow(int row) const { QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, rowPoint(row)); }

    // What the system delivers for a double-click; QTest's own sends the second press alone.
    void doubleClick(int row) const
    {
        clickRow(row);
        QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, rowPoint(row));
        QTest::mouseRelease(view()->viewport(), Qt::LeftButton, {}, rowPoint(row));
    }

    void clickHeader(int column) const
    {
        QHeaderView* header = view()->header();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }

    // Right-clicks a row (-1: the space below the rows) and clicks `entry` in the menu, which ignores the
    // click on an entry that is disabled.
    const QAction* chooseFromMenu(int row, const QString& entry) const
    {
        QTest::mouseClick(w->window->windowHandle(), Qt::RightButton, {},
            view()->viewport()->mapTo(w->window.get(), rowPoint(row)));
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        for (QAction* action : menu ? menu->actions() : QList<QAction*>()) {
            if (action->text().remove(u'&') == entry) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                menu->close();
                return action;
            }
        }
        return nullptr;
    }

private slots:
    void init()
    {
        w = std::make_unique<WindowFixture>();
        QVERIFY(w->server.listen());
        for (const QString& scheme : { u"http"_s, u"file"_s })
            QDesktopServices::setUrlHandler(scheme, this, "openUrl");
        m_opened.clear();
    }

    void cleanup()
    {
        w.reset();
        for (const QString& scheme : { u"http"_s, u"file"_s })
            QDesktopServices::unsetUrlHandler(scheme);
    }

    // The window keeps its size, in the middle of the screen, and the list's columns fit the list. On every
    // page the controls lie on the page, below the row of tabs, with room for their texts and pictures, and
    // none covers what another shows. A link keeps to one line, even with an address too long for its box.
    void layout()
    {
        QVERIFY(w->open(w->server.base() + u"/lists/of/proxy/servers/checked/every/day"_s));
        QCOMPARE(w->window->minimumSize(), w->window->maximumSize());
        const QPoint offCentre
            = w->window->geometry().center() - w->window->screen()->availableGeometry().center();
        QVERIFY(offCentre.manhattanLength() <= 1);
        QHeaderView* header = view()->header();
        QVERIFY(header->sectionPosition(3) + header->sectionSize(3) <= view()->viewport()->width());

        auto* tabs = w->find<QTabWidget>(u"SSTab1"_s);
        for (int page = 0; page < tabs->count(); ++page) {
            QList<std::pair<QByteArray, QRect>> shown; // what each control shows, where on the page
            for (QWidget* control : tabs->widget(page)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                const QByteArray name = control->objectName().toLatin1();
                QVERIFY2(control->parentWidget()->rect().contains(control->geometry()), name);
                QRect content = control->rect();
                if (auto* label = qobject_cast<QLabel*>(control); label && !label->pixmap().isNull()) {
                    content = label->pixmap().rect();
                    QVERIFY2(label->rect().contains(content), name);
                } else if (label) {
                    const QFontMetrics metrics(label->font());
                    const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
                    content = metrics.boundingRect(label->rect(), flags, label->text());
                    QVERIFY2(content.height() <= label->height(), name);
                    QVERIFY2(content.width() <= label->width() || name == "Label6", name);
                    if (control->inherits("ClickableLabel")) {
                        QCOMPARE(content.height(), metrics.height());
                        QVERIFY(!label->font().underline() && !label->testAttribute(Qt::WA_SetCursor));
                    }
                }
                content = content.intersected(control->rect()).translated(control->pos());
                for (const auto& [other, place] : shown)
                    QVERIFY2(!place.intersects(content), name + " covers " + other);
                shown.append({ name, content });
            }
            QVERIFY(!shown.isEmpty());
        }
    }

    // The focus starts on the tab control and walks the controls of the page in front in their tab order,
    // past the links in the strip. Ctrl+Tab turns the pages from the strip too, which lies outside the tabs.
    void keyboard()
    {
        w->server.setResponse(u"/toolads.php"_s, { 200, "<a href=\"/a\">one</a> <a href=\"/b\">two</a>" });
        QVERIFY(w->open());
        QTRY_VERIFY(w->find<QTextBrowser>(u"WebBrowser1"_s)->toPlainText().contains(u"two"));
        QVERIFY(w->find(u"SSTab1"_s)->hasFocus());
        const auto walk = [this](Qt::KeyboardModifiers modifiers, const QString& names) {
            for (const QString& name : names.split(u' ')) {
                w->press(modifiers & Qt::ShiftModifier ? Qt::Key_Backtab : Qt::Key_Tab, modifiers);
                QVERIFY2(w->find(name)->hasFocus(), qPrintable(name));
            }
        };
        walk(Qt::NoModifier, u"LV1 cmdStart WebBrowser1 SSTab1"_s);
        auto* tabs = w->find<QTabWidget>(u"SSTab1"_s);
        tabs->setCurrentIndex(1);
        walk(Qt::ShiftModifier, u"WebBrowser1 SSTab1"_s);
        w->find(u"WebBrowser1"_s)->setFocus();
        w->press(Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(tabs->currentIndex(), 2);
        w->press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(tabs->currentIndex(), 1);
    }

    // In a full list the keys move the selection a whole row at a time, Home and End to the list's ends,
    // and Tab leaves the list.
    void listKeys()
    {
        TestPages::serve(w->server);
        QVERIFY(w->open());
        w->click(u"cmdStart"_s);
        QVERIFY(w->searchEnded());
        const int last = w->rows()->rowCount() - 1;
        QVERIFY(last > 2);
        clickRow(1);
        const auto selected = [this] {
            const QModelIndexList rows = view()->selectionModel()->selectedRows();
            return rows.size() == 1 ? rows.first().row() : -1;
        };
        const QList<std::pair<Qt::Key, int>> steps = { { Qt::Key_End, last }, { Qt::Key_Up, last - 1 },
            { Qt::Key_Home, 0 }, { Qt::Key_Right, 0 }, { Qt::Key_Down, 1 }, { Qt::Key_Left, 1 } };
        for (const auto& [pressed, row] : steps) {
            w->press(pressed);
            QCOMPARE(selected(), row);
            QCOMPARE(view()->selectionModel()->selectedIndexes().size(), ProxyTableModel::ColumnCount);
        }
        w->press(Qt::Key_Tab);
        QVERIFY(w->find(u"cmdStart"_s)->hasFocus());
    }

    void search_data()
    {
        QTest::addColumn<QString>("start"); // as act() takes it
        QTest::addColumn<QString>("stop"); // while page 2 loads, as act() takes it; none lets it load
        QTest::addColumn<QString>("pagesKept"); // the pages whose rows the list shows
        QTest::addColumn<int>("lastPage"); // the last page requested
        QTest::addColumn<QString>("status");
        const QString halted = SearchController::HaltedText;
        QTest::newRow("to the end") << u"click"_s << QString() << u"0123456"_s << 6
                                    << SearchController::completionText(0);
        QTest::newRow("clicked again") << u"click"_s << u"click"_s << u"01"_s << 2 << halted;
        QTest::newRow("Return twice") << u"Return"_s << u"Return"_s << u"01"_s << 2 << halted;
        QTest::newRow("keypad Enter twice") << u"Enter"_s << u"Enter"_s << u"01"_s << 2 << halted;
        QTest::newRow("Space twice") << u"Space"_s << u"Space"_s << u"01"_s << 2 << halted;
        QTest::newRow("Return in the list")
            << u"Return in LV1"_s << QString() << QString() << -1 << QString();
        QTest::newRow("window closed")
            << u"click"_s << u"close"_s << u"01"_s << 2 << SearchController::progressText(2);
        QTest::newRow("window closed in the yield after page 0")
            << u"click"_s << u"close in yield"_s << u"0"_s << 0 << SearchController::progressText(0);
    }

    void search()
    {
        QFETCH(QString, start);
        QFETCH(QString, stop);
        QFETCH(QString, pagesKept);
        QFETCH(int, lastPage);
        QFETCH(QString, status);
        TestPages::serve(w->server, stop.isEmpty() ? -1 : 2);
        QVERIFY(w->open());
        frmMain* window = w->window.get();
        if (stop == u"close in yield") {
            // Queued while page 0 is being cut, so the yield in the page step handles the close.
            connect(w->rows(), &QAbstractItemModel::rowsInserted, window,
                [window] { QMetaObject::invokeMethod(window, &QWidget::close, Qt::QueuedConnection); });
        }
        act(start);
        if (lastPage >= 0) {
            QTRY_VERIFY(w->server.requests().contains(TestPages::pagePath(lastPage)));
            act(stop);
            QVERIFY(w->searchEnded());
        }
        const bool closed = stop.startsWith(u"close");
        QCOMPARE(window->isVisible(), !closed);
        QCOMPARE(w->caption(), closed ? SearchController::StopCaption : SearchController::StartCaption);
        QCOMPARE(w->status(), status);
        QCOMPARE(w->server.requests().filter(u"showpage"_s).size(), lastPage + 1);
        QStringList keys;
        for (QChar page : pagesKept)
            keys << key(2 * page.digitValue()) << key(2 * page.digitValue() + 1);
        QCOMPARE(w->keys(), keys);
        // A halt or a close lets go of the page in flight.
        QTRY_COMPARE(w->server.openConnections(), 0);
    }

    // One direction for the whole list: each click on whichever header reverses it. Rows that come later
    // stand below the sorted ones in page order; the selection moves with its row; "Copy All" copies every
    // key in the order the list shows.
    void sortByHeaderClicks()
    {
        TestPages::serve(w->server);
        QVERIFY(w->open());
        QStringList atClick;
        // The server tells of the request for page 3 before it answers: the click comes while the search
        // waits for that page, with pages 0 to 2 in the list.
        w->server.onRequest = [&](const QString& path) {
            if (path == TestPages::pagePath(3) && atClick.isEmpty()) {
                clickRow(0);
                clickHeader(1);
                atClick = w->keys();
            }
        };
        w->click(u"cmdStart"_s);
        QVERIFY(w->searchEnded());
        const auto keysOf = [](std::initializer_list<int> indices) {
            QStringList list;
            for (int index : indices)
                list << key(index);
            return list;
        };
        // Ports compare as text.
        QCOMPARE(atClick, keysOf({ 4, 1, 5, 2, 3, 0 }));
        QCOMPARE(w->keys(), atClick + keysOf({ 6, 7, 8, 9, 10, 11, 12, 13 }));
        QCOMPARE(w->window->LV1().SelectedItem()->Key(), key(0));
        QCOMPARE(view()->selectionModel()->selectedRows().value(0).row(), 5);
        clickHeader(0);
        QCOMPARE(w->keys(), keysOf({ 8, 7, 6, 5, 4, 3, 2, 1, 13, 12, 11, 10, 9, 0 }));
        QVERIFY(chooseFromMenu(0, u"Copy All"_s));
        QCOMPARE(QGuiApplication::clipboard()->text(), w->keys().join(u'\n') + u'\n');
        // A new search lists its rows in page order again.
        w->click(u"cmdStart"_s);
        QVERIFY(w->searchEnded());
        QCOMPARE(w->keys(), keysOf({ 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13 }));
    }

    // A double-click, the copy key and the menu's "Copy" copy the selected row's key as plain text; with
    // nothing to copy the clipboard keeps what it had. A double-click edits nothing.
    void copyGestures_data()
    {
        QTest::addColumn<QString>("gesture"); // "menu: <entry>" opens the menu on `row`
        QTest::addColumn<int>("selectFirst"); // -1: no row
        QTest::addColumn<int>("row"); // -1: the space below the rows
        QTest::addColumn<QString>("copied"); // empty: the clipboard keeps what it had
        QTest::newRow("double-click on another row than the selected one")
            << u"double-click"_s << 0 << 3 << key(3);
        QTest::newRow("double-click below the rows") << u"double-click"_s << 1 << -1 << QString();
        QTest::newRow("Ctrl+C") << u"Ctrl+C"_s << 2 << -1 << key(2);
        QTest::newRow("menu Copy on another row") << u"menu: Copy"_s << 0 << 3 << key(3);
        QTest::newRow("menu Copy below the rows") << u"menu: Copy"_s << 1 << -1 << QString();
        QTest::newRow("Copy All, empty list") << u"menu: Copy All"_s << -1 << -1 << QString();
    }

    void copyGestures()
    {
        QFETCH(QString, gesture);
        QFETCH(int, selectFirst);
        QFETCH(int, row);
        QFETCH(QString, copied);
        // Four rows: the search waits for page 2.
        TestPages::serve(w->server, 2);
        QVERIFY(w->open());
        if (!QByteArray(QTest::currentDataTag()).contains("empty list")) {
            w->click(u"cmdStart"_s);
            QTRY_VERIFY(w->server.requests().contains(TestPages::pagePath(2)));
        }
        auto* earlier = new QMimeData;
        earlier->setText(u"earlier text"_s);
        earlier->setHtml(u"<b>earlier text</b>"_s);
        QGuiApplication::clipboard()->setMimeData(earlier);
        if (selectFirst >= 0)
            clickRow(selectFirst);
        QList<qint16> answers;
        // Connected after the window, so this sees the window's answer.
        connect(view(), &ListView::beforeLabelEdit, this, [&](qint16& cancel) { answers << cancel; });

        if (gesture == u"double-click") {
            doubleClick(row);
        } else if (gesture == u"Ctrl+C") {
            view()->setFocus();
            w->press(Qt::Key_C, Qt::ControlModifier);
        } else {
            const QAction* chosen = chooseFromMenu(row, gesture.mid(6));
            QVERIFY(chosen);
            QCOMPARE(chosen->isEnabled(), !copied.isEmpty());
        }
        QCOMPARE(QGuiApplication::clipboard()->text(), copied.isEmpty() ? u"earlier text"_s : copied);
        QCOMPARE(QGuiApplication::clipboard()->mimeData()->hasHtml(), copied.isEmpty());
        if (gesture == u"double-click" && row >= 0) {
            QVERIFY(!answers.isEmpty());
            QVERIFY2(answers.count(1) == answers.size(), "an edit was let through");
            QVERIFY(!view()->isEditing() && view()->findChildren<QLineEdit*>().isEmpty());
            QCOMPARE(w->keys()[row], key(row));
        }
    }

    // A row whose address and port hold a line feed, a tab, NUL and U+202E shows them as escapes, and every
    // copy puts exactly what is shown on the clipboard: no line of it can be forged by a cell.
    void copiesWhatItShows_data()
    {
        QTest::addColumn<QString>("gesture"); // as in copyGestures, on the first row
        QTest::newRow("double-click") << u"double-click"_s;
        QTest::newRow("Ctrl+C") << u"Ctrl+C"_s;
        QTest::newRow("menu Copy") << u"menu: Copy"_s;
        QTest::newRow("menu Copy All") << u"menu: Copy All"_s;
    }

    void copiesWhatItShows()
    {
        QFETCH(QString, gesture);
        const QString page = u"<html><head><meta charset=\"utf-8\"></head><body><TABLE>\r\n"_s
            + TableRows::html(u"198.51.100.1\nrm -rf ~|80\t\u0000\u202E1|elite|Nowhere"_s)
            + TableRows::html(u"192.0.2.1|8080|anonymous|Nowhere"_s) + u"</TABLE></body></html>"_s;
        for (int number = 0; number < ListPageCount; ++number)
            w->server.setResponse(TestPages::pagePath(number), { 200, number == 0 ? page.toUtf8() : "" });
        QVERIFY(w->open());
        w->click(u"cmdStart"_s);
        QVERIFY(w->searchEnded());

        const QString address = uR"(198.51.100.1\nrm -rf ~)"_s;
        const QString port = uR"(80\t\u{0000}\u{202E}1)"_s;
        QCOMPARE(w->keys(), QStringList({ address + u':' + port, u"192.0.2.1:8080"_s }));
        const auto drawn = [this](int column) {
            const QModelIndex cell = view()->model()->index(0, column);
            return qobject_cast<QStyledItemDelegate*>(view()->itemDelegateForIndex(cell))
                ->displayText(cell.data(), QLocale());
        };
        QCOMPARE(QStringList({ drawn(0), drawn(1) }), QStringList({ address, port }));

        if (gesture == u"double-click") {
            doubleClick(0);
        } else if (gesture == u"Ctrl+C") {
            clickRow(0);
            view()->setFocus();
            w->press(Qt::Key_C, Qt::ControlModifier);
        } else {
            QVERIFY(chooseFromMenu(0, gesture.mid(6)));
        }
        const QString copied = QGuiApplication::clipboard()->text();
        if (gesture.endsWith(u"All")) {
            QCOMPARE(copied, w->keys().join(u'\n') + u'\n');
            QCOMPARE(copied.count(u'\n'), w->rows()->rowCount());
        } else {
            QCOMPARE(copied, w->keys().first());
        }
    }

    // A cell too long for its column is drawn cut short, at a character's edge and with piles of accents
    // thinned, yet a double-click copies its key whole. Control characters are made visible first.
    void longCell_data()
    {
        const QString ellipsis(QChar(0x2026));
        const QString stem = u"\U0001D167"_s; // a combining mark beyond the 16-bit range
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("drawn");
        QTest::addColumn<QString>("shown"); // the whole cell as shown, when not `text` itself
        QTest::newRow("1 MB plain cell")
            << QString(1024 * 1024, u'x') << QString(256, u'x') + ellipsis << QString();
        QTest::newRow("cut between letters, not inside one")
            << u"x"_s + u"e\u0301"_s.repeated(200) << u"x"_s + u"e\u0301"_s.repeated(127) + ellipsis
            << QString();
        QTest::newRow("cut inside an endless cluster, not inside a surrogate pair")
            << u"a"_s + stem.repeated(300) << u"a"_s + stem.repeated(8) + ellipsis << QString();
        const QString escape = uR"(\u{001B})"_s;
        QTest::newRow("escapes cut, not the characters they stand for")
            << QString(40, QChar(0x1B)) << escape.repeated(32) + ellipsis << escape.repeated(40);
    }

    void longCell()
    {
        QFETCH(QString, text);
        QFETCH(QString, drawn);
        QFETCH(QString, shown);
        QVERIFY(w->open());
        const QByteArray address = text.toUtf8();
        QVERIFY(w->window->LV1().Add(ProxyRecord { address, "8080", {}, {} }));
        const QModelIndex cell = view()->model()->index(0, 0);
        auto* delegate = qobject_cast<QStyledItemDelegate*>(view()->itemDelegateForIndex(cell));
        QCOMPARE(delegate->displayText(cell.data(), QLocale()), drawn);
        doubleClick(0);
        QCOMPARE(QGuiApplication::clipboard()->text(), (shown.isNull() ? text : shown) + u":8080"_s);
    }

    // The links open their pages, Label6 the home page of the site the window searches rather than the
    // compiled-in one, and leave a running search alone.
    void links()
    {
        TestPages::serve(w->server, 2);
        QVERIFY(w->open());
        w->click(u"cmdStart"_s);
        QTRY_VERIFY(w->server.requests().contains(TestPages::pagePath(2)));
        const QList<std::pair<QString, QString>> links = { { u"Image1"_s, u"http://forum.example.com/"_s },
            { u"Label6"_s, w->server.base() + u'/' }, { u"Label8"_s, u"http://example.net/"_s },
            { u"Label10"_s, u"http://www.example.org/en/brackenguard/index.html"_s } };
        for (const auto& [name, address] : links) {
            m_opened.clear();
            w->click(name);
            QCOMPARE(m_opened, QStringList({ address }));
        }
        m_opened.clear();
        QCOMPARE(QStringList({ w->status(), w->caption() }),
            QStringList({ SearchController::progressText(2), SearchController::StopCaption }));
        QCOMPARE(w->keys().size(), 4);

        // A link in the advertisement strip opens relative to its page, and only if it is a web address. Its
        // escapes and characters beyond ASCII reach the browser as the link has them.
        auto* strip = w->find<QTextBrowser>(u"WebBrowser1"_s);
        for (const QString& link :
            { u"/offer?id=1"_s, u"file:///etc/passwd"_s, u"/offer%20x"_s, u"/caf\u00e9?q=%C3%BC"_s })
            emit strip->anchorClicked(QUrl(link));
        QCOMPARE(m_opened,
            QStringList({ w->server.base() + u"/offer?id=1"_s, w->server.base() + u"/offer%20x"_s,
                w->server.base() + u"/caf%C3%A9?q=%C3%BC"_s }));
    }

    // The strip shows its page without reading any file, and a page built to hold up the layout does not
    // hold the window's event loop for long.
    void advertisementStrip_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("shown");
        QTest::newRow("tables nested 22 deep")
            << u"<table><tr><td>"_s.repeated(22) + u"deep"_s + u"</td></tr></table>"_s.repeated(22)
            << u"deep"_s;
#ifdef Q_OS_UNIX
        // Opening a FIFO for reading waits for a writer, and none comes.
        static QTemporaryDir directory;
        const QString fifo = directory.filePath(u"banner.png"_s);
        QVERIFY(QFile::exists(fifo) || mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QTest::newRow("pictures naming a FIFO")
            << u"<img src=\"%1\">banner<img src=\"file://%1\"><table background=\"%1\"><tr><td>x</table>"_s
                   .arg(fifo)
            << u"banner"_s;
#endif
    }

    void advertisementStrip()
    {
        QFETCH(QString, page);
        QFETCH(QString, shown);
        w->server.setResponse(u"/toolads.php"_s, { 200, page.toUtf8() });
        QElapsedTimer sinceRequest;
        w->server.onRequest = [&](const QString&) { sinceRequest.start(); };
        QVERIFY(w->open());
        QTRY_VERIFY_WITH_TIMEOUT(
            w->find<QTextBrowser>(u"WebBrowser1"_s)->toPlainText().contains(shown), 20000);
        // Generous: the page itself takes a few milliseconds; an unbounded one took minutes or forever.
        QVERIFY2(sinceRequest.elapsed() < 5000, qPrintable(QString::number(sinceRequest.elapsed())));
    }

    // Check needs a selected row, Check All a row at all, Stop Checking a check going on.
    void checkMenu()
    {
        QVERIFY(openForChecks(true));
        QCOMPARE(menuEntries(-1), u"Copy- Copy All- Check- Check All- Stop Checking-"_s);
        addRows(CheckedRows.mid(0, 2));
        QCOMPARE(menuEntries(-1), u"Copy- Copy All+ Check- Check All+ Stop Checking-"_s);
        QCOMPARE(menuEntries(1), u"Copy+ Copy All+ Check+ Check All+ Stop Checking-"_s);
        QVERIFY(chooseFromMenu(1, u"Check"_s));
        QCOMPARE(menuEntries(0), u"Copy+ Copy All+ Check+ Check All+ Stop Checking+"_s);
        QTRY_VERIFY(m_run && m_run->asked.size() == 1);
        m_run->answer(1);
        QTRY_COMPARE(w->status(), ListChecker::completionText(1, 1));
        QCOMPARE(menuEntries(0), u"Copy+ Copy All+ Check+ Check All+ Stop Checking-"_s);
    }

    // The Answer column comes with the first check, never before; each row shows its answer, with the
    // anonymity and time or the reason in its tool tip, and copying still takes the key alone.
    void answerColumn()
    {
        TestPages::serve(w->server);
        QVERIFY(openForChecks(false));
        w->click(u"cmdStart"_s);
        QVERIFY(w->searchEnded());
        QCOMPARE(w->rows()->columnCount(), 4);
        w->window->LV1().Clear();
        addRows(CheckedRows);
        QCOMPARE(w->rows()->columnCount(), 4);

        QVERIFY(chooseFromMenu(2, u"Check"_s));
        QCOMPARE(w->rows()->columnCount(), 5);
        QCOMPARE(w->rows()->headerData(4, Qt::Horizontal).toString(), u"Answer"_s);
        QHeaderView* header = view()->header();
        QVERIFY(header->sectionPosition(4) + header->sectionSize(4) <= view()->viewport()->width());
        QTRY_COMPARE(w->status(), ListChecker::completionText(1, 1));
        QStringList one(CheckedRows.size(), QString());
        one[2] = CheckedAnswers[2];
        QCOMPARE(answers(), one);

        // The options the window gives the run, as the fake tells them of a row whose port ends in 9.
        addRows({ u"127.0.0.6|59|socks5|G"_s });
        QVERIFY(chooseFromMenu(0, u"Check All"_s));
        QTRY_COMPARE(w->status(), ListChecker::completionText(3, CheckedRows.size() + 1));
        const QString options
            = u"fake: socks5 5000 ms 64 at once "_s + ListSite::judgeAddress(w->server.base()).toString();
        QCOMPARE(answers(), CheckedAnswers + QStringList({ u"no answer (%1)"_s.arg(options) }));
        QCOMPARE(answers(Qt::ToolTipRole), CheckedToolTips + QStringList({ options }));
        for (const QString& gesture : { u"Copy"_s, u"Copy All"_s }) {
            QVERIFY(chooseFromMenu(0, gesture));
            QCOMPARE(QGuiApplication::clipboard()->text(),
                gesture == u"Copy" ? w->keys().first() : w->keys().join(u'\n') + u'\n');
        }
    }

    // A click on the Answer header puts answers first, fastest first, then no answer, then rows not
    // checked; each sort, while the check goes on too, keeps every answer with its row.
    void sortByAnswer()
    {
        QVERIFY(openForChecks(true));
        addRows(CheckedRows);
        QVERIFY(chooseFromMenu(0, u"Check All"_s));
        QTRY_VERIFY(m_run && !m_run->asked.isEmpty());
        m_run->answer(2);
        clickHeader(1);
        m_run->answer(1);
        clickHeader(0);
        m_run->answer(99);
        QTRY_COMPARE(w->status(), ListChecker::completionText(3, CheckedRows.size()));

        QVERIFY(w->window->LV1().Add(ProxyRecord { "127.0.0.9", "1", "HTTP", "H" }));
        w->window->LV1().SetSortOrder(ListViewAdapter::lvwDescending);
        clickHeader(4);
        // The rows without an answer keep the order of the sort before, by address downwards.
        QCOMPARE(answers(Qt::DisplayRole, true),
            QStringList({ u"127.0.0.3|"_s + CheckedAnswers[2], u"127.0.0.2|"_s + CheckedAnswers[1],
                u"127.0.0.1|"_s + CheckedAnswers[0], u"192.0.2.1|"_s + CheckedAnswers[4],
                u"127.0.0.5|"_s + CheckedAnswers[5], u"127.0.0.4|"_s + CheckedAnswers[3], u"127.0.0.9|"_s }));
    }

    // "Checking N of M" as the answers come, no more than ten times a second, then the end of the check.
    void statusTexts()
    {
        QVERIFY(openForChecks(true));
        addRows(CheckedRows);
        QVERIFY(chooseFromMenu(0, u"Check All"_s));
        // The row with no port at once, the reserved address before the engine sees any row.
        QTRY_COMPARE(w->status(), ListChecker::progressText(2, CheckedRows.size()));
        m_run->answer(3);
        QTRY_COMPARE(w->status(), ListChecker::progressText(5, CheckedRows.size()));
        m_run->answer(2);
        QTRY_COMPARE(w->status(), ListChecker::completionText(3, CheckedRows.size()));

        // Two thousand answers, each in its own turn of the event loop.
        QStringList many;
        for (int n = 0; n < 2000; ++n)
            many << u"127.1.%1.%2|%3|HTTP|X"_s.arg(n / 250).arg(n % 250).arg(n * 10 + 1);
        w->window->LV1().Clear();
        addRows(many);
        m_holdAnswers = false;
        QSignalSpy shown(&w->window->checker(), &ListChecker::statusTextChanged);
        QElapsedTimer checking;
        checking.start();
        w->window->checkAllRows();
        QTRY_COMPARE_WITH_TIMEOUT(w->status(), ListChecker::completionText(2000, 2000), 20000);
        // The first and the last text at once; the others a tenth of a second apart at the least.
        QVERIFY2(shown.size() <= checking.elapsed() / ListChecker::StatusIntervalMs + 2,
            qPrintable(QString::number(shown.size())));
        QCOMPARE(answers().size(), 2000);
        QCOMPARE(answers().last(), u"19991 ms"_s);
    }

    // Stop Checking, a new search and closing the window each end the check at once: the engine stops, and
    // no answer lands after it; the answers that came stay.
    void cancel_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("status");
        QTest::newRow("Stop Checking") << u"Stop Checking"_s << ListChecker::stoppedText(1, 6);
        QTest::newRow("new search") << u"new search"_s << SearchController::progressText(0);
        QTest::newRow("window closed") << u"close"_s << ListChecker::stoppedText(1, 6);
    }

    void cancel()
    {
        QFETCH(QString, how);
        QFETCH(QString, status);
        TestPages::serve(w->server, 0);
        QVERIFY(openForChecks(true));
        addRows(CheckedRows);
        QVERIFY(chooseFromMenu(0, u"Check All"_s));
        QTRY_VERIFY(m_run && !m_run->asked.isEmpty());
        m_run->answer(1);
        QTRY_COMPARE(answers().first(), CheckedAnswers.first());
        const QStringList before = answers();

        if (how == u"Stop Checking")
            QVERIFY(chooseFromMenu(0, how));
        else if (how == u"new search")
            w->click(u"cmdStart"_s);
        else
            w->window->close();
        QVERIFY(m_run->stopped);
        QCOMPARE(w->status(), status);
        QVERIFY(!w->window->checker().isRunning());
        m_run->answer(99);
        // The run is let go once the event loop turns.
        QTRY_VERIFY(!m_run);
        QCOMPARE(answers(), how == u"new search" ? QStringList() : before);
        QCOMPARE(w->status(), status);
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
