#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <functional>

// Times each event handled at the top of the event loop: one such delivery is one turn, with whatever
// it runs nested inside (the page step's yield included).
class TimedApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        // Other threads (the network's) deliver events here too; only the GUI thread's turns count.
        if (QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        if (m_depth > 0 || !m_timing)
            return depthGuarded(receiver, event);
        QElapsedTimer timer;
        timer.start();
        const bool result = depthGuarded(receiver, event);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (ms > m_longest) {
            m_longest = ms;
            m_longestWhat = QString::fromLatin1(receiver->metaObject()->className())
                + QStringLiteral(" event ") + QString::number(int(event->type()));
        }
        return result;
    }

    void resetTurns()
    {
        m_longest = 0;
        m_longestWhat.clear();
    }

    bool m_timing = false;
    double m_longest = 0;
    QString m_longestWhat;

private:
    bool depthGuarded(QObject* receiver, QEvent* event)
    {
        ++m_depth;
        const bool result = QApplication::notify(receiver, event);
        --m_depth;
        return result;
    }

    int m_depth = 0;
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
