#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>

// The form the advertisement strip's sanitiser writes, checked by its tests and its fuzz target.
namespace MarkupForm {

// Where the sanitiser's output breaks its own form, or an empty text: every tag is a known element in one
// plain form, `<name attr="value">` or `</name>`, each attribute one that names no resource, and every
// element but the empty ones is closed, in order.
inline QString fault(const QString& markup)
{
    using namespace Qt::StringLiterals;
    static const QStringList elements = u"a b big blockquote br center code dd div dl dt em font h1 h2 h3 h4 "
                                        u"h5 h6 hr i li ol p pre s small span strike strong sub sup table td "
                                        u"th tr tt u ul"_s.split(u' ');
    static const QStringList attributes = u"href color size face align valign width border cellpadding "
                                          u"cellspacing colspan bgcolor type"_s.split(u' ');
    static const QRegularExpression tag(u"<(/?)([a-z0-9]+)((?: [a-z]+=\"[^\"<>]*\")*)>"_s);
    static const QRegularExpression attribute(u" ([a-z]+)="_s);
    QStringList open;
    qsizetype at = 0;
    while ((at = markup.indexOf(u'<', at)) >= 0) {
        const QRegularExpressionMatch match = tag.match(
            markup, at, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
        if (!match.hasMatch())
            return u"a tag out of form at "_s + markup.mid(at, 80);
        const QString name = match.captured(2);
        if (!elements.contains(name))
            return u"an unknown element: "_s + match.captured(0);
        // Attribute values hold no quote, so the names are what follows a space outside them.
        QString inside = match.captured(3);
        inside.remove(QRegularExpression(u"\"[^\"]*\""_s));
        for (const QRegularExpressionMatch& a : attribute.globalMatch(inside + u'='))
            if (!attributes.contains(a.captured(1)))
                return u"an unknown attribute: "_s + match.captured(0);
        if (!match.captured(1).isEmpty()) {
            if (open.isEmpty() || open.takeLast() != name)
                return u"an end tag out of turn: "_s + match.captured(0);
        } else if (name != u"br" && name != u"hr") {
            open.append(name);
        }
        at = match.capturedEnd();
    }
    return open.isEmpty() ? QString() : u"left open: "_s + open.join(u' ');
}

} // namespace MarkupForm
