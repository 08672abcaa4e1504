#include "AdvertisementStrip.h"

#include <QTextDocument>

namespace {

// A text document falls back to reading local files for the images and style sheets its markup names;
// this one loads no resource at all.
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
