#pragma once

#include "CheckResult.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

// The Answer column's cells: each row's check in eight bytes, its reason an index into a table of the
// reasons met (a check of thousands of rows meets a handful), and the row each index of the running
// check names. Rows are the table's rows as stored, which a sort leaves in place. A row past the store's
// end is unchecked, so a table never checked costs nothing and a row added during a check needs no entry
// until its own answer comes.
class AnswerStore
{
public:
    // Different reasons kept; any further one is shown without its reason. A reason is a short text of
    // the engine's, and a status such as "proxy said 407" adds at most a few hundred.
    static constexpr qsizetype MostReasons = 4096;

    // Every row unchecked, no check running.
    void clear();

    // A check of `rows`: its index i names rows[i] from now on. Their answers are emptied; the rows of an
    // earlier check are no longer named.
    void beginCheck(std::vector<quint32> rows);
    // The row the running check's index names; -1 for none.
    qsizetype rowOfCheck(qsizetype index) const;
    // Checks named so far, by beginCheck().
    qsizetype checkSize() const { return qsizetype(m_checkRows.size()); }

    void set(qsizetype row, const CheckResult& result);

    // "123 ms", "no answer (timed out)", or empty for a row not checked.
    QString text(qsizetype row) const;
    // "elite, 123 ms", the reason, or empty for a row not checked.
    QString toolTip(qsizetype row) const;
    // Orders rows as the column sorts them, ascending: answers fastest first, then no answer, then
    // unchecked.
    quint32 sortKey(qsizetype row) const;

private:
    enum class State : quint8
    {
        Unchecked,
        Answered,
        NoAnswer,
    };
    struct Entry
    {
        qint32 milliseconds = 0;
        quint16 reason = 0; // into m_reasons; 0 is none
        State state = State::Unchecked;
        quint8 anonymity = 0; // an Anonymity
    };
    static_assert(sizeof(Entry) == 8);

    Entry entry(qsizetype row) const
    {
        return row < qsizetype(m_entries.size()) ? m_entries[size_t(row)] : Entry();
    }
    quint16 reasonIndex(const QString& reason);

    std::vector<Entry> m_entries;
    std::vector<quint32> m_checkRows;
    QStringList m_reasons;
    QHash<QString, quint16> m_reasonIndices;
};
