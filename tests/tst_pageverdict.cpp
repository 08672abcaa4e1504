// The verdict on a finished transfer: a whole page, or a failure with the reason that came first.
#include "PageVerdict.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class tst_PageVerdict : public QObject
{
    Q_OBJECT

private slots:
    void judge_data()
    {
        QTest::addColumn<TransferFacts>("facts");
        QTest::addColumn<QString>("reason"); // a distinctive part of it; empty for a whole page
        const auto row = [](const char* name, const TransferFacts& facts, const char* reason) {
            QTest::newRow(name) << facts << QString::fromLatin1(reason);
        };
        using enum TransferFacts::Refusal;
        row("whole page", { .transferError = {}, .status = 200, .headersEnded = true, .bodyBytes = 9 }, "");
        row("shorter than announced",
            { .transferError = {},
                .status = 200,
                .headersEnded = true,
                .announcedLength = 9,
                .bodyBytes = 8 },
            "length differs");
        row("compressed stream unfinished",
            { .transferError = {}, .status = 200, .headersEnded = true, .compressed = true },
            "compressed page stops");
        row("headers unfinished", { .transferError = {}, .status = 200 }, "headers ended");
        row("unfollowed 3xx", { .transferError = {}, .status = 300, .headersEnded = true }, "status 300");
        row("transfer error first", { .transferError = u"Reset"_s, .status = 404 }, "Reset");
        row("own refusal first", { .refusal = TooLarge, .transferError = u"Reset"_s }, "32 MiB");
    }

    void judge()
    {
        QFETCH(TransferFacts, facts);
        QFETCH(QString, reason);
        const PageVerdict verdict = ::judge(facts);
        QCOMPARE(verdict.failed, !reason.isEmpty());
        QVERIFY2(verdict.reason.contains(reason) && verdict.reason.isEmpty() == reason.isEmpty(),
            qPrintable(verdict.reason));
    }
};

QTEST_GUILESS_MAIN(tst_PageVerdict)
#include "tst_pageverdict.moc"
