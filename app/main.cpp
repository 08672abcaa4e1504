#include "frmMain.h"

#include <QApplication>
#include <QLocale>

int main(int argc, char* argv[])
{
    // The program takes no arguments: only the program's own name reaches Qt, so options that Qt would
    // otherwise act on (a style, a platform, reverse layout) change nothing either.
    int ownArgc = argc > 0 ? 1 : 0;
    QApplication application(ownArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    frmMain window;
    // Showing the window runs its load step first.
    window.show();
    // Closing the window is the only way out: the last window closed ends the event loop.
    return application.exec();
}
