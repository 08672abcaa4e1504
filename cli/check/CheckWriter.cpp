#include "CheckWriter.h"

#include "CheckResult.h"
#include "FieldEscapes.h"
#include "FileOutput.h"
#include "VisibleText.h"

#include <algorithm>
#include <array>
#include <string_view>

using namespace FieldEscapes;

namespace {

constexpr std::array<std::string_view, 7> JsonNames = { "{\"address\":", ",\"port\":", ",\"type\":",
    ",\"country\":", ",\"answer\":", ",\"anonymity\":", ",\"reason\":" };
// The room a row takes: at most this many bytes per byte of its fields, plus the fixed text around them
// (json's names are the longest).
constexpr qsizetype MostBytesPerByte = std::max(MostVisibleBytesPerByte, MostJsonBytesPerByte);
constexpr qsizetype MostBytesAroundRow = 128;

} // namespace

CheckWriter::CheckWriter(Format format, FileOutput& out)
    : m_format(format)
    , m_out(out)
{ }

void CheckWriter::begin()
{
    if (m_format == Format::Csv)
        m_out.append("address,port,type,country,answer,anonymity,reason\r\n");
    else if (m_format == Format::Json)
        m_out.append("[");
}

void CheckWriter::write(QByteArrayView address, QByteArrayView port, QByteArrayView type,
    QByteArrayView country, const CheckResult& result)
{
    const QByteArray answer = result.answered ? QByteArray::number(result.milliseconds) : QByteArray();
    const QByteArray anonymity = result.answered ? anonymityText(result.anonymity).toUtf8() : QByteArray();
    const QByteArray reason = result.answered ? QByteArray() : result.reason.toUtf8();
    const std::array<QByteArrayView, 7> fields = { address, port, type, country, answer, anonymity, reason };
    qsizetype bytes = 0;
    for (const QByteArrayView field : fields)
        bytes += field.size();

    char* at = m_out.room(size_t(MostBytesPerByte * bytes + MostBytesAroundRow));
    if (m_format == Format::Json)
        at = put(at, m_written == 0 ? "\n" : ",\n");
    for (size_t i = 0; i < fields.size(); ++i) {
        const bool last = i + 1 == fields.size();
        switch (m_format) {
        case Format::Tsv:
            at = putVisible(at, fields[i]);
            *at++ = last ? '\n' : '\t';
            break;
        case Format::Csv:
            at = putCsvField(at, fields[i]);
            at = put(at, last ? "\r\n" : ",");
            break;
        case Format::Json:
            at = put(at, JsonNames[i]);
            at = putJsonString(at, fields[i]);
            if (last)
                *at++ = '}';
            break;
        }
    }
    m_out.commit(at);
    ++m_written;
}

void CheckWriter::end()
{
    if (m_format == Format::Json)
        m_out.append(m_written == 0 ? "]\n" : "\n]\n");
}
