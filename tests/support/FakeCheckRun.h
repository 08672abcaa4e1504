#pragma once

#include "CheckRun.h"

// An engine for tests that connects nowhere. Each row's outcome follows the last digit of its port:
//   1, 2, 3  answered in `port` milliseconds: elite, anonymous, transparent
//   4 refused, 5 timed out, 6 proxy said 407, 7 not a judge answer, 8 nonce missing, 0 TLS error
//   9        no answer, the reason telling what the run was given ("fake: socks5 250 ms 3 at once
//            http://127.0.0.1:9/judge"), so a test sees the options and the row's kind
// The last row comes first, each from its own turn of the event loop: results arrive out of order.
class FakeCheckRun : public CheckRun
{
public:
    using CheckRun::CheckRun;

    static CheckResult outcome(const CheckRow& row, const CheckOptions& options)
    {
        switch (row.port % 10) {
        case 1:
            return CheckResult::answer(row.port, Anonymity::Elite);
        case 2:
            return CheckResult::answer(row.port, Anonymity::Anonymous);
        case 3:
            return CheckResult::answer(row.port, Anonymity::Transparent);
        case 4:
            return CheckResult::noAnswer(CheckResult::Refused.toString());
        case 5:
            return CheckResult::noAnswer(CheckResult::TimedOut.toString());
        case 6:
            return CheckResult::noAnswer(CheckResult::proxySaid(407));
        case 7:
            return CheckResult::noAnswer(CheckResult::NotAJudgeAnswer.toString());
        case 8:
            return CheckResult::noAnswer(CheckResult::NonceMissing.toString());
        case 9:
            return CheckResult::noAnswer(
                QStringLiteral("fake: %1 %2 ms %3 at once %4")
                    .arg(proxyKindName(row.kind), QString::number(options.timeoutMs),
                        QString::number(options.concurrency), options.judge.toString()));
        default:
            return CheckResult::noAnswer(CheckResult::TlsError.toString());
        }
    }

    // The rows checkRows() was given, and whether stopChecks() came.
    QList<qsizetype> asked;
    bool stopped = false;

protected:
    void checkRows(const QList<qsizetype>& indices) override
    {
        asked = indices;
        for (qsizetype i = indices.size(); i-- > 0;) {
            const qsizetype index = indices[i];
            QMetaObject::invokeMethod(
                this, [this, index] { report(index, outcome(row(index), options())); }, Qt::QueuedConnection);
        }
    }
    void stopChecks() override { stopped = true; }
};
