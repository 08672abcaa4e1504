#include "AdvertisementStrip.h"

#include "AdvertisementMarkup.h"

#include <QTextDocument>

namespace {

// A text document falls back to reading local files for the images and style sheets its markup names;
// this one loads no resource at all. The markup it is given names none, so this is the second guard. It
// cannot be the only one: an image the document finds no resource for is read from the path it names.
class ResourcelessDocument : public QTextDocument
{
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

} // namespace

AdvertisementStrip::AdvertisementStrip(QWidget* parent)
    : QTextBrowser(parent)
{
    setDocument(new ResourcelessDocument(this));
    setOpenLinks(false);
}

void AdvertisementStrip::showPage(const QString& html)
{
    setHtml(AdvertisementMarkup::sanitised(html));
}
