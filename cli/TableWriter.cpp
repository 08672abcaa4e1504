#include "TableWriter.h"

#include "FieldEscapes.h"
#include "FileOutput.h"
#include "ProxyTableModel.h"
#include "VisibleText.h"

#include <algorithm>
#include <array>
#include <cstring>

// TARNWICK_NO_SIMD builds the scalar path everywhere, so that it is tested on machines that have SSE2.
#if !defined(TARNWICK_NO_SIMD)                                                                               \
    && (defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2))
#define TARNWICK_SSE2 1
#include <emmintrin.h>
#endif
#include <string_view>

using namespace FieldEscapes;

namespace {

constexpr int TypeColumn = 2;
constexpr int CountryColumn = 3;

// The output is written through a pointer into room the buffer made for the whole row beforehand: at
// most this many bytes per byte of the row (tsv and plain write a control character as eight, JSON as
// six), plus the fixed text around its cells.
constexpr qsizetype MostBytesPerByte = std::max(MostVisibleBytesPerByte, MostJsonBytesPerByte);
constexpr qsizetype MostBytesAroundRow = 64;

// Whether `text` holds a control character or one of the bytes `Also`: in tsv a byte that may have to be
// made visible, in csv one that makes a field quoted. Almost no row does, and its cells are then copied
// whole. Sixteen bytes are tested at a time where SSE2 is there, else eight: a byte below n sets its top
// bit in (x - n * ones) & ~x, and no other byte does unless one before it did. The last block overlaps
// the one before it rather than reading past the end.
template <unsigned char... Also> bool holdsControlOr(QByteArrayView text)
{
    const char* const data = text.data();
    const qsizetype size = text.size();
#ifdef TARNWICK_SSE2
    if (size >= 16) {
        const auto test = [](const char* at) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
            __m128i found = _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(0x1F)), x);
            ((found = _mm_or_si128(found, _mm_cmpeq_epi8(x, _mm_set1_epi8(char(Also))))), ...);
            return _mm_movemask_epi8(found);
        };
        int found = test(data + size - 16);
        for (qsizetype at = 0; at + 16 < size; at += 16)
            found |= test(data + at);
        return found != 0;
    }
#endif
    if (size < 8) {
        static constexpr ByteSet Cared
            = bytesWhere([](unsigned c) { return c < 0x20 || ((c == Also) || ...); });
        bool found = false;
        for (const char c : text)
            found |= in(Cared, c);
        return found;
    }
    constexpr quint64 ones = 0x0101010101010101u;
    constexpr quint64 tops = ones << 7;
    const auto anyBelow = [](quint64 x, unsigned char n) { return (x - n * ones) & ~x & tops; };
    const auto anyEqual = [&](quint64 x, unsigned char c) { return anyBelow(x ^ (c * ones), 1); };
    const auto test = [&](const char* at) {
        quint64 x;
        std::memcpy(&x, at, sizeof x);
        return (anyBelow(x, 0x20) | ... | anyEqual(x, Also));
    };
    quint64 found = test(data + size - 8);
    for (qsizetype at = 0; at + 8 < size; at += 8)
        found |= test(data + at);
    return found != 0;
}

bool needsMakingVisible(QByteArrayView text)
{
    return holdsControlOr<'\\', 0x7F, 0xC2, 0xE2>(text);
}
// A byte the test above missed would send a row that needs escapes down the whole-row copy.
static_assert([] {
    for (unsigned c = 0; c < 256; ++c) {
        const bool tested = c < 0x20 || c == '\\' || c == 0x7F || c == 0xC2 || c == 0xE2;
        if (tested != mayStartVisibleEscape(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}());

bool needsQuotes(QByteArrayView text)
{
    return holdsControlOr<'"', ','>(text);
}

constexpr std::array<std::string_view, 4> JsonNames
    = { "{\"address\":", ",\"port\":", ",\"type\":", ",\"country\":" };

bool equalsOneOf(QByteArrayView utf8, const QStringList& texts)
{
    const QString cell = QString::fromUtf8(utf8);
    for (const QString& text : texts) {
        if (cell.compare(text, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

TableWriter::TableWriter(Format format, QStringList types, QStringList countries)
    : m_format(format)
    , m_types(std::move(types))
    , m_countries(std::move(countries))
{ }

bool TableWriter::selects(const ProxyTableModel& table, qsizetype row) const
{
    return (m_types.isEmpty() || equalsOneOf(table.cellUtf8(row, TypeColumn), m_types))
        && (m_countries.isEmpty() || equalsOneOf(table.cellUtf8(row, CountryColumn), m_countries));
}

char* TableWriter::putRow(char* at, const ProxyTableModel& table, qsizetype row) const
{
    // In tsv and csv a row with nothing to make visible or quote is copied whole, and the table's
    // separators between its cells are replaced by the format's.
    const bool copiedWhole = m_format == Format::Tsv ? !needsMakingVisible(table.rowUtf8(row))
        : m_format == Format::Csv                    ? !needsQuotes(table.rowUtf8(row))
                                                     : false;
    if (copiedWhole) {
        const QByteArrayView whole = table.rowUtf8(row);
        const char separator = m_format == Format::Tsv ? '\t' : ',';
        std::memcpy(at, whole.data(), size_t(whole.size()));
        for (const quint32 separatorAt : table.separatorsOf(row))
            at[separatorAt] = separator;
        return put(at + whole.size(), m_format == Format::Tsv ? "\n" : "\r\n");
    }
    switch (m_format) {
    case Format::Plain:
        at = putVisible(at, table.keyUtf8(row));
        *at++ = '\n';
        return at;
    case Format::Tsv:
        for (int column = 0; column < ProxyTableModel::ColumnCount; ++column) {
            at = putVisible(at, table.cellUtf8(row, column));
            *at++ = column + 1 < ProxyTableModel::ColumnCount ? '\t' : '\n';
        }
        return at;
    case Format::Csv:
        for (int column = 0; column < ProxyTableModel::ColumnCount; ++column) {
            at = putCsvField(at, table.cellUtf8(row, column));
            at = put(at, column + 1 < ProxyTableModel::ColumnCount ? "," : "\r\n");
        }
        return at;
    case Format::Json:
        for (int column = 0; column < ProxyTableModel::ColumnCount; ++column) {
            at = put(at, JsonNames[size_t(column)]);
            at = putJsonString(at, table.cellUtf8(row, column));
        }
        *at++ = '}';
        return at;
    }
    return at;
}

qsizetype TableWriter::write(const ProxyTableModel& table, FileOutput& out) const
{
    if (m_format == Format::Csv)
        out.append("address,port,type,country\r\n");
    else if (m_format == Format::Json)
        out.append("[");
    qsizetype printed = 0;
    for (qsizetype row = 0; row < table.size(); ++row) {
        if (!selects(table, row))
            continue;
        char* at = out.room(size_t(MostBytesPerByte * table.rowUtf8(row).size() + MostBytesAroundRow));
        if (m_format == Format::Json)
            at = put(at, printed == 0 ? "\n" : ",\n");
        out.commit(putRow(at, table, row));
        ++printed;
        if (!out.flushIfFull())
            return -1;
    }
    if (m_format == Format::Json)
        out.append(printed == 0 ? "]\n" : "\n]\n");
    return out.flush() ? printed : -1;
}
