#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class ClickableLabel;
class QLabel;
class QTabWidget;

// A page of the window's tab control, in the button face like the labels on it. Its controls are placed
// by the twips layout, which measures them from the tab control's corner.
class TabPage : public QWidget
{
    Q_OBJECT

public:
    // Adds the page to `tabs` at once, so that the controls made after it take the window's font.
    TabPage(QTabWidget* tabs, const QString& title);

    // Places the page's controls. The tab control lays its pages out only once it is shown, so the window
    // places them again then.
    void placeControls(QTabWidget* tabs);

protected:
    // A control of the page that the layout places.
    void addControl(QWidget* control);
    // A label of plain text, word-wrapped, bold or not.
    QLabel* addLabel(QLabel* label, const QString& name, const QString& text, bool bold);
    // A bold label that reports clicks, on one line.
    ClickableLabel* addLink(const QString& name, const QString& text);

private:
    QList<QWidget*> m_controls;
};
