#include "AnswerStore.h"

#include "VisibleText.h"

#include <algorithm>
#include <limits>

void AnswerStore::clear()
{
    m_entries = {};
    m_checkRows = {};
    m_reasons.clear();
    m_reasonIndices.clear();
}

void AnswerStore::beginCheck(std::vector<quint32> rows)
{
    m_checkRows = std::move(rows);
    for (const quint32 row : m_checkRows) {
        if (row < m_entries.size())
            m_entries[row] = Entry();
    }
}

qsizetype AnswerStore::rowOfCheck(qsizetype index) const
{
    return index >= 0 && index < checkSize() ? qsizetype(m_checkRows[size_t(index)]) : -1;
}

void AnswerStore::set(qsizetype row, const CheckResult& result)
{
    if (row < 0)
        return;
    if (row >= qsizetype(m_entries.size()))
        m_entries.resize(size_t(row) + 1);
    Entry& entry = m_entries[size_t(row)];
    if (result.answered) {
        // A run gives up on a check after at most a minute; the bound only keeps a misuse in range.
        entry.milliseconds
            = qint32(std::clamp<qint64>(result.milliseconds, 0, std::numeric_limits<qint32>::max()));
        entry.reason = 0;
        entry.state = State::Answered;
        entry.anonymity = quint8(result.anonymity);
    } else {
        entry.milliseconds = 0;
        entry.reason = reasonIndex(result.reason);
        entry.state = State::NoAnswer;
        entry.anonymity = 0;
    }
}

quint16 AnswerStore::reasonIndex(const QString& reason)
{
    if (reason.isEmpty())
        return 0;
    if (const auto found = m_reasonIndices.constFind(reason); found != m_reasonIndices.cend())
        return *found;
    if (m_reasons.isEmpty())
        m_reasons.append(QString());
    if (m_reasons.size() > MostReasons)
        return 0;
    // Shown as the list shows its cells: a reason comes from the engine, and may quote what a proxy sent.
    m_reasons.append(visibleText(reason.toUtf8()));
    const auto index = quint16(m_reasons.size() - 1);
    m_reasonIndices.insert(reason, index);
    return index;
}

QString AnswerStore::text(qsizetype row) const
{
    const Entry e = entry(row);
    switch (e.state) {
    case State::Answered:
        return QString::number(e.milliseconds) + QStringLiteral(" ms");
    case State::NoAnswer:
        return e.reason == 0 ? QStringLiteral("no answer")
                             : QStringLiteral("no answer (") + m_reasons[e.reason] + u')';
    case State::Unchecked:
        break;
    }
    return {};
}

QString AnswerStore::toolTip(qsizetype row) const
{
    const Entry e = entry(row);
    switch (e.state) {
    case State::Answered:
        return anonymityText(Anonymity(e.anonymity)).toString() + QStringLiteral(", ")
            + QString::number(e.milliseconds) + QStringLiteral(" ms");
    case State::NoAnswer:
        return e.reason == 0 ? QStringLiteral("no answer") : m_reasons[e.reason];
    case State::Unchecked:
        break;
    }
    return {};
}

quint32 AnswerStore::sortKey(qsizetype row) const
{
    // The time, below 2^31, then the two other states above it.
    const Entry e = entry(row);
    switch (e.state) {
    case State::Answered:
        return quint32(e.milliseconds);
    case State::NoAnswer:
        return quint32(1) << 31;
    case State::Unchecked:
        break;
    }
    return (quint32(1) << 31) + 1;
}
