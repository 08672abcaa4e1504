// The start-up baseline: a bare Qt program that shows an empty widget of the window's size and ends as
// soon as it is on screen.
#include <QApplication>
#include <QTest>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget widget;
    widget.setFixedSize(471, 358);
    widget.show();
    return QTest::qWaitForWindowExposed(&widget) ? 0 : 1;
}
