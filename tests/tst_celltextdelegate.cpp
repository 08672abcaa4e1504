#include "ProxyRecord.h"
#include "TestHttpServer.h"
#include "frmMain.h"

#include <QtTest>
#include <QtWidgets>

using namespace Qt::StringLiterals;

class tst_CellTextDelegate : public QObject
{
    Q_OBJECT

private slots:
    void longCellIsCutOnlyWhereDrawn_data()
    {
        const QString ellipsis(QChar(0x2026));
        const QString stem = u"\U0001D167"_s;
        const QString accented = u"e\u0301"_s;
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("drawn");
        QTest::newRow("short cell") << u"192.0.2.1"_s << u"192.0.2.1"_s;
        QTest::newRow("1 MB plain cell") << QString(1024 * 1024, u'x') << QString(256, u'x') + ellipsis;
        // The cut falls inside a letter and its accent, then between the halves of a surrogate pair within
        // one endless cluster of marks from beyond the 16-bit range.
        QTest::newRow("accented letters")
            << u"x"_s + accented.repeated(200) << u"x"_s + accented.repeated(127) + ellipsis;
        QTest::newRow("marks in surrogate pairs")
            << u"a"_s + stem.repeated(300) << u"a"_s + stem.repeated(8) + ellipsis;
        QTest::newRow("200 KB of accents on one letter")
            << u"a"_s + QString(200 * 1024, QChar(0x301)) << u"a"_s + QString(8, QChar(0x301)) + ellipsis;
        QTest::newRow("accents piled in a short cell")
            << u"a"_s + QString(20, QChar(0x301)) + u"b"_s << u"a"_s + QString(8, QChar(0x301)) + u"b"_s;
    }

    void longCellIsCutOnlyWhereDrawn()
    {
        QFETCH(QString, text);
        QFETCH(QString, drawn);
        TestHttpServer server;
        QVERIFY(server.listen());
        frmMain window(server.base());
        const QString key = text + u":8080"_s;
        const QByteArray address = text.toUtf8();
        QVERIFY(window.LV1().Add(ProxyRecord { address, "8080", {}, {} }));
        auto* view = window.findChild<QTreeView*>(u"LV1"_s);
        const QModelIndex cell = view->model()->index(0, 0);
        auto* delegate = qobject_cast<QStyledItemDelegate*>(view->itemDelegateForIndex(cell));
        QVERIFY(delegate);
        QCOMPARE(delegate->displayText(cell.data(), QLocale()), drawn);
        QCOMPARE(cell.data().toString(), text);

        // A double-click copies the whole key, not what is drawn of it.
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint centre = view->visualRect(cell).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, centre);
        QCOMPARE(QGuiApplication::clipboard()->text(), key);
    }
};

QTEST_MAIN(tst_CellTextDelegate)
#include "tst_celltextdelegate.moc"
