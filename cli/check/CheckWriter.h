#pragma once

#include <QByteArrayView>

class FileOutput;
struct CheckResult;

// Prints checked rows as UTF-8, each field written as tarnwick-search writes its fields: tsv made visible
// (VisibleText.h), csv quoted, json escaped. A row is the input's address, port, type and country, then
// answer (milliseconds, empty for none), anonymity (empty for none) and reason (empty when it answered).
class CheckWriter
{
public:
    enum class Format
    {
        Tsv,
        Csv, // RFC 4180 with a header line and CR LF line ends
        Json, // one array of objects, every field a string
    };

    CheckWriter(Format format, FileOutput& out);

    // The csv header or the json array's start.
    void begin();
    void write(QByteArrayView address, QByteArrayView port, QByteArrayView type, QByteArrayView country,
        const CheckResult& result);
    // The json array's end.
    void end();

private:
    Format m_format;
    FileOutput& m_out;
    qsizetype m_written = 0;
};
