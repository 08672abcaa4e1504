#pragma once

#include "CheckOptions.h"
#include "CheckResult.h"
#include "CheckRow.h"

#include <QList>
#include <QObject>

#include <memory>

// One run of checks over a list of rows: which proxies answer the judge, how fast and how anonymously.
//
// This class keeps the run's promises; an engine derived from it does the transfers. start() returns at
// once and everything happens on the event loop of the thread the run lives in, never inside start().
// Before the engine sees a row the run refuses, with CheckNetworks' reason, every row whose address the
// networks do not allow (and every row when they do not allow the judge), and puts a forced kind in place
// of each row's own. Each row then ends exactly once with checked(); progress() follows each, and
// finished() once after the last, also for a run of no rows. After cancel() nothing more is emitted.
//
// An engine implements checkRows() and stopChecks() and calls report() once for each row it was given, in
// any order, at any time from inside checkRows() on. Its promises:
// - It asks the judge once directly, without a proxy, to learn our own address, before the checks that
//   need it (JudgeAnswer::anonymity()).
// - Each check is one GET of JudgeAnswer::addressWithNonce(judge, JudgeAnswer::newNonce()) through the
//   row's proxy (row(i).kind; SOCKS with the judge's name resolved by the proxy), at most
//   options().concurrency at a time, each given options().timeoutMs from its start to the last byte.
// - It answers with CheckResult::answer(milliseconds, anonymity) only for status 200 with a body that
//   JudgeAnswer::read(body, nonce) takes, and otherwise with CheckResult::noAnswer() and one of the reasons
//   CheckResult names. It reads at most JudgeAnswer::MostBytes of an answer.
// - It connects nowhere options().networks refuses: a row's host name (allowed only without a guard) is
//   resolved by the engine, and each address it resolves to is asked about with
//   CheckNetworks::refusal(IpAddress) before a connection is made, as is the judge's.
// - stopChecks() ends every transfer at once; report() after it is ignored.
//
// Don't delete a run from a slot connected to its signals; deleteLater() is safe.
class CheckRun : public QObject
{
    Q_OBJECT

public:
    explicit CheckRun(CheckOptions options, QObject* parent = nullptr);
    ~CheckRun() override;

    // The engine the programs check with. Defined in CheckRunFactory.cpp, the one file that names it.
    static std::unique_ptr<CheckRun> create(CheckOptions options);

    // Checks `rows`; checked() names each by its index there. A run is started once.
    void start(QList<CheckRow> rows);
    // Stops the run: no row is reported any more, and finished() does not come.
    void cancel();

    const CheckOptions& options() const { return m_options; }
    qsizetype total() const { return m_rows.size(); }
    qsizetype done() const { return m_done; }

signals:
    void checked(qsizetype index, const CheckResult& result);
    void progress(qsizetype done, qsizetype total);
    void finished();

protected:
    // The engine's work: check the rows at `indices` (in row order, none refused, their kinds settled).
    virtual void checkRows(const QList<qsizetype>& indices) = 0;
    // Ends every check at once; called by cancel() once checkRows() was.
    virtual void stopChecks() = 0;

    const CheckRow& row(qsizetype index) const { return m_rows[index]; }
    // Ends the row at `index` with `result`. A second report of a row, or one after cancel(), is ignored.
    void report(qsizetype index, const CheckResult& result);

private:
    void begin();

    CheckOptions m_options;
    QList<CheckRow> m_rows;
    QList<bool> m_reported;
    qsizetype m_done = 0;
    bool m_started = false;
    bool m_engineStarted = false;
    bool m_cancelled = false;
};
