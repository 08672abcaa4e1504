#pragma once

#include <QStringView>

// What a proxy tells the judge about us, as the judge saw the request.
enum class Anonymity
{
    Transparent, // a proxy header carries our own address
    Anonymous, // a proxy header is there, without our address
    Elite, // no proxy header at all
};

// "transparent", "anonymous", "elite".
QStringView anonymityText(Anonymity anonymity);
