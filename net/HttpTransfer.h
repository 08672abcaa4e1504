#pragma once

#include "AnswerReader.h"

#include <QElapsedTimer>
#include <QString>
#include <QUrl>

#include <curl/curl.h>

#include <functional>

class CurlMulti;
struct TransferFacts;

// One HTTP GET after another on one libcurl easy handle, run by a multi handle: the address's redirects
// followed to http and https only, and from https to https only, never down to http; no proxy from the
// environment. The answer is read and checked by an AnswerReader as it arrives.
class HttpTransfer
{
public:
    // The end of a transfer that was neither abandoned nor superseded, with all that was seen of it; told
    // outside libcurl's calls, so the handler may start the next transfer at once.
    using Finished = std::function<void(const TransferFacts& facts)>;

    HttpTransfer(CurlMulti& multi, Finished finished);
    ~HttpTransfer();
    HttpTransfer(const HttpTransfer&) = delete;
    HttpTransfer& operator=(const HttpTransfer&) = delete;

    // Trusts the certificate authorities in a PEM file in place of the system's bundle, from the next
    // transfer on.
    void setCertificateAuthorities(const QString& pemFile);

    // Starts getting `url`, abandoning a transfer under way; false when it could not be started. A
    // transfer that takes longer than `timeoutMs` fails; 0 waits as long as the network does.
    bool start(const QUrl& url, int timeoutMs);
    // Breaks off the transfer under way, if any; its end is never told.
    void abandon();
    bool isActive() const { return m_active; }

    AnswerReader& answer() { return m_answer; }
    const AnswerReader& answer() const { return m_answer; }

private:
    // The callbacks libcurl calls, from inside the multi handle's calls.
    static int onRequest(void* transfer, char*, char*, int, int);
    static size_t onHeader(char* data, size_t size, size_t count, void* transfer);
    static size_t onBody(char* data, size_t size, size_t count, void* transfer);

    void end(CURLcode result);

    CurlMulti& m_multi;
    Finished m_finished;
    CURL* m_easy;
    char m_errorText[CURL_ERROR_SIZE] = {};
    QElapsedTimer m_started;
    AnswerReader m_answer;
    bool m_active = false;
};
