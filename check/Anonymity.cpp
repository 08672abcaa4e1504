#include "Anonymity.h"

QStringView anonymityText(Anonymity anonymity)
{
    switch (anonymity) {
    case Anonymity::Transparent:
        return u"transparent";
    case Anonymity::Anonymous:
        return u"anonymous";
    case Anonymity::Elite:
        return u"elite";
    }
    return {};
}
