#pragma once

#include "CheckRun.h"
#include "CurlMulti.h"
#include "IpAddress.h"

#include <QByteArray>
#include <QString>

#include <curl/curl.h>

#include <memory>
#include <optional>
#include <vector>

// The checks of a run as libcurl transfers on one multi handle, driven by this thread's event loop: no
// thread per check. At most the run's concurrency of them at once, each bounded by the timeout and by
// the judge's answer size; each closes its connection when it ends, and cancelling closes them all at
// once.
class CurlCheckRun : public CheckRun
{
    Q_OBJECT

public:
    explicit CurlCheckRun(CheckOptions options, QObject* parent = nullptr);
    ~CurlCheckRun() override;

protected:
    void checkRows(const QList<qsizetype>& indices) override;
    void stopChecks() override;

private:
    struct Check;

    void askJudge();
    void judgeAnswered(CURLcode result);
    void startChecks();
    void startCheck(Check& check, qsizetype index);
    void finish(Check& check, CURLcode result);
    CheckResult resultOf(Check& check, CURLcode result) const;
    void stopTransfers();

    CurlMulti m_multi;
    QList<qsizetype> m_indices;
    qsizetype m_next = 0;
    // One per check running at once, each reused for the next row when its check ends.
    std::vector<std::unique_ptr<Check>> m_checks;
    std::unique_ptr<Check> m_judge;
    // Our own address as the judge saw a request without a proxy.
    std::optional<IpAddress> m_ourAddress;
    bool m_stopped = false;
};
