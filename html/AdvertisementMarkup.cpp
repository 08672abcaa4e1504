#include "AdvertisementMarkup.h"

#include "MarkupBounds.h"
#include "MarkupPolicy.h"
#include "MarkupTokenizer.h"
#include "MarkupWriter.h"

namespace AdvertisementMarkup {

QString sanitised(QStringView page)
{
    using Token = MarkupTokenizer::Token;
    MarkupTokenizer tokens(page.first(qMin(page.size(), MarkupBounds::MaxPageRead)));
    MarkupWriter writer;
    for (Token token = Token::End; !writer.full() && (token = tokens.next()) != Token::End;) {
        if (token == Token::Text) {
            writer.text(tokens.text());
            continue;
        }
        if (token == Token::StrayLessThan) {
            writer.strayLessThan();
            continue;
        }
        const MarkupPolicy::TagRule* rule = MarkupPolicy::findTag(tokens.text());
        if (token == Token::EndTag) {
            if (rule)
                writer.endTag(*rule);
            continue;
        }
        // The first of each allowed attribute counts, and only with a value of the right form.
        const quint16 allowed = rule ? rule->attributes : 0;
        quint16 seen = 0;
        MarkupPolicy::AttributeList attributes;
        QStringView name;
        QStringView value;
        while (tokens.nextAttribute(name, value)) {
            const MarkupPolicy::AttributeRule* attribute
                = MarkupPolicy::findAttribute(name, quint16(allowed & ~seen));
            if (!attribute)
                continue;
            seen = quint16(seen | attribute->attribute);
            value = value.trimmed();
            if (attribute->accepts(value)
                && (attribute->attribute != MarkupPolicy::Face || writer.acceptFace(value)))
                attributes.append({ attribute, value });
        }
        // A tag the page ends inside shows nothing, and neither does an element the policy does not know.
        if (!tokens.tagEnded() || !rule)
            continue;
        if (rule->kind == MarkupPolicy::Kind::Dropped)
            tokens.skipContentOf(rule->name);
        else
            writer.startTag(*rule, attributes);
    }
    return writer.finish();
}

} // namespace AdvertisementMarkup
