#include "TabPage.h"

#include "ClickableLabel.h"
#include "TwipsLayout.h"

#include <QFont>
#include <QLabel>
#include <QTabWidget>

TabPage::TabPage(QTabWidget* tabs, const QString& title)
{
    setObjectName(QStringLiteral("SSTab1Page%1").arg(tabs->count()));
    // The same button face as the labels on it, whatever colour the style gives the tab pane.
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    tabs->addTab(this, title);
}

void TabPage::placeControls(QTabWidget* tabs)
{
    const QPoint origin = mapTo(tabs, QPoint());
    for (QWidget* control : std::as_const(m_controls))
        TwipsLayout::place(control, origin);
}

void TabPage::addControl(QWidget* control)
{
    m_controls.append(control);
}

QLabel* TabPage::addLabel(QLabel* label, const QString& name, const QString& text, bool bold)
{
    label->setParent(this);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFrameShape(QFrame::NoFrame);
    label->setMargin(0);
    label->setBackgroundRole(QPalette::Button);
    label->setForegroundRole(QPalette::ButtonText);
    label->setAutoFillBackground(true);
    if (bold) {
        QFont boldFont = label->font();
        boldFont.setBold(true);
        label->setFont(boldFont);
    }
    addControl(label);
    return label;
}

ClickableLabel* TabPage::addLink(const QString& name, const QString& text)
{
    auto* link = new ClickableLabel;
    addLabel(link, name, text, true);
    // A link's box holds one line: an address too long for it runs out at the right edge, where the box
    // cuts it off, rather than wrapping onto a second line below the box, out of sight.
    link->setWordWrap(false);
    return link;
}
