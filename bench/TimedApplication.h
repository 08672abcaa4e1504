#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

#include <functional>

// Measures how long the GUI thread goes without handling an event: the time from one event's delivery to
// the next, at any depth, so an event nested in a long handler (a yield inside it) counts as handled. With
// runUntil's timer due every millisecond, that is the longest time a click or a repaint would have had to
// wait.
class TimedApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        // Other threads (the network's) deliver events here too; only the GUI thread's count.
        if (m_timing && QThread::currentThread() == thread()) {
            const qint64 now = m_clock.nsecsElapsed();
            if (m_last >= 0) {
                const double ms = double(now - m_last) / 1e6;
                if (ms > m_longest) {
                    m_longest = ms;
                    m_longestWhat = m_lastWhat;
                }
            }
            m_last = now;
            m_lastWhat = QString::fromLatin1(receiver->metaObject()->className()) + QStringLiteral(" event ")
                + QString::number(int(event->type()));
        }
        return QApplication::notify(receiver, event);
    }

    // Starts a new measure; the first delivery after it starts the clock.
    void resetTurns()
    {
        m_longest = 0;
        m_longestWhat.clear();
        m_last = -1;
        m_clock.start();
    }

    bool m_timing = false;
    // The longest time without a delivery, in ms, and the delivery that began it.
    double m_longest = 0;
    QString m_longestWhat;

private:
    QElapsedTimer m_clock;
    qint64 m_last = -1;
    QString m_lastWhat;
};

// Runs the event loop until `done` holds, checking every millisecond; false after `timeoutMs`.
// QTest::qWaitFor would sleep 10 ms between its turns, and the window would wait there for its network
// events.
inline bool runUntil(const std::function<bool()>& done, int timeoutMs)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, [&] { loop.exit(1); });
    poll.start(1);
    return loop.exec() == 0;
}

// Clicks the window's start button and runs the event loop until its status line tells that the search
// is complete; false after `timeoutMs`.
inline bool searchToTheEnd(QWidget& window, int timeoutMs)
{
    QLabel* status = window.findChild<QStatusBar*>(QStringLiteral("S"))->findChild<QLabel*>();
    window.findChild<QPushButton*>(QStringLiteral("cmdStart"))->click();
    return runUntil(
        [status] { return status->text().startsWith(QStringLiteral("Download Complete")); }, timeoutMs);
}
