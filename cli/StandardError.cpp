#include "StandardError.h"

#include "FileOutput.h"

#include <QString>

namespace StandardError {

namespace {

QString& prefix()
{
    static QString text = QStringLiteral("tarnwick-search: ");
    return text;
}

} // namespace

void setProgramName(QStringView name)
{
    prefix() = name.toString() + QStringLiteral(": ");
}

void printLine(QStringView text)
{
    QByteArray line = text.toUtf8();
    line += '\n';
    FileOutput::writeAll(2, std::string_view(line.constData(), size_t(line.size())));
}

void printDiagnostic(QStringView text)
{
    QString line = prefix();
    line += text;
    for (QChar& c : line) {
        if (c.category() == QChar::Other_Control)
            c = u'?';
    }
    printLine(line);
}

} // namespace StandardError
