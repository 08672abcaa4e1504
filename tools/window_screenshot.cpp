// Writes a PNG of the window after a finished search, for the README and for looking at by hand.
// Usage: window_screenshot SITE_BASE OUTPUT.png [TAB] [--check]
// --check also checks every row, waits for the check to complete and sorts the list by its answers.
#include "ListView.h"
#include "frmMain.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A tool for looking at the window checks loopback only, unless told otherwise.
    if (!qEnvironmentVariableIsSet("TARNWICK_CHECK_NETWORKS"))
        qputenv("TARNWICK_CHECK_NETWORKS", "127.0.0.0/8,::1/128");
    QApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    const bool check = arguments.removeAll(QStringLiteral("--check")) > 0;
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: window_screenshot SITE_BASE OUTPUT.png [TAB] [--check]\n");
        return 2;
    }
    frmMain window(arguments[1]);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    QLabel* status = window.findChild<QStatusBar*>(QStringLiteral("S"))->findChild<QLabel*>();
    window.findChild<QPushButton*>(QStringLiteral("cmdStart"))->click();
    if (!QTest::qWaitFor(
            [&] { return status->text().startsWith(QStringLiteral("Download Complete")); }, 60000))
        return 1;
    if (check) {
        window.checkAllRows();
        // The slowest check ends with its timeout.
        if (!QTest::qWaitFor(
                [&] { return status->text().startsWith(QStringLiteral("Check Complete")); }, 120000)) {
            std::fprintf(
                stderr, "window_screenshot: the check did not end: %s\n", qPrintable(status->text()));
            return 1;
        }
        window.LV1_ColumnClick(ProxyTableModel::AnswerColumn + 1);
        // The last answers and the first rows without one in the middle of the list.
        auto* list = window.findChild<ListView*>(QStringLiteral("LV1"));
        const ProxyTableModel& table = window.LV1().model();
        int firstWithout = 0;
        while (
            firstWithout < table.rowCount() && table.answerText(firstWithout).endsWith(QStringLiteral(" ms")))
            ++firstWithout;
        list->scrollTo(table.index(firstWithout, 0), QAbstractItemView::PositionAtCenter);
    }
    if (arguments.size() > 3)
        window.findChild<QTabWidget*>(QStringLiteral("SSTab1"))->setCurrentIndex(arguments[3].toInt());
    // Let the advertisement strip and the list paint.
    QTest::qWait(300);
    return window.grab().save(arguments[2]) ? 0 : 1;
}
