// Writes a PNG of the window after a finished search, for the README and for looking at by hand.
// Usage: window_screenshot SITE_BASE OUTPUT.png [TAB]
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
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: window_screenshot SITE_BASE OUTPUT.png [TAB]\n");
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
    if (arguments.size() > 3)
        window.findChild<QTabWidget*>(QStringLiteral("SSTab1"))->setCurrentIndex(arguments[3].toInt());
    // Let the advertisement strip and the list paint.
    QTest::qWait(300);
    return window.grab().save(arguments[2]) ? 0 : 1;
}
