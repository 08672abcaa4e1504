#include "Utf8TextMimeData.h"

namespace {

const QString PlainText = QStringLiteral("text/plain");

} // namespace

Utf8TextMimeData::Utf8TextMimeData(QByteArray utf8)
    : m_utf8(std::move(utf8))
{ }

bool Utf8TextMimeData::hasFormat(const QString& mimeType) const
{
    return mimeType == PlainText;
}

QStringList Utf8TextMimeData::formats() const
{
    return { PlainText };
}

QVariant Utf8TextMimeData::retrieveData(const QString& mimeType, QMetaType type) const
{
    if (mimeType != PlainText)
        return {};
    if (type.id() == QMetaType::QByteArray)
        return m_utf8;
    return QString::fromUtf8(m_utf8);
}
