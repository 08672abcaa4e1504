#pragma once

#include <QString>

// The texts the window shows about the product and the programs it suggests, word for word.
namespace ProductTexts {

inline const QString WindowTitle = QStringLiteral("Velmora - Proxy Tool v1.0");

inline const QString AboutProxyServers = QStringLiteral(
    "A proxy server stands between you and the web sites you visit. It protects your privacy by masking your "
    "IP address and browser data, and anonymous or high-anonymous proxy servers make you untraceable while "
    "you surf.");

inline const QString WhyUseProxyServers = QStringLiteral(
    "Every web site you visit records your IP address: in its log files, with every message you post in a "
    "forum or guest book, and in the cookies it leaves on your computer. A proxy server answers the site in "
    "your place, so your own address stays hidden.");

inline const QString UpperToolTitle = QStringLiteral("Quernstone AntiSpy");

inline const QString UpperToolText = QStringLiteral(
    "Quernstone AntiSpy from Harrowfell Labs finds spyware, adware, dialers and tracking cookies on your "
    "computer and removes them. Its resident shield checks every download and warns you before a program can "
    "change your browser's home page or send your data out.");

inline const QString LowerToolTitle = QStringLiteral("Brackenguard AntiSpyware");

inline const QString LowerToolText = QStringLiteral(
    "Brackenguard from Ellendrake Software watches the programs that start with your computer, your "
    "browser's add-ons and your Hosts file, and stops spyware before it settles in. Everything it removes "
    "goes into a quarantine folder first, so a program you still need is back with one click. New "
    "definitions arrive every week, and a free edition is available for home use.");

} // namespace ProductTexts
