#include "PageVerdict.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QString refusalReason(TransferFacts::Refusal refusal)
{
    using Refusal = TransferFacts::Refusal;
    switch (refusal) {
    case Refusal::None:
        break;
    case Refusal::HeadersTooLarge:
        return u"The page's headers are larger than 64 KiB"_s;
    case Refusal::BadLength:
        return u"The page announced an impossible length"_s;
    case Refusal::ConflictingLengths:
        return u"The page announced two different lengths"_s;
    case Refusal::UnknownEncoding:
        return u"The page came in a content encoding that was not asked for"_s;
    case Refusal::UnknownTransferCoding:
        return u"The page came in transfer codings other than a single chunked"_s;
    case Refusal::TooLarge:
        return u"The page is larger than 32 MiB"_s;
    case Refusal::DamagedCompression:
        return u"The page's compressed data is damaged"_s;
    }
    return {};
}

} // namespace

PageVerdict judge(const TransferFacts& facts)
{
    QString reason = refusalReason(facts.refusal);
    if (reason.isEmpty())
        reason = facts.transferError;
    if (reason.isEmpty() && !facts.headersEnded)
        reason = u"The connection closed before the page's headers ended"_s;
    if (reason.isEmpty() && (facts.status < 200 || facts.status >= 300))
        reason = u"The server answered with status %1"_s.arg(facts.status);
    // The network library checks the length too; this is the last word whatever its version does.
    if (reason.isEmpty() && facts.announcedLength >= 0 && facts.bodyBytes != facts.announcedLength)
        reason = u"The page's length differs from the one announced"_s;
    if (reason.isEmpty() && facts.compressed && !facts.compressedEnded)
        reason = u"The compressed page stops before the end of its stream"_s;
    return { !reason.isEmpty(), reason };
}
