#pragma once

// Waiting on the wizard from a benchmark's main(), without a test framework's timeouts.

#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QTest>
#include <QTimer>

namespace calvenza::bench {

inline void waitFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// True when the signal came within ms.
template<typename Sender, typename Signal> bool waitForSignal(Sender *sender, Signal signal, int ms)
{
    QEventLoop loop;
    bool fired = false;
    QObject::connect(sender, signal, &loop, [&] {
        fired = true;
        loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return fired;
}

// Counts the paint events that reach one widget.
class PaintWatch : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    int paints = 0;
};

// A few turns of the event loop, so that what was posted is drawn.
inline void settle()
{
    for (int i = 0; i < 4; ++i)
        QTest::qWait(5);
}

} // namespace calvenza::bench
