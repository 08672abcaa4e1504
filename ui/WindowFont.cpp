#include "WindowFont.h"

#include <QString>
#include <QStringList>

namespace {

const QString Family = QStringLiteral("MS Sans Serif");
constexpr double PointSize = 8.25;

// Where the window font is missing. The condensed DejaVu face comes before the regular one because its
// widths are the nearer match, and the texts were fitted to their boxes with it.
void registerSubstitutes()
{
    QFont::insertSubstitutions(Family,
        { QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
            QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans"),
            QStringLiteral("Helvetica") });
}

} // namespace

namespace WindowFont {

QFont font()
{
    registerSubstitutes();
    QFont windowFont(Family);
    windowFont.setPointSizeF(PointSize);
    return windowFont;
}

} // namespace WindowFont
