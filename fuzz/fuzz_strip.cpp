// Fuzzes the advertisement strip's sanitiser with any page: its output stays within its size bound, is
// in the one plain form it writes (known elements and attributes only, none naming a resource, every
// element closed in order), and sanitising it again changes nothing.
//
// The input is the page as UTF-8, made valid as the strip's decoder would.

#include "AdvertisementMarkup.h"
#include "MarkupBounds.h"
#include "MarkupForm.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString page = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString markup = AdvertisementMarkup::sanitised(page);
    if (markup.size() > MarkupBounds::MaxMarkup || !MarkupForm::fault(markup).isEmpty()
        || AdvertisementMarkup::sanitised(markup) != markup)
        std::abort();
    return 0;
}
