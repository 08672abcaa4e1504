#include "frmMain.h"

#include <QApplication>
#include <QLocale>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    // The program takes no arguments: whatever is passed is left unread.
    frmMain window;
    // Showing the window runs its load step first.
    window.show();
    // Closing the window is the only way out: the last window closed ends the event loop.
    return application.exec();
}
