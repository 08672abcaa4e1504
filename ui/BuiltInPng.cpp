#include "BuiltInPng.h"

#include <QImageReader>

QPixmap builtInPng(const QString& path)
{
    QImageReader reader(path, "PNG");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}
