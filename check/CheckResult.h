#pragma once

#include "Anonymity.h"

#include <QMetaType>
#include <QString>

// How one proxy's check ended: it answered, in so many milliseconds and with such anonymity, or it did
// not, for a short reason the user reads.
struct CheckResult
{
    // Why a proxy did not answer. The texts stand in the output as they are, so scripts may match them.
    static constexpr QStringView Refused = u"refused";
    static constexpr QStringView TimedOut = u"timed out";
    static constexpr QStringView NotAJudgeAnswer = u"not a judge answer";
    // The judge's page came back, but not with the nonce sent: the proxy altered it or served an old copy.
    static constexpr QStringView NonceMissing = u"nonce missing";
    static constexpr QStringView TlsError = u"TLS error";
    // More than JudgeAnswer::MostBytes came back.
    static constexpr QStringView TooLarge = u"too large";
    // "proxy said 407": the status of an answer other than 200.
    static QString proxySaid(int status) { return QStringLiteral("proxy said ") + QString::number(status); }

    static CheckResult answer(qint64 milliseconds, Anonymity anonymity)
    {
        return { true, milliseconds, anonymity, {} };
    }
    static CheckResult noAnswer(QString reason) { return { false, 0, Anonymity::Elite, std::move(reason) }; }

    bool answered = false;
    // From the start of the check to the answer's last byte; 0 without an answer.
    qint64 milliseconds = 0;
    // Meaningful only when it answered.
    Anonymity anonymity = Anonymity::Elite;
    // Why it did not answer; empty when it did.
    QString reason;
};

Q_DECLARE_METATYPE(CheckResult)
