#include "AnswerReader.h"

#include <algorithm>
#include <array>

namespace {

// A Content-Length value: decimal digits only, and few enough to be a length at all; -1 for anything else.
qint64 parseLength(QByteArrayView value)
{
    if (value.isEmpty() || value.size() > 18)
        return -1;
    qint64 length = 0;
    for (const char c : value) {
        if (c < '0' || c > '9')
            return -1;
        length = length * 10 + (c - '0');
    }
    return length;
}

// Whether a status line opens an interim answer, after which the same request is answered again. 101
// switches protocols, which the network library takes for the end of the headers: not interim.
bool isInterimStatusLine(QByteArrayView line)
{
    const qsizetype space = line.indexOf(' ');
    if (space < 0 || line.size() < space + 4)
        return false;
    const QByteArrayView code = line.sliced(space + 1, 3);
    return code[0] == '1'
        && std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; })
        && code != "101";
}

} // namespace

AnswerReader::AnswerReader()
{
    // 15 window bits, plus 32: a gzip or a zlib header, whichever the stream has.
    inflateInit2(&m_zlib, 15 + 32);
}

AnswerReader::~AnswerReader()
{
    inflateEnd(&m_zlib);
}

void AnswerReader::startExchange()
{
    m_facts = {};
    m_headerBytes = 0;
    m_statusLineNext = true;
}

void AnswerReader::clear()
{
    m_body.clear();
    m_contentType.clear();
}

bool AnswerReader::refuse(TransferFacts::Refusal refusal)
{
    if (m_facts.refusal == TransferFacts::Refusal::None)
        m_facts.refusal = refusal;
    return false;
}

bool AnswerReader::takeHeader(QByteArrayView line)
{
    using Refusal = TransferFacts::Refusal;
    m_headerBytes += line.size();
    if (m_headerBytes > MaxHeaderBytes)
        return refuse(Refusal::HeadersTooLarge);
    if (m_statusLineNext) {
        // A new answer: an interim one, one that redirects, or the page's own. Only here: a header line
        // that merely looks like a status line is a header like any other. No refusal comes before it, as
        // a refusal ends the transfer.
        m_statusLineNext = false;
        m_interim = isInterimStatusLine(line);
        m_facts = {};
        m_chunked = false;
        m_body.clear();
        m_contentType.clear();
        return true;
    }
    if (m_interim) {
        // Says nothing of the page: passed over whole, and another answer follows it.
        m_statusLineNext = line.trimmed().isEmpty();
        return true;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon < 0) {
        if (line.trimmed().isEmpty()) {
            // The end of the headers. Room for an announced plain body at once, within the cap.
            m_facts.headersEnded = true;
            if (m_facts.compressed)
                inflateReset(&m_zlib);
            else if (m_facts.announcedLength >= 0 && m_facts.announcedLength <= MaxBodyBytes)
                m_body.reserve(m_facts.announcedLength);
        }
        return true;
    }
    const QByteArrayView name = line.first(colon).trimmed();
    const QByteArrayView value = line.sliced(colon + 1).trimmed();
    if (name.compare("content-length", Qt::CaseInsensitive) == 0) {
        const qint64 length = parseLength(value);
        if (length < 0)
            return refuse(Refusal::BadLength);
        if (m_facts.announcedLength >= 0 && m_facts.announcedLength != length)
            return refuse(Refusal::ConflictingLengths);
        m_facts.announcedLength = length;
    } else if (name.compare("content-encoding", Qt::CaseInsensitive) == 0) {
        const QByteArray coding = value.toByteArray().toLower();
        if (coding.isEmpty() || coding == "identity")
            return true;
        // Only what was asked for, and only once.
        if (m_facts.compressed || (coding != "gzip" && coding != "x-gzip" && coding != "deflate"))
            return refuse(Refusal::UnknownEncoding);
        m_facts.compressed = true;
    } else if (name.compare("transfer-encoding", Qt::CaseInsensitive) == 0) {
        // The framing is either the connection's end or one layer of chunks: anything else is framed in
        // a way the network library reads differently from the server, or not at all.
        for (qsizetype from = 0; from <= value.size();) {
            qsizetype comma = value.indexOf(',', from);
            if (comma < 0)
                comma = value.size();
            const QByteArrayView coding = value.sliced(from, comma - from).trimmed();
            from = comma + 1;
            if (coding.isEmpty() || coding.compare("identity", Qt::CaseInsensitive) == 0)
                continue;
            if (m_chunked || coding.compare("chunked", Qt::CaseInsensitive) != 0)
                return refuse(Refusal::UnknownTransferCoding);
            m_chunked = true;
        }
    } else if (name.compare("content-type", Qt::CaseInsensitive) == 0) {
        m_contentType = value.toByteArray();
    }
    return true;
}

bool AnswerReader::takeBody(QByteArrayView data)
{
    using Refusal = TransferFacts::Refusal;
    m_facts.bodyBytes += data.size();
    if (m_facts.bodyBytes > MaxBodyBytes)
        return refuse(Refusal::TooLarge);
    if (!m_facts.compressed)
        return keep(data);
    if (m_facts.compressedEnded)
        return refuse(Refusal::DamagedCompression); // bytes after the end of the stream
    m_zlib.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    m_zlib.avail_in = uInt(data.size());
    std::array<char, 64 * 1024> out;
    do {
        m_zlib.next_out = reinterpret_cast<Bytef*>(out.data());
        m_zlib.avail_out = uInt(out.size());
        const int result = inflate(&m_zlib, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
            return refuse(Refusal::DamagedCompression);
        if (!keep(QByteArrayView(out.data(), qsizetype(out.size() - m_zlib.avail_out))))
            return false;
        if (result == Z_STREAM_END) {
            m_facts.compressedEnded = true;
            return m_zlib.avail_in == 0 || refuse(Refusal::DamagedCompression);
        }
    } while (m_zlib.avail_in > 0 || m_zlib.avail_out == 0);
    return true;
}

bool AnswerReader::keep(QByteArrayView data)
{
    if (m_body.size() + data.size() > MaxBodyBytes)
        return refuse(TransferFacts::Refusal::TooLarge);
    // Past a megabyte without an announced length, room up to the cap at once: growing step by step holds
    // the old and the new copy together, half as much again as the page.
    const qsizetype needed = m_body.size() + data.size();
    if (needed > m_body.capacity() && needed > 1024 * 1024)
        m_body.reserve(MaxBodyBytes);
    m_body.append(data);
    return true;
}
