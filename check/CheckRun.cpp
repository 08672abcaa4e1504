#include "CheckRun.h"

CheckRun::CheckRun(CheckOptions options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{ }

CheckRun::~CheckRun() = default;

void CheckRun::start(QList<CheckRow> rows)
{
    Q_ASSERT(!m_started);
    if (m_started)
        return;
    m_started = true;
    m_rows = std::move(rows);
    m_reported = QList<bool>(m_rows.size(), false);
    if (m_options.forcedKind) {
        for (CheckRow& row : m_rows)
            row.kind = *m_options.forcedKind;
    }
    // A caller connects to the signals before start() and may still do more after it: nothing is
    // reported from inside this call.
    QMetaObject::invokeMethod(this, &CheckRun::begin, Qt::QueuedConnection);
}

void CheckRun::begin()
{
    if (m_cancelled)
        return;
    if (m_rows.isEmpty()) {
        emit progress(0, 0);
        emit finished();
        return;
    }
    const QStringView judgeRefusal = m_options.networks.refusal(m_options.judge.host());
    QList<qsizetype> allowed;
    for (qsizetype index = 0; index < m_rows.size(); ++index) {
        const QStringView refusal
            = judgeRefusal.isEmpty() ? m_options.networks.refusal(m_rows[index].address) : judgeRefusal;
        if (refusal.isEmpty())
            allowed.append(index);
        else
            report(index, CheckResult::noAnswer(refusal.toString()));
        // A slot may have cancelled the run on a refused row.
        if (m_cancelled)
            return;
    }
    if (!allowed.isEmpty()) {
        m_engineStarted = true;
        checkRows(allowed);
    }
}

void CheckRun::cancel()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    if (m_engineStarted)
        stopChecks();
}

void CheckRun::report(qsizetype index, const CheckResult& result)
{
    Q_ASSERT(index >= 0 && index < m_rows.size() && !m_reported[index]);
    if (m_cancelled || index < 0 || index >= m_rows.size() || m_reported[index])
        return;
    m_reported[index] = true;
    ++m_done;
    emit checked(index, result);
    if (m_cancelled)
        return;
    emit progress(m_done, m_rows.size());
    if (!m_cancelled && m_done == m_rows.size())
        emit finished();
}
