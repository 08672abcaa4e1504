#include "ListSite.h"

namespace ListSite {

QString compiledBaseAddress()
{
    return normalisedBase(QStringLiteral(TARNWICK_LIST_SITE));
}

QString normalisedBase(const QString& base)
{
    return base.endsWith(u'/') ? base.chopped(1) : base;
}

QUrl pageAddress(const QString& base, int pageIndex)
{
    return QUrl(
        normalisedBase(base) + QStringLiteral("/proxy_list.php?showpage=") + QString::number(pageIndex));
}

QUrl advertisementAddress(const QString& base)
{
    return QUrl(normalisedBase(base) + QStringLiteral("/toolads.php"));
}

QUrl homeAddress(const QString& base)
{
    return QUrl(normalisedBase(base) + u'/');
}

QUrl judgeAddress(const QString& base)
{
    const QString configured = QStringLiteral(TARNWICK_JUDGE);
    return QUrl(configured.isEmpty() ? normalisedBase(base) + QStringLiteral("/judge") : configured);
}

} // namespace ListSite
