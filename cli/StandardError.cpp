#include "StandardError.h"

#include "FileOutput.h"

#include <QString>

namespace StandardError {

void printLine(QStringView text)
{
    QByteArray line = text.toUtf8();
    line += '\n';
    FileOutput::writeAll(2, std::string_view(line.constData(), size_t(line.size())));
}

void printDiagnostic(QStringView text)
{
    QString line = Prefix.toString();
    line += text;
    for (QChar& c : line) {
        if (c.category() == QChar::Other_Control)
            c = u'?';
    }
    printLine(line);
}

} // namespace StandardError
