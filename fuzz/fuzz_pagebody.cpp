// Fuzzes finding a page's charset and body: whatever the bytes and the Content-Type, the body handed to
// the cutter is valid UTF-8 and lies inside the document (the page's own bytes, or its conversion).
//
// The input's first line is the Content-Type value; the rest is the page.

#include "HtmlBody.h"
#include "PageCharset.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <cstdlib>

namespace {

bool liesIn(QByteArrayView part, QByteArrayView whole)
{
    return part.isEmpty()
        || (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype lineEnd = input.indexOf('\n');
    const QByteArray contentType = lineEnd < 0 ? QByteArray() : input.first(lineEnd).toByteArray();
    const QByteArrayView page = lineEnd < 0 ? input : input.sliced(lineEnd + 1);
    QByteArray converted;
    const QByteArrayView body = HtmlBody::bodyOf(PageCharset::utf8(page, contentType, converted));
    if (!body.isValidUtf8() || !(liesIn(body, page) || liesIn(body, converted)))
        std::abort();
    return 0;
}
