#pragma once

#include <QString>
#include <QStringView>

// The advertisement page made fit for the strip's text document: its text and plain formatting (bold,
// italic, fonts, links, paragraphs, lists, small tables) and nothing that names a resource. The page is
// read as HTML (MarkupTokenizer), only what the policy allows passes (MarkupPolicy), and the markup is
// written anew within its bounds (MarkupWriter, MarkupBounds).
namespace AdvertisementMarkup {

QString sanitised(QStringView page);

} // namespace AdvertisementMarkup
