#include "AboutPage.h"

#include "BuiltInPng.h"
#include "ClickableLabel.h"
#include "LinkAddresses.h"
#include "ProductTexts.h"

#include <QLabel>

AboutPage::AboutPage(QTabWidget* tabs, const QString& siteBase)
    : TabPage(tabs, QStringLiteral("About this Tool"))
{
    addLabel(new QLabel, QStringLiteral("Label3"), QStringLiteral("What are Proxy Servers ?"), true);
    addLabel(new QLabel, QStringLiteral("Label1"), ProductTexts::AboutProxyServers, false);
    addLabel(new QLabel, QStringLiteral("Label5"), QStringLiteral("Why should I use proxy servers ?"), true);
    addLabel(new QLabel, QStringLiteral("Label4"), ProductTexts::WhyUseProxyServers, false);
    ClickableLabel* label6 = addLink(QStringLiteral("Label6"),
        QStringLiteral("More Information: ") + LinkAddresses::listSiteHome(siteBase));
    auto* image1 = new ClickableLabel(this);
    image1->setObjectName(QStringLiteral("Image1"));
    image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    image1->setPixmap(builtInPng(QStringLiteral(":/logo.png")));
    addControl(image1);

    connect(image1, &ClickableLabel::clicked, this, &AboutPage::logoClicked);
    connect(label6, &ClickableLabel::clicked, this, &AboutPage::homeLinkClicked);
}
