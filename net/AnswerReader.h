#pragma once

#include "ByteBuffer.h"
#include "PageVerdict.h"

#include <QByteArray>
#include <QByteArrayView>

#include <zlib.h>

// Reads an HTTP answer as the network library hands it over, header line by header line and body piece by
// piece, and checks it as it comes: only an answer's first line is its status line, interim (1xx) answers
// are passed over whole, the length is read strictly, the transfer codings are none or a single chunked,
// a compressed body is inflated here, where the end of its stream can be checked, and headers and body
// stay within their bounds. A check that fails breaks the transfer off, its reason in the facts. The body
// goes into one buffer kept with its capacity from answer to answer.
class AnswerReader
{
public:
    static constexpr qint64 MaxBodyBytes = 32 * 1024 * 1024;
    // Of the whole exchange: every answer, interim and redirecting ones too.
    static constexpr qint64 MaxHeaderBytes = 64 * 1024;

    AnswerReader();
    ~AnswerReader();
    AnswerReader(const AnswerReader&) = delete;
    AnswerReader& operator=(const AnswerReader&) = delete;

    // Before a new exchange: the first request, which any redirects follow.
    void startExchange();
    // Each request, the first and each redirect's, is answered starting with a status line; until then
    // the header lines that follow a body are its trailers.
    void requestSent() { m_statusLineNext = true; }
    // False once the transfer must stop.
    bool takeHeader(QByteArrayView line);
    bool takeBody(QByteArrayView data);

    // What was seen of the exchange so far; the network library's own findings are added to it.
    TransferFacts& facts() { return m_facts; }
    // The last answer's body, decoded from its content coding, and its Content-Type.
    QByteArrayView body() const { return m_body.view(); }
    const QByteArray& contentType() const { return m_contentType; }
    // Lets go of the body and the Content-Type; the buffer keeps its capacity.
    void clear();

private:
    bool keep(QByteArrayView data);
    bool refuse(TransferFacts::Refusal refusal);

    ByteBuffer m_body;
    QByteArray m_contentType;
    z_stream m_zlib {};
    TransferFacts m_facts;
    qint64 m_headerBytes = 0;
    bool m_statusLineNext = true; // the next header line starts an answer
    bool m_interim = false; // the answer is an interim (1xx) one
    bool m_chunked = false; // the answer named the chunked transfer coding
};
