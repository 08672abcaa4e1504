#pragma once

#include "ListPages.h"
#include "SearchController.h"
#include "TestHttpServer.h"
#include "frmMain.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

// The list site's pages as the tests serve them: page p holds two rows, addresses 192.0.2.<2p + 1> and
// 192.0.2.<2p + 2>, with ports in no order, neither as text nor as numbers.
namespace TestPages {

inline const QStringList Ports
    = QStringLiteral("8080 3128 80 8000 1080 443 81 9050 8888 60000 3129 8118 1081 554").split(u' ');

inline ListRow row(int index)
{
    return { "192.0.2." + std::to_string(index + 1), Ports[index].toInt(), "anonymous", "Nowhere", false };
}

inline const auto key = [](int index) { return QString::fromStdString(row(index).key()); };
inline const auto pagePath = [](int page) { return QStringLiteral("/proxy_list.php?showpage=%1").arg(page); };

// The seven pages on `server`; page `held` is never answered.
inline void serve(TestHttpServer& server, int held = -1)
{
    for (int page = 0; page < ListPageCount; ++page) {
        const std::string html = renderListPage({ row(2 * page), row(2 * page + 1) }, page);
        TestHttpServer::Response response { 200, QByteArray::fromStdString(html) };
        response.hold = page == held;
        server.setResponse(pagePath(page), response);
    }
}

} // namespace TestPages

// The window on a test server of its own, driven through its controls as a user drives it.
struct WindowFixture
{
    TestHttpServer server;
    std::unique_ptr<frmMain> window;

    // Shows the window on `site`, by default the test server, which should have its answers by now.
    bool open(const QString& site = {})
    {
        window = std::make_unique<frmMain>(site.isEmpty() ? server.base() : site);
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }

    template <typename T = QWidget> T* find(const QString& name) const { return window->findChild<T*>(name); }
    QString status() const { return find<QLabel>(QStringLiteral("SimpleText"))->text(); }
    QString caption() const { return find<QPushButton>(QStringLiteral("cmdStart"))->text(); }
    QAbstractItemModel* rows() const { return find<QAbstractItemView>(QStringLiteral("LV1"))->model(); }
    // The list's rows as the user sees them, "address:port" each.
    QStringList keys() const
    {
        QStringList keys;
        for (int row = 0; row < rows()->rowCount(); ++row)
            keys << rows()->index(row, 0).data().toString() + u':' + rows()->index(row, 1).data().toString();
        return keys;
    }

    // A click on a control, its tab page brought to the front first.
    void click(const QString& name) const
    {
        auto* tabs = find<QTabWidget>(QStringLiteral("SSTab1"));
        if (const int page = tabs->indexOf(find(name)->parentWidget()); page >= 0)
            tabs->setCurrentIndex(page);
        QTest::mouseClick(find(name), Qt::LeftButton);
    }
    // A key as the system delivers it: to the window, which hands it to the control with the focus.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) const
    {
        QTest::keyClick(window->windowHandle(), key, modifiers);
    }

    bool searchEnded() const
    {
        return QTest::qWaitFor([this] { return window->search().state().halted; }, 20000);
    }
};
