#include "KeyListText.h"

#include "ProxyTableModel.h"
#include "VisibleText.h"

#include <algorithm>

namespace {

// Writes `key` widened to UTF-16 at `out` and returns true when every byte is printable ASCII other than
// the backslash, so the key shows as it is; returns false otherwise, having written some of it.
bool putPlain(char16_t* out, QByteArrayView key)
{
    bool plain = true;
    for (qsizetype i = 0; i < key.size(); ++i) {
        const auto c = static_cast<unsigned char>(key[i]);
        plain &= c >= 0x20 && c < 0x7F && c != '\\';
        out[i] = c;
    }
    return plain;
}

} // namespace

QString keyListText(const ProxyTableModel& table)
{
    const int rows = table.rowCount();
    // "255.255.255.255:65535" and its line feed: one reservation holds the usual list.
    constexpr qsizetype UsualLineLength = 22;
    QString text;
    text.resize(qsizetype(rows) * UsualLineLength);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    qsizetype at = 0;
    // Sorting leaves the rows' texts out of order in memory: fetching a few rows ahead hides that.
    constexpr int Ahead = 8;
    for (int row = 0; row < rows; ++row) {
#if defined(__GNUC__) || defined(__clang__)
        if (row + Ahead < rows)
            __builtin_prefetch(table.keyUtf8(row + Ahead).data());
#endif
        const QByteArrayView key = table.keyUtf8(row);
        // A byte shows as at most MostVisibleBytesPerByte UTF-16 units, as it does in UTF-8.
        const qsizetype most = key.size() * MostVisibleBytesPerByte + 1;
        if (text.size() - at < most) {
            text.resize(std::max(text.size() * 2, at + most));
            out = reinterpret_cast<char16_t*>(text.data());
        }
        if (putPlain(out + at, key)) {
            at += key.size();
        } else {
            const QString shown = visibleText(key);
            std::copy_n(reinterpret_cast<const char16_t*>(shown.constData()), shown.size(), out + at);
            at += shown.size();
        }
        out[at++] = u'\n';
    }
    text.truncate(at);
    return text;
}
