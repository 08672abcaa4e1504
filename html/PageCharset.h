#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// A page's charset and its text: a byte order mark, else the Content-Type charset, else a <meta> charset,
// else windows-1252, as browsers read a page. windows-1252 is decoded with a table of our own, so the
// fallback needs no codec library on any platform.
namespace PageCharset {

// The charset a page is decoded with; UTF-8 and windows-1252 under their canonical labels, "utf-8" and
// "windows-1252".
QByteArray of(QByteArrayView bytes, const QByteArray& contentType);

// The whole page decoded.
QString decode(QByteArrayView bytes, const QByteArray& contentType);

// The page as UTF-8, decoded as decode() does, without a byte order mark: a view into `bytes` when they are
// already that, else into `converted`, which then holds the converted page and keeps its capacity.
QByteArrayView utf8(QByteArrayView bytes, const QByteArray& contentType, QByteArray& converted);

} // namespace PageCharset
