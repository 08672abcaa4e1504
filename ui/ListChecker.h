#pragma once

#include "CheckRun.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

class ProxyTableModel;

// Checks rows of the list with a CheckRun and writes each answer into the table as it comes. One run at a
// time: a new check, stop() and the table's Clear() (a new search) end the one going on at once. It tells
// the status line how far the run got, at most ten times a second, and how it ended.
class ListChecker : public QObject
{
    Q_OBJECT

public:
    using RunFactory = std::function<std::unique_ptr<CheckRun>(CheckOptions)>;

    // Rows the checker hands no engine: their cells name no proxy one could connect to.
    static constexpr QStringView NotAnAddress = u"not checked: not an address";
    static constexpr QStringView NotAPort = u"not checked: not a port";
    // The fastest the status line follows a run: more often nobody can read it.
    static constexpr int StatusIntervalMs = 100;

    // "Checking N of M": N rows done of the M checked.
    static QString progressText(qsizetype done, qsizetype total);
    // "Check Complete (K of M answered)".
    static QString completionText(qsizetype answered, qsizetype total);
    // "Check Stopped (K of M answered)".
    static QString stoppedText(qsizetype answered, qsizetype total);

    // Each check asks `judge`, with CheckOptions' timeout and concurrency, where TARNWICK_CHECK_NETWORKS
    // allows.
    ListChecker(ProxyTableModel& table, QUrl judge, QObject* parent = nullptr);
    ~ListChecker() override;

    // The engine of the runs to come; CheckRun::create() unless set.
    void setRunFactory(RunFactory factory) { m_createRun = std::move(factory); }
    const QUrl& judge() const { return m_judge; }

    // Checks the table's rows `rows` (as the list shows them now), in that order; ends a run going on.
    void check(const std::vector<quint32>& rows);
    // Checks every row the list shows, in the order it shows them (sorting reorders the table itself).
    void checkAll();
    // Ends the run going on, if any: no more answers land.
    void stop();
    bool isRunning() const { return m_run != nullptr; }

signals:
    void statusTextChanged(const QString& text);
    void runningChanged(bool running);

private:
    void take(qsizetype index, const CheckResult& result);
    void showProgressSoon();
    void showProgress();
    // Lets the run go, deleted once control is back in the event loop: it may be in one of its signals.
    void endRun(const QString& status);

    ProxyTableModel& m_table;
    QUrl m_judge;
    RunFactory m_createRun;
    CheckRun* m_run = nullptr; // a child of this checker while it runs
    qsizetype m_total = 0;
    qsizetype m_done = 0;
    qsizetype m_answered = 0;
    QElapsedTimer m_sinceStatus;
    QTimer m_statusTimer;
};
