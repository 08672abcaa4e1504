#include "ToolsPage.h"

#include "ClickableLabel.h"
#include "LinkAddresses.h"
#include "ListSite.h"
#include "ProductTexts.h"

#include <QLabel>

ToolsPage::ToolsPage(QTabWidget* tabs)
    : TabPage(tabs, QStringLiteral("Suggested Tools"))
{
    addLabel(new QLabel, QStringLiteral("Label7"), ProductTexts::UpperToolTitle, true);
    addLabel(new QLabel, QStringLiteral("Label2"), ProductTexts::UpperToolText, false);
    ClickableLabel* label8
        = addLink(QStringLiteral("Label8"), ListSite::normalisedBase(LinkAddresses::UpperMaker));
    addLabel(new QLabel, QStringLiteral("Label11"), ProductTexts::LowerToolTitle, true);
    addLabel(new QLabel, QStringLiteral("Label9"), ProductTexts::LowerToolText, false);
    ClickableLabel* label10 = addLink(QStringLiteral("Label10"), LinkAddresses::LowerProduct);

    connect(label8, &ClickableLabel::clicked, this, &ToolsPage::upperMakerClicked);
    connect(label10, &ClickableLabel::clicked, this, &ToolsPage::lowerProductClicked);
}
