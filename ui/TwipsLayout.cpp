#include "TwipsLayout.h"

#include <QWidget>

#include <array>
#include <string_view>

namespace {

struct Placement
{
    std::string_view name;
    int left;
    int top;
    int width;
    int height;
};

// `Web` is no widget and has no place here.
constexpr std::array Layout = {
    Placement { "frmMain", 0, 0, 7065, 5370 },
    Placement { "S", 0, 5115, 7065, 255 },
    Placement { "SSTab1", 0, 930, 7095, 4335 },
    Placement { "WebBrowser1", 0, 0, 7455, 1095 },
    // "Proxy Search"
    Placement { "LV1", 30, 360, 6975, 3330 },
    Placement { "cmdStart", 4440, 3730, 2535, 435 },
    // "About this Tool"
    Placement { "Label3", 120, 600, 3495, 255 },
    Placement { "Label1", 120, 840, 6855, 615 },
    Placement { "Label5", 120, 1680, 3615, 255 },
    Placement { "Label4", 120, 1920, 6735, 855 },
    Placement { "Label6", 1440, 3000, 4095, 255 },
    Placement { "Image1", 2880, 3480, 1320, 465 },
    // "Suggested Tools"
    Placement { "Label7", 120, 600, 3375, 255 },
    Placement { "Label2", 120, 840, 6855, 855 },
    Placement { "Label8", 2520, 1920, 2055, 255 },
    Placement { "Label11", 120, 2280, 2775, 255 },
    Placement { "Label9", 120, 2520, 6855, 1095 },
    Placement { "Label10", 960, 3600, 5175, 255 },
};

} // namespace

namespace TwipsLayout {

int pixels(double twips)
{
    return qRound(twips / TwipsPerPixel);
}

QRect pixelRect(const QString& name)
{
    for (const Placement& placement : Layout) {
        if (QLatin1String(placement.name.data(), qsizetype(placement.name.size())) == name) {
            return QRect(pixels(placement.left), pixels(placement.top), pixels(placement.width),
                pixels(placement.height));
        }
    }
    Q_ASSERT_X(false, "pixelRect", "a control without a place in the layout table");
    return {};
}

void place(QWidget* control, QPoint origin)
{
    const QRect place = pixelRect(control->objectName());
    control->setFixedSize(place.size());
    control->move(place.topLeft() - origin);
}

} // namespace TwipsLayout
