#pragma once

#include <QByteArrayView>

// Where a page's body lies, found as a browser finds it, in the UTF-8 text of the page.
namespace HtmlBody {

// The bytes between the <body ...> start tag and the last </body> of a UTF-8 document, or the whole
// document without a body tag; nothing when the start tag never ends.
QByteArrayView bodyOf(QByteArrayView document);

} // namespace HtmlBody
